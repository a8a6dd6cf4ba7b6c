// src/history: what the tool keeps of measurements and parameter changes; uses core, util, wire.
// Handing bytes to a file the tool keeps, and saying so when it cannot.
#ifndef KIVREL_HISTORY_KEEP_H
#define KIVREL_HISTORY_KEEP_H

namespace kivrel
{

// The system's reason for the last thing that could not be kept ("No space left on device").
extern char szKeepError[256];
// 1: every failure is said on stderr at once, as "kivrel: WHAT: REASON" (the panel program);
// 0: the caller says it in its own words, once (the command line).
extern int keepSaysWhy;

// Leaves the system's words for the last failed file service in szKeepError, says so on stderr
// while keepSaysWhy is set, and returns -1.
int NotKept(const char *what);

// Hands `count` bytes to the system at the end of the open file `file`: 0, or NotKept(what).
int KeepBytes(int file, const char *bytes, int count, const char *what);

} // namespace kivrel

#endif
