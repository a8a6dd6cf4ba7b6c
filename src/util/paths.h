// src/util: arrays, paths and the arithmetic of the sensor's values; uses core only.
// The file part of a path, for status lines that name a file without its folder.
#ifndef KIVREL_UTIL_PATHS_H
#define KIVREL_UTIL_PATHS_H

namespace kivrel
{

// What follows the last '/' or '\' of `path` (paths may come from either system), or all of it.
const char *FileNameOf(const char *path);

} // namespace kivrel

#endif
