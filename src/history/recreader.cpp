#include "recreader.h"

#include "columns.h"
#include "journal.h"
#include "state.h"

#include <cstring>

namespace kivrel
{

// ---- Dates and time stamps -----------------------------------------------------------------

// The proleptic Gregorian calendar in whole days, valid for every year a time stamp can hold.
long DayNumber(int year, int month, int day)
{
    const long y = year - (month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yearOfEra = y - era * 400;
    const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void DayName(long dayNumber, char name[11])
{
    const long z = dayNumber + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long dayOfEra = z - era * 146097;
    const long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long mp = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) year = 0; // no time stamp holds such a year
    const long parts[] = {year / 1000, year / 100 % 10, year / 10 % 10, year % 10,
                          -1,          month / 10,      month % 10,     -1,
                          day / 10,    day % 10};
    for (int i = 0; i < 10; i++)
        name[i] = parts[i] < 0 ? '-' : static_cast<char>('0' + parts[i]);
    name[10] = '\0';
}

double EpochSeconds(int year, int month, int day, int hour, int minute, int second, int millisecond,
                    int offsetMinutes)
{
    const double days = static_cast<double>(DayNumber(year, month, day));
    return days * 86400.0 + hour * 3600.0 + minute * 60.0 + second + millisecond / 1000.0 -
           offsetMinutes * 60.0;
}

// `count` decimal digits at `text` as a number; -1 when one is not a digit.
static int Digits(const char *text, int count)
{
    int value = 0;
    for (int i = 0; i < count; i++) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

static int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month - 1] + (month == 2 ? leap : 0);
}

int ParseTimeStamp(const char *text, int length, double *seconds)
{
    // 2026-12-08T14:30:12.345+01:00
    static const char shape[] = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
    if (length != static_cast<int>(sizeof shape - 1)) return -1;
    for (int i = 0; i < length; i++) {
        const char want = shape[i];
        if (want == 'd' || (want == '+' && text[i] == '-')) continue;
        if (text[i] != want) return -1;
    }
    const int year = Digits(text, 4), month = Digits(text + 5, 2), day = Digits(text + 8, 2);
    const int hour = Digits(text + 11, 2), minute = Digits(text + 14, 2);
    const int second = Digits(text + 17, 2), milli = Digits(text + 20, 3);
    const int offsetHours = Digits(text + 24, 2), offsetMinutes = Digits(text + 27, 2);
    if (year < 0 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59 || milli < 0 || offsetHours < 0 ||
        offsetHours > 18 || offsetMinutes < 0 || offsetMinutes > 59)
        return -1;
    if (day > DaysInMonth(year, month)) return -1;
    const int offset = (offsetHours * 60 + offsetMinutes) * (text[23] == '-' ? -1 : 1);
    *seconds = EpochSeconds(year, month, day, hour, minute, second, milli, offset);
    return 0;
}

// A whole unsigned decimal of 1 to 9 digits no larger than `max`: 0, or -1.
static int ParseUnsigned(const char *text, int length, unsigned max, unsigned *value)
{
    if (length < 1 || length > 9) return -1;
    const int v = Digits(text, length);
    if (v < 0 || static_cast<unsigned>(v) > max) return -1;
    *value = static_cast<unsigned>(v);
    return 0;
}

// ---- Lines from chunks -----------------------------------------------------------------------

// A row REC writes is about 80 bytes, a journal row at most a few hundred plus a quoted path;
// anything longer is no row of either and is passed over whole.
enum { LineMax = 2048 };

typedef void (*LineTaker)(const char *line, int length, int overlong, int ended);

static char lineBuf[LineMax];
static int lineLength;   // bytes held in lineBuf
static int lineOverlong; // the line had more bytes than lineBuf holds
static LineTaker lineTaker;

static void BeginLines(LineTaker taker)
{
    lineLength = 0;
    lineOverlong = 0;
    lineTaker = taker;
}

static void TakeLine(int ended)
{
    int length = lineLength;
    if (length > 0 && lineBuf[length - 1] == '\r') length--; // written on another system
    lineTaker(lineBuf, length, lineOverlong, ended);
    lineLength = 0;
    lineOverlong = 0;
}

static void FeedLines(const char *bytes, int count)
{
    while (count > 0) {
        const void *end = std::memchr(bytes, '\n', static_cast<size_t>(count));
        const int part = end ? static_cast<int>(static_cast<const char *>(end) - bytes) : count;
        const int room = LineMax - lineLength;
        const int kept = part < room ? part : room;
        std::memcpy(lineBuf + lineLength, bytes, static_cast<size_t>(kept));
        lineLength += kept;
        if (part > room) lineOverlong = 1;
        const int used = end ? part + 1 : part;
        if (end) TakeLine(1);
        bytes += used;
        count -= used;
    }
}

static void EndLines(void)
{
    if (lineLength > 0 || lineOverlong) TakeLine(0);
}

// Fields between commas, without quotes (REC writes none): how many there are, and where the
// first `max` of them start and how long they are.
static int SplitPlain(const char *line, int length, const char *starts[], int lengths[], int max)
{
    int n = 0;
    int start = 0;
    for (int i = 0; i <= length; i++) {
        if (i < length && line[i] != ',') continue;
        if (n < max) {
            starts[n] = line + start;
            lengths[n] = i - start;
        }
        n++;
        start = i + 1;
    }
    return n;
}

// ---- Recordings ------------------------------------------------------------------------------

static const char JournalHeaderStart[] = "time,direction,target,port,device,";
enum { RecordingFields = 12 };

static RecRowSink recSink;
static RecTally recTally;
static int recLines; // lines taken, the header included
static int recRefused;
static int recFed;
static const char *recRowText; // the row a sink is called for
static int recRowLength;
static int recRowMended;

static int StartsWith(const char *line, int length, const char *text)
{
    const int n = static_cast<int>(std::strlen(text));
    return length >= n && std::memcmp(line, text, static_cast<size_t>(n)) == 0;
}

static void TakeHeader(const char *line, int length, int overlong)
{
    static const char bom[] = "\xEF\xBB\xBF"; // a spreadsheet that saved it again
    if (StartsWith(line, length, bom)) {
        line += 3;
        length -= 3;
    }
    const int n = static_cast<int>(std::strlen(RecordingHeader)) - 1; // without its line end
    if (!overlong && length == n &&
        std::memcmp(line, RecordingHeader, static_cast<size_t>(n)) == 0) {
        recTally.isRecording = 1;
        return;
    }
    recRefused = 1;
    recTally.isJournal = !overlong && StartsWith(line, length, JournalHeaderStart);
}

// 0 and the row, or -1 when a field is not what REC writes.
static int ParseRecRow(const char *const f[], const int n[], RecRow *row)
{
    unsigned v[11];
    if (ParseTimeStamp(f[0], n[0], &row->time) != 0) return -1;
    // Seconds since REC on: "12.345".
    int point = 0;
    while (point < n[1] && f[1][point] != '.')
        point++;
    unsigned whole = 0, fraction = 0;
    if (ParseUnsigned(f[1], point, 999999999u, &whole) != 0) return -1;
    const int decimals = n[1] - point - 1;
    if (point < n[1] && (decimals < 1 || decimals > 6 ||
                         ParseUnsigned(f[1] + point + 1, decimals, 999999u, &fraction) != 0))
        return -1;
    double scale = 1.0;
    for (int i = 0; i < decimals; i++)
        scale *= 10.0;
    row->seconds = whole + (point < n[1] ? fraction / scale : 0.0);
    for (int i = 2; i < RecordingFields; i++) {
        const unsigned max = i < 7 ? 255u : i < 10 ? 65535u : 6553500u;
        if (i >= 10 && n[i] == 0) { // no IN0 period, no percentage
            v[i - 2] = 0;
            continue;
        }
        if (ParseUnsigned(f[i], n[i], max, &v[i - 2]) != 0) return -1;
    }
    row->dat0 = static_cast<unsigned char>(v[0]);
    row->dat1 = static_cast<unsigned char>(v[1]);
    row->norm = static_cast<unsigned char>(v[2]);
    row->threshold = static_cast<unsigned char>(v[3]);
    row->hysteresis = static_cast<unsigned char>(v[4]);
    row->in0Period = v[5];
    row->activeWindow = v[6];
    row->edgeTime = v[7];
    row->activePercent = n[10] ? static_cast<int>(v[8]) : -1;
    row->edgePercent = n[11] ? static_cast<int>(v[9]) : -1;
    return 0;
}

static int AllDigits(const char *text, int length)
{
    for (int i = 0; i < length; i++)
        if (text[i] < '0' || text[i] > '9') return 0;
    return length > 0;
}

// A row written under a comma locale before numbers kept their point has its seconds in two
// fields, "12,345": whole seconds, then exactly the three decimals REC writes. 1 and the
// seconds with a point in `joined`, or 0.
static int JoinCommaSeconds(const char *const f[], const int n[], char joined[16])
{
    if (n[1] > 9 || !AllDigits(f[1], n[1]) || n[2] != 3 || !AllDigits(f[2], 3)) return 0;
    std::memcpy(joined, f[1], static_cast<size_t>(n[1]));
    joined[n[1]] = '.';
    std::memcpy(joined + n[1] + 1, f[2], 3);
    return 1;
}

static void TakeRecLine(const char *line, int length, int overlong, int ended)
{
    if (recLines++ == 0) {
        TakeHeader(line, length, overlong);
        return;
    }
    if (recRefused || (length == 0 && !overlong)) return; // a blank line holds no row
    if (!ended) { // the program stopped in the middle of the row
        recTally.cutShort++;
        return;
    }
    if (overlong) {
        recTally.unreadable++;
        return;
    }
    const char *f[RecordingFields + 1];
    int n[RecordingFields + 1];
    int fields = SplitPlain(line, length, f, n, RecordingFields + 1);
    char seconds[16];
    const int mended = fields == RecordingFields + 1 && JoinCommaSeconds(f, n, seconds);
    if (mended) {
        f[1] = seconds;
        n[1] = n[1] + 1 + n[2];
        for (int i = 2; i < RecordingFields; i++) {
            f[i] = f[i + 1];
            n[i] = n[i + 1];
        }
        fields = RecordingFields;
    }
    RecRow row{};
    if (fields < RecordingFields) {
        const int n = recTally.notARow++;
        if (n < 3) recTally.notARowLines[n] = recLines;
    } else if (fields > RecordingFields)
        recTally.extraColumns++;
    else if (ParseRecRow(f, n, &row) != 0)
        recTally.unreadable++;
    else {
        // The time stamp is the first field and has been read whole.
        if (recTally.rows == 0) {
            recTally.first = row.time;
            std::memcpy(recTally.firstStamp, line, sizeof recTally.firstStamp - 1);
        }
        recTally.last = row.time;
        std::memcpy(recTally.lastStamp, line, sizeof recTally.lastStamp - 1);
        recTally.rows++;
        recTally.mended += mended;
        recRowText = line;
        recRowLength = length;
        recRowMended = mended;
        if (recSink) recSink(&row);
        recRowText = nullptr;
    }
}

void BeginRecReading(RecRowSink sink)
{
    recSink = sink;
    recTally = RecTally{};
    recLines = 0;
    recRefused = 0;
    recFed = 0;
    BeginLines(TakeRecLine);
}

void FeedRecReading(const char *bytes, int count)
{
    if (count <= 0 || recRefused) return;
    recFed = 1;
    FeedLines(bytes, count);
}

int RecReadingRefused(void)
{
    return recRefused;
}

const char *RecRowText(int *length)
{
    *length = recRowText ? recRowLength : 0;
    return recRowText;
}

int RecRowMended(void)
{
    return recRowText ? recRowMended : 0;
}

void EndRecReading(RecTally *tally)
{
    if (!recRefused) EndLines();
    recTally.empty = !recFed;
    *tally = recTally;
}

// ---- The parameter journal -------------------------------------------------------------------

enum { JournalFields = 24 }; // up to the outcome, which rows before it was written do not say

static JournalRowSink journalSink;
static int journalSkipped;

// Splits a CSV line, quotes and all, into fields NUL-terminated in `out`. The number of fields,
// or -1 when a quote is not closed or stands inside a field.
static int SplitQuoted(const char *line, int length, char *out, const char *fields[], int max)
{
    int n = 0, i = 0, o = 0;
    for (;;) {
        if (n < max) fields[n] = out + o;
        if (i < length && line[i] == '"') {
            for (i++;; i++) {
                if (i >= length) return -1;
                if (line[i] == '"') {
                    if (i + 1 < length && line[i + 1] == '"') {
                        out[o++] = '"';
                        i++;
                        continue;
                    }
                    i++;
                    break;
                }
                out[o++] = line[i];
            }
            if (i < length && line[i] != ',') return -1;
        } else {
            for (; i < length && line[i] != ','; i++) {
                if (line[i] == '"') return -1;
                out[o++] = line[i];
            }
        }
        out[o++] = '\0';
        n++;
        if (i >= length) return n;
        i++; // the comma
    }
}

static void CopyText(char *to, int size, const char *from)
{
    int i = 0;
    for (; i < size - 1 && from[i]; i++)
        to[i] = from[i];
    to[i] = '\0';
}

static int ParseJournalRow(const char *line, int length, JournalRow *row)
{
    static char out[2 * LineMax + 2]; // every byte of the line, and a NUL per field
    const char *f[JournalFields];
    const int n = SplitQuoted(line, length, out, f, JournalFields);
    if (n < 20) return -1;
    if (ParseTimeStamp(f[0], static_cast<int>(std::strlen(f[0])), &row->time) != 0) return -1;
    // The words the journal writes, and nothing else.
    static const int directions[] = {TRANSFER_READ, TRANSFER_WRITE};
    static const int targets[] = {RAM, EEPROM, DATFILE};
    row->direction = -1;
    for (int direction : directions)
        if (std::strcmp(f[1], JournalDirectionName(direction)) == 0) row->direction = direction;
    row->where = -1;
    for (int where : targets)
        if (std::strcmp(f[2], JournalTargetName(where)) == 0) row->where = where;
    if (row->direction < 0 || row->where < 0) return -1;
    // No port for a file; for the sensor the COM number, none when no number mapped its device.
    unsigned port = 0;
    const int portLength = static_cast<int>(std::strlen(f[3]));
    if (portLength != 0 &&
        (row->where == DATFILE || ParseUnsigned(f[3], portLength, 255u, &port) != 0 || port == 0))
        return -1;
    row->port = static_cast<int>(port);
    CopyText(row->device, sizeof row->device, f[4]);
    for (int i = 0; i < AnzPara; i++) {
        unsigned v = 0;
        if (ParseUnsigned(f[5 + i], static_cast<int>(std::strlen(f[5 + i])), 255u, &v) != 0)
            return -1;
        row->values[i] = static_cast<unsigned char>(v);
    }
    row->who[0] = '\0';
    if (n >= 22 && f[20][0]) {
        CopyText(row->who, sizeof row->who, f[20]);
        const int used = static_cast<int>(std::strlen(row->who));
        if (f[21][0] && used + 2 < static_cast<int>(sizeof row->who)) {
            row->who[used] = '@';
            CopyText(row->who + used + 1, static_cast<int>(sizeof row->who) - used - 1, f[21]);
        }
    }
    row->outcome = -1;
    for (int outcome = TRANSFER_READ; n >= 24 && outcome <= TRANSFER_VERIFY_FAILED; outcome++)
        if (std::strcmp(f[23], JournalOutcomeName(outcome)) == 0) row->outcome = outcome;
    return 0;
}

static void TakeJournalLine(const char *line, int length, int overlong, int ended)
{
    if (length == 0 && !overlong) return;
    if (!overlong && StartsWith(line, length, JournalHeaderStart)) return;
    JournalRow row{};
    if (!ended || overlong || ParseJournalRow(line, length, &row) != 0) {
        journalSkipped++;
        return;
    }
    if (journalSink) journalSink(&row);
}

void BeginJournalReading(JournalRowSink sink)
{
    journalSink = sink;
    journalSkipped = 0;
    BeginLines(TakeJournalLine);
}

void FeedJournalReading(const char *bytes, int count)
{
    if (count > 0) FeedLines(bytes, count);
}

int EndJournalReading(void)
{
    EndLines();
    return journalSkipped;
}

} // namespace kivrel
