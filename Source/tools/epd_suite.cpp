#include "tools/epd_suite.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/output.h"
#include "base/settings.h"
#include "position/display.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "search/control.h"
#include "search/thread.h"
#include "search/tt.h"
#include "tools/tool_files.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/tool_search.h"

namespace tools {

using base::emit_line;
using base::settings;
using namespace position;

namespace {

// Suites are read more leniently than training files: longer lines, and short ones
// (down to the four fields of a bare position) and tab-indented ones are positions too.
constexpr EpdLineRules kSuiteLines{510, 9, " #;"};
// Root moves within this of the best one count as good alternatives.
constexpr int kAlternativeMargin = 100;

bool is_separator(char c) { return c == ' ' || c == ',' || c == ';' || c == '"' || c == '\n'; }

// Reads one move of an operand; check, mate and comment marks are no part of the move.
// The move text of the suites and of the annotated output: what the settings ask for.
position::MoveStyle suite_move_style() { return {base::settings.chess960 != 0, base::settings.uci_mode != 0}; }

bool read_move(const Position& pos, std::string text, Move& move) {
  while (!text.empty() && (text.back() == '#' || text.back() == '!' || text.back() == '?')) text.pop_back();
  return !text.empty() && text_to_move(pos, text.c_str(), move, suite_move_style());
}

// Calls `visit` with each piece of `text` between separators.
template <typename Visit>
void for_each_word(const char* text, bool (*separator)(char), Visit visit) {
  const char* p = text;
  while (*p) {
    while (*p && separator(*p)) ++p;
    const char* start = p;
    while (*p && !separator(*p)) ++p;
    if (p > start) visit(std::string(start, p));
  }
}

bool is_key_separator(char c) { return c == ',' || c == ' ' || c == '"' || c == '\n'; }

struct Totals {
  int positions = 0;
  int correct = 0;
  double nodes = 0;
  double seconds = 0;
  double depth = 0;
  double branching = 0;
  int key_score = 0;
  int key_possible = 0;
};

__attribute__((format(printf, 1, 2))) void emit(const char* format, ...) {
  char line[640];
  va_list values;
  va_start(values, format);
  std::vsnprintf(line, sizeof line, format, values);
  va_end(values);
  emit_line(line);
}

// The positions after the root moves that score within kAlternativeMargin of the best.
void write_good_moves(Position& pos, OutputFile& lines) {
  const search::SearchThread* thread = search::thread_blocks[0];
  if (!thread) return;
  const MoveEntry* list = thread->move_lists[0];
  int best = list[0].score;
  char fen[128];
  for (int slot = 0; slot < settings.multipv && list[slot].move != kListEnd; ++slot) {
    if (list[slot].move == kNoMove || list[slot].score < best - kAlternativeMargin) continue;
    make_move(pos, list[slot].move);
    write_fen(pos, fen, 0);
    unmake_move(pos);
    lines.write(std::string(fen) + "\n");
  }
}

}  // namespace

bool answer_is_correct(const Position& pos, const EpdLine& epd, Move best) {
  if (epd.present[kOpBm]) {
    bool found = false;
    for_each_word(epd.operand[kOpBm], is_separator, [&](const std::string& word) {
      Move move;
      if (read_move(pos, word, move) && move == best) found = true;
    });
    return found;
  }
  Move avoid;
  return epd.present[kOpAm] && read_move(pos, epd.operand[kOpAm], avoid) && best != avoid;
}

MoveKeyScore move_key_score(const Position& pos, const char* c0, Move best) {
  MoveKeyScore result;
  if (!std::strchr(c0, '=')) return result;
  for_each_word(c0, is_key_separator, [&](const std::string& pair) {
    size_t equals = pair.find('=');
    if (equals == std::string::npos) return;
    int value = std::atoi(pair.c_str() + equals + 1);
    if (value > result.maximum) result.maximum = value;
    Move move;
    if (read_move(pos, pair.substr(0, equals), move) && move == best) result.score = value;
  });
  return result;
}

namespace {

void print_move(const Position& pos, const ToolSearchResult& r) {
  char coordinate[16], san[16] = "none", file_form[16], rank_form[16];
  if (r.best_move) san_forms(pos, r.best_move, coordinate, san, file_form, rank_form, suite_move_style());
  emit("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps", san, r.seconds, r.score,
       static_cast<double>(r.nodes), r.nodes / (r.seconds + 0.002) / 1000);
}

// The position with the move found and its score as operations.
void write_annotated(OutputFile& out, const EpdLine& epd, const ToolSearchResult& r) {
  if (!r.best_move) return;
  char annotated[kMaxEpdLine + 64];
  // The move as its squares alone: a promotion is written without its piece.
  std::snprintf(annotated, sizeof annotated, "%s bm %s%s; ce %d;\n", epd.fen, kSquareNames[move_from(r.best_move)],
                kSquareNames[move_to(r.best_move)], r.score);
  out.write(annotated, std::strlen(annotated));
}

// Searches the position set up from `epd` (its text `line`) and counts the search and
// its answer into `totals`; returns what the search found.
ToolSearchResult search_suite_position(Position& pos, const EpdLine& epd, std::string_view line,
                                       const search::Limits& limits, bool verbose, Totals& totals) {
  ++totals.positions;
  if (verbose) {
    emit("pos= %d %.*s", totals.positions, static_cast<int>(line.size()), line.data());
    display_board(pos);
  }
  if (search::control.tt_enabled) search::clear_hash_table();
  ToolSearchResult r = tool_search(pos, limits);
  totals.seconds += r.seconds;
  totals.nodes += static_cast<double>(r.nodes);
  totals.depth += r.depth;
  totals.branching += r.branching_factor;
  if (answer_is_correct(pos, epd, r.best_move)) ++totals.correct;
  if (epd.present[kOpC0]) {
    MoveKeyScore key = move_key_score(pos, epd.operand[kOpC0], r.best_move);
    totals.key_score += key.score;
    totals.key_possible += key.maximum;
  }
  if (verbose) print_move(pos, r);
  return r;
}

void print_totals(const Totals& totals) {
  double n = totals.positions ? totals.positions : 1;
  emit("%d / %d correct best moves", totals.correct, totals.positions);
  emit("total nodes= %0.0f", totals.nodes);
  emit("total time= %0.2f seconds", totals.seconds);
  emit("avg depth= %0.1f", totals.depth / n);
  emit("avg nodes= %0.1f", totals.nodes / n);
  emit("node_rate= %0.0f", totals.nodes / (totals.seconds + 0.001));
  emit("avg bf= %0.2f", totals.branching / n);
  emit("score= %d / %d", totals.key_score, totals.key_possible);
  emit_line("");
}

}  // namespace

int run_epd_suite(const ToolFiles& files, const std::string& usual_output, bool write_lines,
                  const search::StandingLimits& standing) {
  const std::string& input = files.input;
  InputFile file;
  OutputFile out, lines_out;
  if (!open_run_files(file, input, out, choose_output(files, usual_output))) return base::kToolFailed;
  if (write_lines && !lines_out.open(kSuiteLinesFile, Existing::kRefuse))
    return base::report_failure("%s", lines_out.failure().c_str());

  emit("Analyzing %s...", input.c_str());
  const search::Limits limits = prepare_tool_searches(standing, 4);
  bool verbose = !base::quiet();
  position::Game game;
  Position& pos = game.position;
  Totals totals;
  LineFaults faults;
  {
    EpdReader reader(file.get(), kSuiteLines);
    Progress progress("positions");
    while (!settings.quit && reader.next()) {
      progress.update(totals.positions, file.share(reader.bytes_read()));
      if (set_position(pos, reader.epd().fen) != 0) {
        reader.faults().add(kBadFen);
        continue;
      }
      ToolSearchResult r = search_suite_position(pos, reader.epd(), reader.line(), limits, verbose, totals);
      write_annotated(out, reader.epd(), r);
      if (write_lines) write_good_moves(pos, lines_out);
    }
    faults = reader.faults();
  }
  if (!file.finish_reading()) return base::kToolFailed;
  faults.report(stdout);
  print_totals(totals);
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  if (write_lines && !lines_out.commit()) return base::report_failure("%s", lines_out.failure().c_str());
  return base::kToolSucceeded;
}

}  // namespace tools
