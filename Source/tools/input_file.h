// A tool's input file: opened only when it is something that can be read to an end (a
// regular file or a pipe, not a directory or a device), its size known only when it is a
// regular file, and a read error told apart from the end of the file.
#pragma once

#include <cstdio>
#include <string>

namespace tools {

// Opens `path` for reading; null, with the reason reported as a tool failure, when it
// cannot be opened or is neither a regular file nor a pipe.
std::FILE* open_input(const std::string& path);

// Size in bytes of an open input, for progress and for sizing memory; -1 when it is not a
// regular file (a pipe), whose size says nothing about what it will give.
long file_size(std::FILE* file);

// True, with "cannot read PATH" reported as a tool failure, when a read of `file` failed:
// what was read before the error is not the whole input.
bool read_failed(std::FILE* file, const std::string& path);

}  // namespace tools
