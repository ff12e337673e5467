#include "book/pgn_reader.h"

#include <cstring>

namespace book {

namespace {

bool line_end(char c) { return c == 0 || c == '\n' || c == '\r'; }
bool blank(char c) { return c == ' ' || c == '\t'; }
bool control(char c) { return (static_cast<unsigned char>(c) < 0x20 && !blank(c)) || c == 0x7F; }
bool single(char c) { return c == '{' || c == '}' || c == '(' || c == ')'; }
bool letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

const char* pgn_token(const char* text) {
  static const char* cursor = nullptr;
  static std::string token;
  if (text) cursor = text;
  if (!cursor) return nullptr;
  token.clear();
  while (!line_end(*cursor) && (blank(*cursor) || control(*cursor))) ++cursor;
  if (line_end(*cursor)) {
    cursor = nullptr;
    return nullptr;
  }
  if (single(*cursor)) {
    token.push_back(*cursor++);
    return token.c_str();
  }
  for (; !line_end(*cursor) && !blank(*cursor) && !single(*cursor); ++cursor)
    if (!control(*cursor)) token.push_back(*cursor);
  return token.c_str();
}

bool pgn_move_text(const char* token, char* out) {
  while (*token && !letter(*token) && !(token[0] == '0' && token[1] == '-')) ++token;
  if (!*token) return false;
  size_t length = std::strlen(token);
  while (length > 0 && std::strchr("!?#", token[length - 1])) --length;
  if (length > 23) length = 23;
  std::memcpy(out, token, length);
  out[length] = 0;
  return true;
}

bool PgnLines::next(std::string& line) {
  line.clear();
  cut_ = false;
  bool any = false;
  for (;;) {
    if (begin_ == end_) {
      begin_ = 0;
      end_ = std::fread(buffer_, 1, sizeof buffer_, file_);
      if (end_ == 0) return any;
    }
    any = true;
    char c = buffer_[begin_++];
    bool swallow = after_cr_ && c == '\n';
    after_cr_ = c == '\r';
    if (swallow) {
      any = !line.empty();
      continue;
    }
    if (c == '\n' || c == '\r') return true;
    if (!c) continue;
    if (line.size() < max_length_) line.push_back(c);
    else cut_ = true;
  }
}

}  // namespace book
