// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// A span of records written as a recording of its own, header and rows as REC writes them, so
// the program and a spreadsheet read it back like any recording.
#ifndef KIVREL_HISTORY_SPANFILE_H
#define KIVREL_HISTORY_SPANFILE_H

namespace kivrel
{

// A span being written: whole or not at all (wholefile.h), rows gathered into writes.
struct SpanWriter {
    int file;
    char buf[32768]; // rows not yet handed to the system
    int length;
    int failed; // a write failed: the file will replace nothing
    int rows;
};

// Begins `path` with the recording's header: 0, or -1 with the reason in szKeepError (keep.h).
int BeginSpanFile(SpanWriter *writer, const char *path);
// A row, with its line end or without.
void PutSpanRow(SpanWriter *writer, const char *row, int length);
// The rows written, or -1 with the reason in szKeepError: a span not written whole replaces
// nothing.
int EndSpanFile(SpanWriter *writer);

// The run's records (livering.h) from `from` to `to` (seconds since the epoch) into `path`;
// seconds count from the first of them. The rows written, or -1 with the reason in
// szKeepError (keep.h); a file that could not be written whole is removed.
int WriteRunSpan(const char *path, double from, double to);
// The rows of the recording `source` whose time lies from `from` to `to`, copied into `path`
// as the file holds them, after the header. The rows copied, or -1 as above; `path` naming
// `source` itself is refused.
int CopyRecordingSpan(const char *source, const char *path, double from, double to);

} // namespace kivrel

#endif
