// Files written whole: exports, pictures, JSON output. The bytes go to a temporary file beside
// the target, which replaces the target only once every byte is on the disk, so a failure
// leaves the old file exactly as it was and no partial file. A symbolic link at the path is
// followed and stays; a target that is no regular file (a device, a FIFO, "-" for stdout) has
// nothing to replace and is written directly. Reasons go to GetFileErrorText (formatio.h).
#ifndef KIVREL_PLATFORM_WHOLEFILE_H
#define KIVREL_PLATFORM_WHOLEFILE_H

// Begins a whole write of `fileName`: a handle (>= 0), or FIO_OPEN_ERROR when nothing can be
// written there (a folder the user may not write, a name too long, a folder as the target).
int OpenWholeFile(const char *fileName);
// Adds `count` bytes to what the file will hold: the count, or FIO_IO_ERROR (a full disk);
// after a failure the file can only be dropped.
int WriteWholeFile(int handle, const char *bytes, int count);
// keep != 0: the target becomes what was written, 0 or FIO_IO_ERROR; keep == 0: what was
// written goes and the target stays as it was, 0. The handle is gone either way.
int EndWholeFile(int handle, int keep);
// All of `bytes` as the whole file: 0, FIO_OPEN_ERROR or FIO_IO_ERROR.
int SaveWholeFile(const char *fileName, const char *bytes, long count);

// 1 when both paths name one file once links are followed (the same device and inode: a hard
// link, a link, a linked folder), 0 when not or when either names nothing.
int SameFile(const char *a, const char *b);

#endif
