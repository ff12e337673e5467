// Adding text to the end of a file that holds earlier records (saved games): all of the
// text or none of it, so that a failed write never leaves half a record behind.
#pragma once

#include <string>

namespace tools {

// Appends `text` to the file at `path`, creating it when missing. Returns 0, or the error
// number of the open, write or close that failed; a file that was opened is then cut back
// to the length it had.
int append_whole(const std::string& path, const std::string& text);

}  // namespace tools
