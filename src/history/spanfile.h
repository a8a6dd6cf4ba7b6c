// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// A span of records written as a recording of its own, header and rows as REC writes them, so
// the program and a spreadsheet read it back like any recording.
#ifndef KIVREL_HISTORY_SPANFILE_H
#define KIVREL_HISTORY_SPANFILE_H

namespace kivrel
{

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
