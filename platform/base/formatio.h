// Arrays to and from text files.
#ifndef KIVREL_PLATFORM_FORMATIO_H
#define KIVREL_PLATFORM_FORMATIO_H

// Data types of arrays, in files and in plots.
enum { VAL_DOUBLE = 4, VAL_UNSIGNED_CHAR = 8 };

// Error codes of the array-file services.
enum {
    FIO_OPEN_ERROR = -1,      // the file cannot be opened or created
    FIO_IO_ERROR = -2,        // reading or writing failed midway
    FIO_TOO_FEW_VALUES = -3,  // the file ends before every element was read
    FIO_TOO_MANY_VALUES = -4, // more values follow the last element
    FIO_BAD_VALUE = -5,       // text that is not a number, or a number out of the element's range
    FIO_UNSUPPORTED = -6,     // a setting these services do not implement
    FIO_TOO_LARGE = -7        // the file is far larger than any array it could hold
};

// Writes `numElements` elements of `array` as text. Only what parameter files use is
// implemented: unsigned 8-bit elements (type 8), one group, layout 0, fixed-width fields,
// text files, truncate. The name "-" writes to stdout. Returns 0 or a negative code above.
int ArrayToFile(const char *fileName, const void *array, int dataType, int numElements,
                int numGroups, int arrayDataOrder, int fileLayout, int columnSeparation,
                int fieldWidth, int fileType, int fileAction);

// Reads `numElements` elements back. Values may be separated by any run of blanks, tabs, CR
// and LF. `array` is written only when the whole file was read correctly.
int FileToArray(const char *fileName, void *array, int dataType, int numElements, int numGroups,
                int arrayDataOrder, int fileLayout, int fileType);

// Files written piece by piece (live recordings, the parameter journal) and read back.
enum { VAL_READ_ONLY = 0, VAL_WRITE_ONLY = 1 }; // readWriteMode
enum { VAL_TRUNCATE = 0, VAL_APPEND = 1 };      // action (ignored for reading)
enum { VAL_ASCII = 1 };                         // fileType
// A handle (>= 0) or FIO_OPEN_ERROR. Reading takes regular files only: a pipe or a terminal
// would hold the program until its other end acts, a device would never end.
int OpenFile(const char *fileName, int readWriteMode, int action, int fileType);
// Moves at most `count` bytes of a file opened for reading into `buffer`: the count moved, 0 at
// the end of the file, or FIO_IO_ERROR.
int ReadFile(int handle, char *buffer, int count);
// Hands all `count` bytes to the system before returning: the count, or FIO_IO_ERROR when not
// all of them could be written (a full disk, a removed stick).
int WriteFile(int handle, const char *buffer, int count);
int CloseFile(int handle);
// Takes the advisory lock (flock) on an open file that every writer of the file takes, waiting
// for another program that holds it; it is let go when the file is closed. 0 or FIO_IO_ERROR.
int LockFile(int handle);
// The system's words for why the last file service that failed did ("No space left on
// device"); empty while none has.
const char *GetFileErrorText(void);
// The size of a file in bytes; FIO_OPEN_ERROR when it does not exist.
int GetFileSize(const char *fileName, long *size);
// The last byte of a file (0 to 255), -1 for an empty file; FIO_OPEN_ERROR when it cannot be
// read. A writer that appends lines sees whether the last one was ended.
int GetFileLastByte(const char *fileName, int *byte);
// How many files in `folder` have names matching `pattern` (wildcards * and ?); the first and
// the last of them in byte order into `first` and `last` (size bytes each; "" when there are
// none). 0 for a folder that does not exist; FIO_OPEN_ERROR for one that cannot be read.
int FindFileNames(const char *folder, const char *pattern, char first[], char last[], int size);
// Makes a folder and every missing folder above it; 0 or FIO_OPEN_ERROR.
int MakeDir(const char *path);

#endif
