#include "journaldays.h"

#include "formatio.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

int JournalFolder(char dir[], int size)
{
    char data[MAX_PATHNAME_LEN];
    if (GetUserDataDir(data) != 0) return -1;
    const int n = std::snprintf(dir, static_cast<size_t>(size), "%s/journal", data);
    return n < 0 || n >= size ? -1 : 0;
}

int ReadJournalDay(long day, JournalRowSink sink, void *sinkData)
{
    char chunk[16384]; // a sink may read another day's file meanwhile
    char dir[MAX_PATHNAME_LEN + 16];
    char path[sizeof dir + 16];
    char name[11];
    if (JournalFolder(dir, sizeof dir) != 0) return 0;
    DayName(day, name);
    std::snprintf(path, sizeof path, "%s/%s.csv", dir, name);
    const int file = OpenFile(path, VAL_READ_ONLY, 0, VAL_ASCII);
    if (file < 0) return 0; // no transfer that day
    JournalReader reader;
    BeginJournalReading(&reader, sink, sinkData);
    int n = 0;
    while ((n = ReadFile(file, chunk, sizeof chunk)) > 0)
        FeedJournalReading(&reader, chunk, n);
    EndJournalReading(&reader);
    CloseFile(file);
    return n < 0 ? -1 : 0;
}

} // namespace kivrel
