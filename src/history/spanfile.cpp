#include "spanfile.h"

#include "columns.h"
#include "csv.h"
#include "keep.h"
#include "livering.h"
#include "records.h"
#include "recreader.h"

#include "formatio.h"
#include "utility.h"

#include <cstdio>
#include <cstring>

namespace kivrel
{

static int outFile = -1;
static char outBuf[65536]; // rows not yet handed to the system
static int outLength;
static int outFailed;
static int outRows;
static double spanFrom, spanTo;
static char inChunk[65536];

static const char NotWritten[] = "span not written";

static void Flush(void)
{
    if (!outFailed && outLength > 0)
        outFailed = KeepBytes(outFile, outBuf, outLength, NotWritten) != 0;
    outLength = 0;
}

static void Put(const char *bytes, int count)
{
    if (outLength + count > static_cast<int>(sizeof outBuf)) Flush();
    std::memcpy(outBuf + outLength, bytes, static_cast<size_t>(count));
    outLength += count;
}

static int BeginSpan(const char *path, double from, double to)
{
    spanFrom = from;
    spanTo = to;
    outLength = outFailed = outRows = 0;
    outFile = OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    if (outFile < 0) return NotKept(NotWritten);
    Put(RecordingHeader, static_cast<int>(std::strlen(RecordingHeader)));
    return 0;
}

// The rows written, or -1; a half-written file is no export and goes.
static int EndSpan(const char *path)
{
    Flush();
    if (CloseFile(outFile) != 0 && !outFailed) outFailed = NotKept(NotWritten) != 0;
    outFile = -1;
    if (!outFailed) return outRows;
    std::remove(path);
    return -1;
}

int WriteRunSpan(const char *path, double from, double to)
{
    if (BeginSpan(path, from, to) != 0) return -1;
    double start = 0;
    for (int i = 0; i < HistoryRecordCount(); i++) {
        const HistoryRecord &h = *HistoryRecordAt(i);
        if (h.time < from || h.time > to) continue;
        if (outRows == 0) start = h.time;
        RecRow r{};
        r.dat0 = h.values[0];
        r.dat1 = h.values[1];
        r.norm = h.values[2];
        r.threshold = h.values[3];
        r.hysteresis = h.values[4];
        r.in0Period = h.in0Period;
        r.activeWindow = h.activeWindow;
        r.edgeTime = h.edgeTime;
        char stamp[40];
        char row[256];
        CsvTimeStampAt(stamp, sizeof stamp, h.time, h.utcOffset);
        const int n = FormatRecRow(row, sizeof row, stamp, h.time - start, &r);
        if (n < 0) continue;
        Put(row, n);
        outRows++;
    }
    return EndSpan(path);
}

static void CopyRow(const RecRow *row)
{
    if (row->time < spanFrom || row->time > spanTo) return;
    int length = 0;
    const char *text = RecRowText(&length);
    if (!text || length + 1 > static_cast<int>(sizeof outBuf)) return;
    Put(text, length);
    Put("\n", 1);
    outRows++;
}

int CopyRecordingSpan(const char *source, const char *path, double from, double to)
{
    char a[MAX_PATHNAME_LEN], b[MAX_PATHNAME_LEN];
    if (GetAbsolutePath(source, a, sizeof a) == 0 && GetAbsolutePath(path, b, sizeof b) == 0 &&
        std::strcmp(a, b) == 0) {
        std::snprintf(szKeepError, sizeof szKeepError, "that is the recording shown");
        return -1;
    }
    const int in = OpenFile(source, VAL_READ_ONLY, 0, VAL_ASCII);
    if (in < 0) return NotKept("recording not read");
    if (BeginSpan(path, from, to) != 0) {
        CloseFile(in);
        return -1;
    }
    BeginRecReading(CopyRow);
    int n = 0;
    while (!outFailed && (n = ReadFile(in, inChunk, sizeof inChunk)) > 0)
        FeedRecReading(inChunk, n);
    RecTally tally{};
    EndRecReading(&tally);
    CloseFile(in);
    if (n < 0 && !outFailed) outFailed = NotKept("recording not read") != 0;
    return EndSpan(path);
}

} // namespace kivrel
