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

// The local date and time now, to the millisecond, and how far local time is ahead of UTC.
struct LocalDateTime {
    int year, month, day, hour, minute, second, millisecond;
    int utcOffsetMinutes;
};
void GetLocalDateTime(LocalDateTime *now);
// The same for `seconds` since the epoch, with the offset local time had then.
void GetLocalDateTimeAt(double seconds, LocalDateTime *t);
// Seconds since the epoch of a local date and time (its offset as local time has it then; the
// offset in `t` is not read): 0, or -1 when it names no moment (a date out of range, an hour the
// clock skipped).
int LocalDateTimeToEpoch(const LocalDateTime *t, double *seconds);

// The folder where this user's data of the program belong ($XDG_DATA_HOME/kivrel, by default
// ~/.local/share/kivrel); at most MAX_PATHNAME_LEN bytes with NUL. 0, or -1 when it is too long.
int GetUserDataDir(char directory[]);

// `path` as an absolute path from the current folder, at most `size` - 1 bytes and a NUL; 0, or
// -1 when it does not fit (then `absolute` holds `path` as it stands, cut to fit).
int GetAbsolutePath(const char *path, char absolute[], int size);

// Who runs the program and on which machine, for records that must say who changed what: the
// login name and the host name, each at most size - 1 bytes and a NUL ("" when unknown).
void GetLoginName(char name[], int size);
void GetMachineName(char name[], int size);

#endif
