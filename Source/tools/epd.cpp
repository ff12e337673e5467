#include "tools/epd.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tools {

namespace {

constexpr const char* kOpcodes[kEpdOpcodes] = {"bm", "am", "ce", "sc", "gr", "id", "c0"};
constexpr const char* kFaultNames[kLineFaults] = {"too long", "binary", "missing fields", "bad FEN", "bad values"};

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_piece_letter(char c) {
  switch (c) {
    case 'P': case 'N': case 'B': case 'R': case 'Q': case 'K':
    case 'p': case 'n': case 'b': case 'r': case 'q': case 'k':
      return true;
    default:
      return false;
  }
}

bool is_castling_letter(char c) { return c == 'K' || c == 'Q' || c == 'k' || c == 'q' || (c >= 'A' && c <= 'H') || (c >= 'a' && c <= 'h'); }

bool placement_well_formed(const char*& p) {
  for (int rank = 0; rank < 8; ++rank) {
    if (rank > 0 && *p++ != '/') return false;
    int files = 0;
    for (; files < 8 && *p && *p != '/' && *p != ' '; ++p) {
      if (*p >= '1' && *p <= '8') files += *p - '0';
      else if (is_piece_letter(*p)) ++files;
      else return false;
    }
    if (files != 8) return false;
  }
  return *p == ' ';
}

}  // namespace

bool read_epd_line(std::string_view line, EpdLine& epd) {
  for (int op = 0; op < kEpdOpcodes; ++op) {
    epd.operand[op][0] = 0;
    epd.present[op] = false;
  }
  epd.fen[0] = 0;
  size_t at = 0, end = line.size();
  auto skip_blanks = [&] { while (at < end && is_blank(line[at])) ++at; };

  char* fen = epd.fen;
  for (int field = 0; field < 4; ++field) {
    skip_blanks();
    if (at == end) return false;
    if (field > 0) *fen++ = ' ';
    while (at < end && !is_blank(line[at])) *fen++ = line[at++];
  }
  *fen = 0;
  // Move counters and other bare numbers before the operations.
  for (;;) {
    skip_blanks();
    if (at == end || !is_digit(line[at])) break;
    while (at < end && !is_blank(line[at])) ++at;
  }
  while (at < end) {
    skip_blanks();
    size_t opcode = at;
    while (at < end && !is_blank(line[at]) && line[at] != ';') ++at;
    std::string_view name = line.substr(opcode, at - opcode);
    char operand[kMaxEpdLine + 1];
    size_t length = 0;
    while (at < end && line[at] != ';') {
      if (!is_blank(line[at]) && length < kMaxEpdLine) operand[length++] = line[at];
      ++at;
    }
    if (at == end) break;  // no ";": the operation and the rest are not read
    ++at;
    operand[length] = 0;
    for (int op = 0; op < kEpdOpcodes; ++op) {
      if (name != kOpcodes[op]) continue;
      std::memcpy(epd.operand[op], operand, length + 1);
      epd.present[op] = true;
    }
  }
  return true;
}

bool fen_fields_well_formed(const char* fen) {
  const char* p = fen;
  if (!placement_well_formed(p)) return false;
  ++p;
  if ((*p != 'w' && *p != 'b') || p[1] != ' ') return false;
  p += 2;
  if (*p == '-') {
    ++p;
  } else {
    const char* start = p;
    for (; *p && *p != ' '; ++p)
      if (!is_castling_letter(*p) || p - start >= 4) return false;
  }
  if (*p++ != ' ') return false;
  if (p[0] == '-' && p[1] == 0) return true;
  return p[0] >= 'a' && p[0] <= 'h' && (p[1] == '3' || p[1] == '6') && p[2] == 0;
}

bool read_integer(const char* text, int limit, int& value) {
  const char* p = text;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!is_digit(*p)) return false;
  long long magnitude = 0;
  for (; is_digit(*p); ++p) {
    magnitude = magnitude * 10 + (*p - '0');
    if (magnitude > limit) return false;
  }
  if (*p) return false;
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

bool read_decimal(const char* text, double& value) {
  if (!*text || is_blank(*text)) return false;
  char* end;
  errno = 0;
  value = std::strtod(text, &end);
  return *end == 0 && errno == 0 && std::isfinite(value);
}

uint64_t LineFaults::total() const {
  uint64_t sum = 0;
  for (uint64_t c : count) sum += c;
  return sum;
}

void LineFaults::report(std::FILE* out) const {
  if (!total()) return;
  std::fprintf(out, "skipped %llu bad lines:", static_cast<unsigned long long>(total()));
  const char* separator = " ";
  for (int fault = 0; fault < kLineFaults; ++fault) {
    if (!count[fault]) continue;
    std::fprintf(out, "%s%llu %s", separator, static_cast<unsigned long long>(count[fault]), kFaultNames[fault]);
    separator = ", ";
  }
  std::fprintf(out, "\n");
}

bool line_is_binary(std::string_view line) {
  for (char c : line)
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return true;
  return false;
}

EpdLineKind read_epd_text(std::string_view line, bool too_long, const EpdLineRules& rules, EpdLine& epd,
                          LineFault& fault) {
  // Not strchr: it would find a line's leading NUL byte at the end of the list.
  if (line.empty() || std::string_view(rules.passed_over).find(line[0]) != std::string_view::npos)
    return EpdLineKind::kPassedOver;
  if (too_long) fault = kTooLong;
  else if (line.size() < rules.shortest) return EpdLineKind::kPassedOver;
  else if (line_is_binary(line)) fault = kBinary;
  else if (!read_epd_line(line, epd)) fault = kMissingField;
  else return EpdLineKind::kPosition;
  return EpdLineKind::kFaulty;
}

bool EpdReader::next() {
  bool too_long;
  while (lines_read_ < rules_.max_lines && lines_.next(line_, too_long)) {
    ++lines_read_;
    LineFault fault;
    EpdLineKind kind = read_epd_text(line_, too_long, rules_, *epd_, fault);
    if (kind == EpdLineKind::kPosition) return true;
    if (kind == EpdLineKind::kFaulty) faults_.add(fault);
  }
  return false;
}

}  // namespace tools
