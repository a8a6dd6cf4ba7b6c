#include "journal.h"
#include "journaldays.h"

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
char journalNote[64];

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

static void (*journalClock)(LocalDateTime *now) = GetLocalDateTime;

void SetJournalClock(void (*clock)(LocalDateTime *now))
{
    journalClock = clock ? clock : GetLocalDateTime;
}

// The row for pp with its line end, stamped `now`. 0, or -1 when it does not fit.
static int ComposeRow(char *row, int size, const LocalDateTime *now, int outcome, int where)
{
    char field[MAX_PATHNAME_LEN];
    int rc = 0;

    CsvTimeStampOf(row, size, now);
    rc |= AddField(row, size, JournalDirectionName(outcome));
    rc |= AddField(row, size, JournalTargetName(where));
    if (where == DATFILE) {
        rc |= AddField(row, size, "");
        rc |= GetAbsolutePath(file_name, field, sizeof field);
        rc |= AddField(row, size, field);
    } else {
        // The port by the COM number that maps its device, none when no number does.
        ComName name{};
        GetComName(com, &name);
        field[0] = '\0';
        if (name.number) std::snprintf(field, sizeof field, "%d", name.number);
        rc |= AddField(row, size, field);
        rc |= AddField(row, size, name.device);
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
    rc |= AddField(row, size, JournalOutcomeName(outcome));
    rc |= AddField(row, size, outcome == TRANSFER_READ ? "" : journalNote); // a write's note
    const size_t n = std::strlen(row);
    if (n + 2 > static_cast<size_t>(size)) return -1;
    row[n] = '\n';
    row[n + 1] = '\0';
    return rc;
}

static int JournalFailed(const char *why)
{
    std::snprintf(szKeepError, sizeof szKeepError, "%s", why);
    if (keepSaysWhy) {
        std::fprintf(stderr, "kivrel: parameter journal not written: %s\n", why);
        std::fflush(stderr);
    }
    return -1;
}

// Opens and locks the file of the day `now` names. The file, or -1 (szKeepError says why).
static int OpenDayLocked(const char *dir, const LocalDateTime *now, char *path, int size)
{
    static const char what[] = "parameter journal not written";
    char stamp[40];
    CsvTimeStampOf(stamp, sizeof stamp, now);
    std::snprintf(path, static_cast<size_t>(size), "%s/%.10s.csv", dir, stamp);
    const int file = OpenFile(path, VAL_WRITE_ONLY, VAL_APPEND, VAL_ASCII);
    if (file < 0) return NotKept(what);
    if (LockFile(file) != 0) {
        NotKept(what);
        CloseFile(file);
        return -1;
    }
    return file;
}

static int SameDay(const LocalDateTime *a, const LocalDateTime *b)
{
    return a->year == b->year && a->month == b->month && a->day == b->day;
}

int JournalTransfer(int outcome, int where)
{
    static const char what[] = "parameter journal not written";
    char dir[MAX_PATHNAME_LEN + 16]; // the data folder and "/journal"
    char path[sizeof dir + 16];
    // A header, the line end a row cut short is missing, and the row.
    char text[JournalHeaderMax + 1 + 1024];

    if (JournalFolder(dir, sizeof dir) != 0)
        return JournalFailed("the data folder's name is too long");
    if (MakeDir(dir) != 0) return NotKept(what);

    // The row takes its time under the file's lock, so rows stand in the order they were
    // appended; and it goes into the file of the day its own stamp names. A lock held across
    // midnight, or a clock set meanwhile, makes the reading under the lock name another day
    // than the one that chose the file: that file is then let go and the new day's taken.
    LocalDateTime chose{}, now{};
    journalClock(&chose);
    int file = -1;
    for (int tries = 0;; tries++) {
        file = OpenDayLocked(dir, &chose, path, static_cast<int>(sizeof path));
        if (file < 0) return -1;
        journalClock(&now);
        if (SameDay(&now, &chose)) break;
        if (tries == 3) { // a clock that keeps jumping: the reading that chose the file
            now = chose;
            break;
        }
        CloseFile(file);
        chose = now;
    }
    // Under the lock, what the file holds tells whether any program has written the header yet,
    // and whether a row a full disk cut short needs its line end before this one.
    long size = 0;
    int last = '\n';
    text[0] = '\0';
    if (GetFileSize(path, &size) != 0 || size == 0)
        std::strcpy(text, JournalHeader);
    else if (GetFileLastByte(path, &last) == 0 && last != '\n')
        std::strcpy(text, "\n");
    const int used = static_cast<int>(std::strlen(text));
    int rc = ComposeRow(text + used, static_cast<int>(sizeof text) - used, &now, outcome, where);
    if (rc != 0)
        JournalFailed("the row is too long");
    else
        rc = KeepBytes(file, text, static_cast<int>(std::strlen(text)), what);
    if (CloseFile(file) != 0 && rc == 0) rc = NotKept(what);
    return rc;
}

} // namespace kivrel
