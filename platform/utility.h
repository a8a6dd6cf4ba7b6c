// Time, sleeping and the program's own directory.
#ifndef KIVREL_PLATFORM_UTILITY_H
#define KIVREL_PLATFORM_UTILITY_H

enum { MAX_PATHNAME_LEN = 260 };

// Seconds from a fixed origin on a steady clock; only differences mean anything.
double Timer(void);

// Blocks the thread for the given milliseconds without processing any event.
void Sleep(unsigned int milliseconds);

// Writes the directory of the running executable (at most MAX_PATHNAME_LEN bytes with NUL).
int GetProjectDir(char directory[]);

#endif
