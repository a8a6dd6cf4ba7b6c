#include "journal.h"

#include "csv.h"
#include "state.h"

#include "formatio.h"
#include "rs232.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

static const char JournalHeader[] =
    "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,trigger,backlim,"
    "regcnt,average,deadtimemode,deadtime,outmode,trshmod,deltatrsh,frei15\n";

static void JournalFailed(const char *path)
{
    std::fprintf(stderr, "kivrel: parameter journal not written: %s\n", path);
    std::fflush(stderr);
}

void JournalTransfer(int direction, int where)
{
    char dir[MAX_PATHNAME_LEN + 16]; // the data folder and "/journal"
    char path[sizeof dir + 16];
    char row[1024];
    char field[MAX_PATHNAME_LEN];

    if (GetUserDataDir(dir) != 0) {
        JournalFailed("$XDG_DATA_HOME/kivrel/journal");
        return;
    }
    std::strcat(dir, "/journal"); // GetUserDataDir wrote fewer than MAX_PATHNAME_LEN bytes
    char stamp[40];
    CsvTimeStamp(stamp, sizeof stamp);
    // The day of the file is the day of the row: the first ten characters of its time stamp.
    std::snprintf(path, sizeof path, "%s/%.10s.csv", dir, stamp);

    const char *targetName = where == EEPROM ? "EEPROM" : where == DATFILE ? "FILE" : "RAM";
    std::snprintf(row, sizeof row, "%s,%s,%s,", stamp,
                  direction == TRANSFER_WRITE ? "write" : "read", targetName);
    if (where == DATFILE) {
        std::strcat(row, ",");
        CsvAppendField(row, sizeof row, file_name);
    } else {
        GetComDeviceName(com, field, sizeof field);
        std::snprintf(row + std::strlen(row), sizeof row - std::strlen(row), "%d,", com);
        CsvAppendField(row, sizeof row, field);
    }
    for (int i = 0; i < AnzPara; i++)
        std::snprintf(row + std::strlen(row), sizeof row - std::strlen(row), ",%u", pp[i]);
    std::snprintf(row + std::strlen(row), sizeof row - std::strlen(row), "\n");

    long size = 0;
    const int isNew = GetFileSize(path, &size) != 0 || size == 0;
    if (isNew && MakeDir(dir) != 0) {
        JournalFailed(path);
        return;
    }
    const int file = OpenFile(path, VAL_WRITE_ONLY, VAL_APPEND, VAL_ASCII);
    if (file < 0) {
        JournalFailed(path);
        return;
    }
    const int rowLength = static_cast<int>(std::strlen(row));
    int ok = !isNew || WriteFile(file, JournalHeader, sizeof JournalHeader - 1) >= 0;
    ok = ok && WriteFile(file, row, rowLength) == rowLength;
    if (CloseFile(file) != 0 || !ok) JournalFailed(path);
}

} // namespace kivrel
