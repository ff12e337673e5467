// Reading EPD lines: the four position fields, then operations "opcode operand;". Seven
// opcodes are kept, each in a text field of its own; the others are passed over. Also the
// tally of input lines a tool could not use, by fault, for its closing report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tools {

// The longest EPD line the training tools read, without its line end.
constexpr size_t kMaxEpdLine = 254;

enum EpdOpcode { kOpBm, kOpAm, kOpCe, kOpSc, kOpGr, kOpId, kOpC0, kEpdOpcodes };

struct EpdLine {
  // Placement, side, castling and en passant, joined by single blanks.
  char fen[kMaxEpdLine + 1];
  // Each kept operand with its blanks dropped (so several moves need commas between them),
  // empty when the opcode is absent.
  char operand[kEpdOpcodes][kMaxEpdLine + 1];
  bool present[kEpdOpcodes];
};

// Fills `epd` from `line`; false when the line lacks one of the four position fields.
// Numeric fields after them (move counters) are skipped; reading stops at the line end or
// at an operation without its ";".
bool read_epd_line(std::string_view line, EpdLine& epd);

// True when the four fields have the shape of a FEN's: eight ranks of eight squares of
// piece letters and digits, "w" or "b", "-" or castling letters (files for Chess960),
// "-" or a square. Whether the position can be played is set-up's question.
bool fen_fields_well_formed(const char* fen);

// Reads an operand as a whole integer (sign and digits only) within +-limit.
bool read_integer(const char* text, int limit, int& value);
// Reads an operand as a whole finite decimal number.
bool read_decimal(const char* text, double& value);

enum LineFault { kTooLong, kBinary, kMissingField, kBadFen, kBadValue, kLineFaults };

// Lines skipped for a fault, counted by fault.
struct LineFaults {
  uint64_t count[kLineFaults] = {};
  void add(LineFault fault) { ++count[fault]; }
  uint64_t total() const;
  // "skipped N bad lines: ..." with the non-zero counts, when there are any.
  void report(std::FILE* out) const;
};

// True for a line holding bytes that no text line has: NUL and other control characters
// besides tab.
bool line_is_binary(std::string_view line);

}  // namespace tools
