// Reading PGN text for the book builder: whole lines from a file, and the words of a line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace book {

// The next token of a line: pass the line's text to start it, null to go on. A token is a
// single "{", "}", "(" or ")", or a run of other characters up to a blank, one of those or
// the line end ("\n", "\r" or the text's end); control characters inside are dropped, as
// if they were not there. Null when the line has no more tokens. The text must outlive
// the calls, and the token is valid until the next call.
const char* pgn_token(const char* text);

// The move a token may hold, with what is around it taken off: move numbers and dots in
// front ("12...Nf3"), annotation glyphs behind ("Nf3!?", "Qh7#"). Writes it into `out`
// (room for 24 bytes, longer moves are cut, which no legal move needs) and returns false
// when the token holds no letter and no "0-" (so "1-0", "1/2-1/2", "*", "12." are no moves).
bool pgn_move_text(const char* token, char* out);

// A PGN file read line by line, each line whole however long it is, so that the tail of a
// long line can never pass for a line of its own (a header, a new game). "\n", "\r\n" and
// a lone "\r" each end a line; NUL bytes are dropped. A reader that cannot use lines past
// a length keeps only their first `max_length` characters, so that a file without line
// ends does not fill the memory.
class PgnLines {
 public:
  explicit PgnLines(std::FILE* file, size_t max_length = std::string::npos) : file_(file), max_length_(max_length) {}
  // The next line, without its end, or false at the end of the file.
  bool next(std::string& line);
  // Whether the last line was longer than `max_length` and so was cut.
  bool cut() const { return cut_; }

 private:
  std::FILE* file_;
  size_t max_length_;
  char buffer_[1 << 16];
  size_t begin_ = 0, end_ = 0;
  bool after_cr_ = false;
  bool cut_ = false;
};

}  // namespace book
