// Opening a file that a user named for reading, without ever waiting on it: a pipe, a
// device or a directory under a book's or a PGN's name must not stop the engine.
#pragma once

#include <cstdio>
#include <string>

namespace base {

// `path` opened for binary reading when it is a regular file (a link to one counts), or
// null with the reason in `why`: the system's message, or "not a regular file". Opening a
// pipe that nobody writes to returns at once.
std::FILE* open_regular_file(const char* path, std::string* why = nullptr);

}  // namespace base
