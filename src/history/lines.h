// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Lines of a file read in chunks of any size, as the readers of recordings and of the journal
// take them: a line end may fall in any chunk, and a line too long for any row is passed on as
// such, whole, without being held.
#ifndef KIVREL_HISTORY_LINES_H
#define KIVREL_HISTORY_LINES_H

namespace kivrel
{

// A row REC writes is about 80 bytes, a journal row at most a few hundred plus a quoted path;
// anything longer is no row of either and is passed over whole.
enum { LineMax = 2048 };

// Called for every line: its bytes without the line end (and without a CR before it), 1 in
// `overlong` when it had more than LineMax bytes (then only the first are there), 1 in `ended`
// unless it is a last line without its end.
typedef void (*LineTaker)(void *owner, const char *line, int length, int overlong, int ended);

// One file's line being gathered; a reader holds its own.
struct LineSplitter {
    LineTaker taker;
    void *owner;
    char buf[LineMax];
    int length;   // bytes held in buf
    int overlong; // the line had more bytes than buf holds
};

void BeginLines(LineSplitter *lines, LineTaker taker, void *owner);
void FeedLines(LineSplitter *lines, const char *bytes, int count);
// The last line, if it has no line end.
void EndLines(LineSplitter *lines);

// 1 when `line` of `length` bytes begins with `text`.
int StartsWith(const char *line, int length, const char *text);

} // namespace kivrel

#endif
