// Reading EPD lines: the four position fields, then operations "opcode operand;". Seven
// opcodes are kept, each in a text field of its own; the others are passed over. Also the
// tally of input lines a tool could not use, by fault, for its closing report, and the
// reader that every EPD tool takes its positions from.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "tools/text_lines.h"

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

// Which lines of a file a tool takes for positions. An empty line, one starting with a
// character of `passed_over` and one shorter than `shortest` hold no position and are
// passed over without a fault; one longer than `max_length` is a fault. At most
// `max_lines` lines are read.
struct EpdLineRules {
  size_t max_length = kMaxEpdLine;
  size_t shortest = 0;
  const char* passed_over = "#;";
  uint64_t max_lines = UINT64_MAX;
};

// The labelled positions the training tools read: comments and indented lines are no
// positions, nor is anything too short to hold a board and a label.
inline constexpr EpdLineRules kLabelledLines{kMaxEpdLine, 20, " \t#;"};

enum class EpdLineKind { kPosition, kPassedOver, kFaulty };

// Reads one line of a file (`too_long` as TextLines tells it) into `epd` under `rules`;
// `fault` says what is wrong with a kFaulty line.
EpdLineKind read_epd_text(std::string_view line, bool too_long, const EpdLineRules& rules, EpdLine& epd,
                          LineFault& fault);

// The positions of an EPD file, one line after another; the lines that hold none are
// passed over, and the faulty ones counted in faults().
class EpdReader {
 public:
  EpdReader(std::FILE* file, const EpdLineRules& rules)
      : lines_(file, rules.max_length), rules_(rules), epd_(std::make_unique<EpdLine>()) {}

  // The next line that reads as a position, in epd() and line(); false at the end of the
  // file or of the lines the rules allow.
  bool next();
  const EpdLine& epd() const { return *epd_; }
  std::string_view line() const { return line_; }
  LineFaults& faults() { return faults_; }
  uint64_t bytes_read() const { return lines_.bytes_read(); }

 private:
  TextLines lines_;
  EpdLineRules rules_;
  std::unique_ptr<EpdLine> epd_;
  std::string_view line_;
  LineFaults faults_;
  uint64_t lines_read_ = 0;
};

}  // namespace tools
