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

static const char NotWritten[] = "span not written";

static void Flush(SpanWriter *w)
{
    if (!w->failed && w->length > 0)
        w->failed =
            WriteWholeFile(w->file, w->buf, w->length) != w->length && NotKept(NotWritten) != 0;
    w->length = 0;
}

static void Put(SpanWriter *w, const char *bytes, int count)
{
    if (w->length + count > static_cast<int>(sizeof w->buf)) Flush(w);
    std::memcpy(w->buf + w->length, bytes, static_cast<size_t>(count));
    w->length += count;
}

int BeginSpanFile(SpanWriter *w, const char *path)
{
    w->length = w->failed = w->rows = 0;
    w->file = OpenWholeFile(path);
    if (w->file < 0) return NotKept(NotWritten);
    Put(w, RecordingHeader, static_cast<int>(std::strlen(RecordingHeader)));
    return 0;
}

void PutSpanRow(SpanWriter *w, const char *row, int length)
{
    if (length + 1 > static_cast<int>(sizeof w->buf)) return; // no row is that long
    Put(w, row, length);
    if (length == 0 || row[length - 1] != '\n') Put(w, "\n", 1);
    w->rows++;
}

int EndSpanFile(SpanWriter *w)
{
    Flush(w);
    if (EndWholeFile(w->file, !w->failed) != 0 && !w->failed) w->failed = NotKept(NotWritten) != 0;
    w->file = -1;
    return w->failed ? -1 : w->rows;
}

int WriteRunSpan(const char *path, double from, double to)
{
    SpanWriter w;
    if (BeginSpanFile(&w, path) != 0) return -1;
    double start = 0;
    for (int i = 0; i < HistoryRecordCount(); i++) {
        const HistoryRecord &h = *HistoryRecordAt(i);
        if (h.time < from || h.time > to) continue;
        if (w.rows == 0) start = h.time;
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
        if (n >= 0) PutSpanRow(&w, row, n);
    }
    return EndSpanFile(&w);
}

// Copying a recording's span: the reader of the file, and the writer of the span.
struct SpanCopy {
    RecReader reader;
    SpanWriter writer;
    double from, to;
};

// A row as the file holds it; one whose seconds a comma locale split in two is written again
// as REC writes it now, so the span has no extra column.
static void CopyRow(const RecRow *row, void *data)
{
    SpanCopy *c = static_cast<SpanCopy *>(data);
    if (row->time < c->from || row->time > c->to) return;
    int length = 0;
    const char *text = RecRowText(&c->reader, &length);
    if (!text) return;
    if (!RecRowMended(&c->reader)) {
        PutSpanRow(&c->writer, text, length);
        return;
    }
    char stamp[TimeStampLength + 1];
    char mended[256];
    std::memcpy(stamp, text, TimeStampLength); // read whole as the first field
    stamp[TimeStampLength] = '\0';
    const int n = FormatRecRow(mended, sizeof mended, stamp, row->seconds, row);
    if (n >= 0) PutSpanRow(&c->writer, mended, n);
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
    SpanCopy c;
    c.from = from;
    c.to = to;
    if (BeginSpanFile(&c.writer, path) != 0) {
        CloseFile(in);
        return -1;
    }
    char chunk[32768];
    BeginRecReading(&c.reader, CopyRow, &c);
    int n = 0;
    while (!c.writer.failed && (n = ReadFile(in, chunk, sizeof chunk)) > 0)
        FeedRecReading(&c.reader, chunk, n);
    RecTally tally{};
    EndRecReading(&c.reader, &tally);
    CloseFile(in);
    if (n < 0 && !c.writer.failed) c.writer.failed = NotKept("recording not read") != 0;
    return EndSpanFile(&c.writer);
}

} // namespace kivrel
