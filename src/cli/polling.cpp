// Polling as the panel polls, for every command that takes live records.
#include "cli.h"

#include "state.h"
#include "transfer.h"

#include "eventloop.h"
#include "utility.h"

namespace kivrel
{

int PollRecords(double seconds, long count, int (*keep)(double elapsed))
{
    order = ORDER_GET_DATA;
    poll = 1;
    const double start = Timer();
    long taken = 0;
    int rx = RX_OK;
    while (!TerminationRequested()) {
        rx = ReadRecord(1);
        if (rx != RX_OK) break;
        taken++;
        const double elapsed = Timer() - start;
        if (keep(elapsed) != 0) break;
        if ((count > 0 && taken >= count) || (seconds > 0 && elapsed >= seconds)) break;
        // Nothing but the waits needs events here: a call right after the row, which takes
        // less than the event loop's spin gap, would only wait for its tick.
        Sleep(50);
    }
    poll = 0;
    return rx;
}

} // namespace kivrel
