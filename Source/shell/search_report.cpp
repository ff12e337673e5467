#include "shell/search_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/output.h"
#include "base/settings.h"
#include "position/notation.h"
#include "search/alphabeta.h"
#include "shell/input.h"
#include "shell/options.h"

namespace shell {

using namespace position;
using base::emit_line;
using base::settings;

namespace {

void score_text(int score, char* text, int size) {
  if (score > 9899) std::snprintf(text, size, "mate %d", (search::kMateScore - score) / 2);
  else if (score < -9900) std::snprintf(text, size, "mate -%d", (score + search::kMateScore) / 2);
  else std::snprintf(text, size, "cp %d", score);
}

// Coordinate text of a variation (at most `limit` moves) from `root`.
void variation_text(const Position& root, const Move* pv, int limit, char* text, int size) {
  text[0] = 0;
  int used = 0;
  for (int i = 0; i < limit && pv[i] && used < size - 12; ++i) {
    char move[16];
    move_to_text(root, root.side ^ (i & 1), pv[i], move, move_style());
    used += std::snprintf(text + used, size - used, i ? " %s" : "%s", move);
  }
}

void uci_iteration(const search::IterationReport& r) {
  // Whole milliseconds, as the line shows them, and never a rate of 0 for a fast answer.
  double milliseconds = std::max(std::floor(r.seconds * 1000 + 0.5), 1.0);
  double nodes = static_cast<double>(r.nodes);
  double nps = std::floor(nodes * 1000 / milliseconds);
  char moves[81 * 8];
  char line[81 * 8 + 256];
  char score_part[24];
  variation_text(*r.root, r.pv, 80, moves, sizeof(moves));
  score_text(r.score, score_part, sizeof(score_part));
  char prefix[24] = "";
  if (settings.multipv > 1) std::snprintf(prefix, sizeof(prefix), "multipv %d ", r.line);
  std::snprintf(line, sizeof(line),
                "info %sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %d pv %s",
                prefix, r.depth, r.seldepth, score_part, milliseconds, nodes, nps, static_cast<double>(r.tb_hits),
                r.hashfull, moves);
  emit_line(line);
}

// More of the variation once the search ends: the line then stays on the screen.
void console_iteration(const search::IterationReport& r) {
  const Position& root = *r.root;
  int limit = r.stopped ? 32 : 8;
  std::string text;
  char move_text[16];
  for (int i = 0; i < limit && r.pv[i]; ++i) {
    if (i && i % 8 == 0) text += "\n                              ";
    else if (i) text += ' ';
    move_to_text(root, root.side ^ (i & 1), r.pv[i], move_text, move_style());
    text += move_text;
  }
  char line[81 * 8 + 256];
  std::snprintf(line, sizeof(line), "%02d] %02d%c %5.1f %7.0fK %5d  %s", r.thread_number, r.depth,
                r.line > 0 ? '.' : ' ', r.seconds, static_cast<double>(r.nodes) / 1000, r.score, text.c_str());
  emit_line(line);
}

}  // namespace

void ProtocolReporter::started(const Position& root, float time_left, float target_time) {
  if (settings.uci_mode != 0 && !settings.log) return;
  char fen[128], line[200];
  write_fen(root, fen, 0);
  std::snprintf(line, sizeof(line), "info string fen %s", fen);
  emit_line(line);
  std::snprintf(line, sizeof(line), "info string clock= %0.2f, target_time= %0.3f", time_left, target_time);
  emit_line(line);
}

void ProtocolReporter::iteration(const search::IterationReport& report) {
  if (settings.uci_mode == 1) uci_iteration(report);
  else console_iteration(report);
}

void ProtocolReporter::progress(const search::ProgressReport& r) {
  if (settings.uci_mode != 1) return;
  char line[160];
  double nodes = static_cast<double>(r.nodes);
  std::snprintf(line, sizeof(line), "info depth %d time %.0f nodes %.0f nps %.0f hashfull %d", r.depth,
                r.seconds * 1000.0, nodes, nodes / (r.seconds + 0.002), r.hashfull);
  emit_line(line);
}

void ProtocolReporter::note(const char* text) {
  char line[640];
  std::snprintf(line, sizeof(line), "info string %s", text);
  emit_line(line);
}

void ProtocolReporter::poll() {
  if (takes_input_) poll_input_while_searching();
}

search::Reporter& protocol_reporter() {
  static ProtocolReporter reporter(true);
  return reporter;
}

search::Reporter& batch_reporter() {
  static ProtocolReporter reporter(false);
  return reporter;
}

}  // namespace shell
