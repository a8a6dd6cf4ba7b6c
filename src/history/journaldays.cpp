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

int ReadJournalDay(long day, JournalRowSink sink, void *sinkData, char *path)
{
    char chunk[16384]; // a sink may read another day's file meanwhile
    char dir[MAX_PATHNAME_LEN + 16];
    char file[sizeof dir + 16];
    char name[11];
    if (JournalFolder(dir, sizeof dir) != 0) return 0;
    DayName(day, name);
    std::snprintf(file, sizeof file, "%s/%s.csv", dir, name);
    if (path) std::snprintf(path, sizeof file, "%s", file);
    long size = 0;
    if (GetFileSize(file, &size) != 0) return 0; // no transfer that day
    const int handle = OpenFile(file, VAL_READ_ONLY, 0, VAL_ASCII);
    if (handle < 0) return -1;
    JournalReader reader;
    BeginJournalReading(&reader, sink, sinkData);
    int n = 0;
    while ((n = ReadFile(handle, chunk, sizeof chunk)) > 0)
        FeedJournalReading(&reader, chunk, n);
    EndJournalReading(&reader);
    CloseFile(handle);
    return n < 0 ? -1 : 0;
}

// "2026-12-08.csv" as a day number; 0 and the day, or -1.
static int DayOfFile(const char *name, long *day)
{
    int year = 0, month = 0, date = 0;
    if (std::sscanf(name, "%4d-%2d-%2d.csv", &year, &month, &date) != 3) return -1;
    *day = DayNumber(year, month, date);
    return 0;
}

int JournalDays(long *first, long *last)
{
    char dir[MAX_PATHNAME_LEN + 16];
    char firstName[64], lastName[64];
    if (JournalFolder(dir, sizeof dir) != 0) return 0;
    const int n =
        FindFileNames(dir, "\?\?\?\?-\?\?-\?\?.csv", firstName, lastName, sizeof firstName);
    if (n <= 0) return n < 0 ? -1 : 0;
    if (DayOfFile(firstName, first) != 0 || DayOfFile(lastName, last) != 0) return 0;
    return n;
}

} // namespace kivrel
