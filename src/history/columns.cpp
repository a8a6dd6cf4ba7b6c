#include "columns.h"

#include "journal.h"
#include "state.h"

namespace kivrel
{

const char RecordingHeader[] =
    "time,seconds,dat0,dat1,norm,threshold,hysteresis,in0_period,active_window,edge_time,"
    "active_percent,edge_percent\n";

const char *JournalDirectionName(int direction)
{
    return direction == TRANSFER_WRITE ? "write" : "read";
}

const char *JournalTargetName(int where)
{
    return where == EEPROM ? "EEPROM" : where == DATFILE ? "FILE" : "RAM";
}

} // namespace kivrel
