// A text file read line by line in large blocks, each line handed over raw (NUL bytes and
// all) so that the reader can judge it. A line longer than the limit is reported as too
// long with only its start kept: a file without line ends never fills the memory, and
// the tail of a long line never passes for a line of its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

class TextLines {
 public:
  // `block` is the size of each read; small blocks serve tests of lines across blocks.
  TextLines(std::FILE* file, size_t max_length, size_t block = size_t{1} << 20)
      : file_(file), max_length_(max_length), block_(block) {}

  // The next line without its end ("\n", "\r\n"); false at the end of the file. The view
  // is valid until the next call. `too_long` tells that the line had more than the limit's
  // characters; the view then holds the first of them.
  bool next(std::string_view& line, bool& too_long);

  uint64_t bytes_read() const { return bytes_read_; }

 private:
  bool fill();

  std::FILE* file_;
  size_t max_length_;
  std::vector<char> block_;
  size_t begin_ = 0, end_ = 0;
  std::string carry_;  // the start of a line that runs across blocks
  uint64_t bytes_read_ = 0;
};

}  // namespace tools
