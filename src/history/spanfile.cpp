#include "spanfile.h"

#include "columns.h"
#include "csv.h"
#include "keep.h"
#include "livering.h"
#include "records.h"
#include "recreader.h"

#include "formatio.h"
#include "wholefile.h"

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
        outFailed =
            WriteWholeFile(outFile, outBuf, outLength) != outLength && NotKept(NotWritten) != 0;
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
    outFile = OpenWholeFile(path);
    if (outFile < 0) return NotKept(NotWritten);
    Put(RecordingHeader, static_cast<int>(std::strlen(RecordingHeader)));
    return 0;
}

// The rows written, or -1; a span not written whole replaces nothing.
static int EndSpan(void)
{
    Flush();
    if (EndWholeFile(outFile, !outFailed) != 0 && !outFailed) outFailed = NotKept(NotWritten) != 0;
    outFile = -1;
    return outFailed ? -1 : outRows;
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
    return EndSpan();
}

// A row as the file holds it; one whose seconds a comma locale split in two is written again
// as REC writes it now, so the span has no extra column.
static void CopyRow(const RecRow *row)
{
    if (row->time < spanFrom || row->time > spanTo) return;
    int length = 0;
    const char *text = RecRowText(&length);
    if (!text || length + 1 > static_cast<int>(sizeof outBuf)) return;
    if (RecRowMended()) {
        char stamp[TimeStampLength + 1];
        char mended[256];
        std::memcpy(stamp, text, TimeStampLength); // read whole as the first field
        stamp[TimeStampLength] = '\0';
        const int n = FormatRecRow(mended, sizeof mended, stamp, row->seconds, row);
        if (n < 0) return;
        Put(mended, n);
    } else {
        Put(text, length);
        Put("\n", 1);
    }
    outRows++;
}

int CopyRecordingSpan(const char *source, const char *path, double from, double to)
{
    // Replacing the file read would lose every row outside the span; callers say so first.
    if (SameFile(source, path)) {
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
    return EndSpan();
}

} // namespace kivrel
