#include "recwords.h"

#include "text.h"

#include "formatio.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

int DescribeRecording(const char *name, const RecTally *tally, int transfers, int readFailed,
                      char *status, int size)
{
    if (!tally->isRecording) {
        std::snprintf(status, static_cast<size_t>(size), "Not a recording: %s %s", name,
                      tally->empty       ? "is empty"
                      : tally->isJournal ? "is the parameter journal"
                                         : "does not begin with the header REC writes");
        return -1;
    }
    if (tally->rows == 0)
        std::snprintf(status, static_cast<size_t>(size), "%s: a recording without rows", name);
    else {
        // The last row's date too where the recording ran past midnight.
        const int sameDay = std::strncmp(tally->firstStamp, tally->lastStamp, 10) == 0;
        std::snprintf(status, static_cast<size_t>(size),
                      "%s: %d rows from %.10s %.8s to %.*s%s%.8s, %d parameter transfers", name,
                      tally->rows, tally->firstStamp, tally->firstStamp + 11, sameDay ? 0 : 10,
                      tally->lastStamp, sameDay ? "" : " ", tally->lastStamp + 11, transfers);
    }
    const int skipped = tally->cutShort + tally->notARow + tally->extraColumns + tally->unreadable;
    if (skipped) {
        Append(status, size, "; skipped %d row%s:", skipped, skipped == 1 ? "" : "s");
        const char *sep = " ";
        if (tally->notARow) {
            // Where to look: the first few line numbers.
            Append(status, size, "%s%d not a row (line%s", sep, tally->notARow,
                   tally->notARow == 1 ? "" : "s");
            for (int i = 0; i < tally->notARow && i < 3; i++)
                Append(status, size, "%s%d", i ? ", " : " ", tally->notARowLines[i]);
            Append(status, size, "%s)", tally->notARow > 3 ? ", …" : "");
            sep = ", ";
        }
        if (tally->cutShort) {
            Append(status, size, "%s%d cut short", sep, tally->cutShort);
            sep = ", ";
        }
        if (tally->extraColumns) {
            Append(status, size, "%s%d with extra columns", sep, tally->extraColumns);
            sep = ", ";
        }
        if (tally->unreadable) Append(status, size, "%s%d unreadable", sep, tally->unreadable);
    }
    if (tally->mended)
        Append(status, size, "; %d row%s mended (seconds written with a comma)", tally->mended,
               tally->mended == 1 ? "" : "s");
    if (readFailed) Append(status, size, "; reading stopped: %s", GetFileErrorText());
    return 0;
}

} // namespace kivrel
