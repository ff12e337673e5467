#include "tools/text_lines.h"

#include <algorithm>
#include <cstring>

namespace tools {

bool TextLines::fill() {
  begin_ = 0;
  end_ = std::fread(block_.data(), 1, block_.size(), file_);
  bytes_read_ += end_;
  return end_ > 0;
}

bool TextLines::next(std::string_view& line, bool& too_long) {
  carry_.clear();
  size_t length = 0;  // of the whole line, also of what was not kept
  bool whole = true;
  for (;;) {
    if (begin_ == end_ && !fill()) {
      if (length == 0) return false;
      break;  // a last line without its end
    }
    const char* start = block_.data() + begin_;
    const char* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    size_t piece = newline ? static_cast<size_t>(newline - start) : end_ - begin_;
    begin_ += piece + (newline ? 1 : 0);
    if (newline && length == 0) {
      // The common case: the whole line lies in the block.
      line = std::string_view(start, piece);
      length = piece;
      break;
    }
    // Keep one character past the limit, to tell a long line from one that only ends "\r".
    size_t room = max_length_ + 2 - carry_.size();
    carry_.append(start, std::min(piece, room));
    length += piece;
    if (newline) break;
  }
  if (!carry_.empty() || length == 0) line = carry_;
  if (line.size() < length) whole = false;
  if (whole && !line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
    --length;
  }
  too_long = length > max_length_;
  if (too_long) line = line.substr(0, max_length_);
  return true;
}

}  // namespace tools
