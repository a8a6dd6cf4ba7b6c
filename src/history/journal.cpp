#include "journal.h"

#include "csv.h"
#include "keep.h"
#include "state.h"

#include "formatio.h"
#include "rs232.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

const char *journalProgram = "kivrel";

static const char JournalHeader[] =
    "time,direction,target,port,device,threshold,hysteresis,power,pmod,hold,trigger,backlim,"
    "regcnt,average,deadtimemode,deadtime,outmode,trshmod,deltatrsh,frei15,user,host,program\n";

// Appends a comma and `field` to `row`; -1 when it does not fit.
static int AddField(char *row, int size, const char *field)
{
    const size_t n = std::strlen(row);
    if (n + 2 > static_cast<size_t>(size)) return -1;
    row[n] = ',';
    row[n + 1] = '\0';
    if (CsvAppendField(row, size, field) == 0) return 0;
    row[n] = '\0';
    return -1;
}

// The row for pp with its line end. 0, or -1 when it does not fit.
static int ComposeRow(char *row, int size, int direction, int where)
{
    char field[MAX_PATHNAME_LEN];
    int rc = 0;

    CsvTimeStamp(row, size);
    rc |= AddField(row, size, JournalDirectionName(direction));
    rc |= AddField(row, size, JournalTargetName(where));
    if (where == DATFILE) {
        rc |= AddField(row, size, "");
        rc |= AddField(row, size, file_name);
    } else {
        std::snprintf(field, sizeof field, "%d", com);
        rc |= AddField(row, size, field);
        GetComDeviceName(com, field, sizeof field);
        rc |= AddField(row, size, field);
    }
    for (int i = 0; i < AnzPara; i++) {
        std::snprintf(field, sizeof field, "%u", pp[i]);
        rc |= AddField(row, size, field);
    }
    GetLoginName(field, sizeof field);
    rc |= AddField(row, size, field);
    GetMachineName(field, sizeof field);
    rc |= AddField(row, size, field);
    rc |= AddField(row, size, journalProgram);
    const size_t n = std::strlen(row);
    if (n + 2 > static_cast<size_t>(size)) return -1;
    row[n] = '\n';
    row[n + 1] = '\0';
    return rc;
}

static int JournalFailed(const char *why)
{
    std::snprintf(szKeepError, sizeof szKeepError, "%s", why);
    std::fprintf(stderr, "kivrel: parameter journal not written: %s\n", why);
    std::fflush(stderr);
    return -1;
}

int JournalTransfer(int direction, int where)
{
    static const char what[] = "parameter journal not written";
    char dir[MAX_PATHNAME_LEN + 16]; // the data folder and "/journal"
    char path[sizeof dir + 16];
    char text[sizeof JournalHeader + 1024];
    char *row = text + sizeof JournalHeader - 1;

    if (GetUserDataDir(dir) != 0) return JournalFailed("the data folder's name is too long");
    std::strcat(dir, "/journal"); // GetUserDataDir wrote fewer than MAX_PATHNAME_LEN bytes
    if (ComposeRow(row, static_cast<int>(sizeof text - (sizeof JournalHeader - 1)), direction,
                   where) != 0)
        return JournalFailed("the row is too long");
    // The day of the file is the day of the row: the first ten characters of its time stamp.
    std::snprintf(path, sizeof path, "%s/%.10s.csv", dir, row);

    if (MakeDir(dir) != 0) return NotKept(what);
    const int file = OpenFile(path, VAL_WRITE_ONLY, VAL_APPEND, VAL_ASCII);
    if (file < 0) return NotKept(what);
    // Under the lock the file's size tells whether any program has written the header yet;
    // the header and the first row then go in as one append.
    long size = 0;
    int rc = LockFile(file) == 0 ? 0 : NotKept(what);
    const char *start = row;
    if (rc == 0 && (GetFileSize(path, &size) != 0 || size == 0)) {
        std::memcpy(text, JournalHeader, sizeof JournalHeader - 1);
        start = text;
    }
    if (rc == 0) rc = KeepBytes(file, start, static_cast<int>(std::strlen(start)), what);
    if (CloseFile(file) != 0 && rc == 0) rc = NotKept(what);
    return rc;
}

} // namespace kivrel
