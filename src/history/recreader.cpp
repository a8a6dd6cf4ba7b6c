#include "recreader.h"

#include "columns.h"
#include "journalreader.h"

#include <cstring>

namespace kivrel
{

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

enum { RecordingFields = 12 };

static void TakeHeader(RecReader *r, const char *line, int length, int overlong)
{
    static const char bom[] = "\xEF\xBB\xBF"; // a spreadsheet that saved it again
    if (StartsWith(line, length, bom)) {
        line += 3;
        length -= 3;
    }
    const int n = static_cast<int>(std::strlen(RecordingHeader)) - 1; // without its line end
    if (!overlong && length == n &&
        std::memcmp(line, RecordingHeader, static_cast<size_t>(n)) == 0) {
        r->tally.isRecording = 1;
        return;
    }
    r->refused = 1;
    r->tally.isJournal = !overlong && StartsWith(line, length, JournalHeaderStart);
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

static void TakeRecLine(void *owner, const char *line, int length, int overlong, int ended)
{
    RecReader *r = static_cast<RecReader *>(owner);
    if (r->lines++ == 0) {
        TakeHeader(r, line, length, overlong);
        return;
    }
    if (r->refused || (length == 0 && !overlong)) return; // a blank line holds no row
    if (!ended) { // the program stopped in the middle of the row
        r->tally.cutShort++;
        return;
    }
    if (overlong) {
        r->tally.unreadable++;
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
        const int n = r->tally.notARow++;
        if (n < 3) r->tally.notARowLines[n] = r->lines;
    } else if (fields > RecordingFields)
        r->tally.extraColumns++;
    else if (ParseRecRow(f, n, &row) != 0)
        r->tally.unreadable++;
    else {
        // The time stamp is the first field and has been read whole.
        if (r->tally.rows == 0) {
            r->tally.first = row.time;
            std::memcpy(r->tally.firstStamp, line, sizeof r->tally.firstStamp - 1);
        }
        r->tally.last = row.time;
        std::memcpy(r->tally.lastStamp, line, sizeof r->tally.lastStamp - 1);
        r->tally.rows++;
        r->tally.mended += mended;
        r->rowText = line;
        r->rowLength = length;
        r->rowMended = mended;
        if (r->sink) r->sink(&row, r->sinkData);
        r->rowText = nullptr;
    }
}

void BeginRecReading(RecReader *reader, RecRowSink sink, void *sinkData)
{
    reader->sink = sink;
    reader->sinkData = sinkData;
    reader->tally = RecTally{};
    reader->lines = 0;
    reader->refused = 0;
    reader->fed = 0;
    reader->rowText = nullptr;
    BeginLines(&reader->splitter, TakeRecLine, reader);
}

void FeedRecReading(RecReader *reader, const char *bytes, int count)
{
    if (count <= 0 || reader->refused) return;
    reader->fed = 1;
    FeedLines(&reader->splitter, bytes, count);
}

int RecReadingRefused(const RecReader *reader)
{
    return reader->refused;
}

const char *RecRowText(const RecReader *reader, int *length)
{
    *length = reader->rowText ? reader->rowLength : 0;
    return reader->rowText;
}

int RecRowMended(const RecReader *reader)
{
    return reader->rowText ? reader->rowMended : 0;
}

void EndRecReading(RecReader *reader, RecTally *tally)
{
    if (!reader->refused) EndLines(&reader->splitter);
    reader->tally.empty = !reader->fed;
    *tally = reader->tally;
}

} // namespace kivrel
