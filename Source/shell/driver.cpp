#include "shell/driver.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "book/probe.h"
#include "position/display.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/position.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "search/control.h"
#include "shell/game_line.h"
#include "shell/game.h"
#include "shell/input.h"
#include "shell/options.h"
#include "shell/search_limits.h"
#include "shell/search_report.h"
#include "shell/uci.h"
#include "base/output.h"
#include "base/settings.h"

namespace shell {

using namespace base;
using namespace search;

using namespace position;

namespace {

// Console flags: play the engine's move on the board; let the engine play both sides.
bool move_and_play = false;
bool self_play = false;

constexpr int kIdleWaitMs = 1000;

// The answer "bestmove" gives next: the last game search's, or a book move.
search::Result answer;
// The last search the shell ran, whatever it was for.
search::Result last_result;

void sleep_ms() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// A book move for the position, unless it would walk into a draw.
Move book_choice() {
  Position& pos = game_position();
  int moves = game().history.undo_index;
  if (control.state != kSearchRequested || !settings.own_book || moves >= 80) return kNoMove;
  Move move = kNoMove;
  if (moves < settings.book_depth) move = book::book_probe(pos, settings.book_file.c_str());
  if (!move && moves < settings.book2_depth) move = book::book_probe(pos, settings.book2_file.c_str());
  if (!move || !is_legal_move(pos, move)) return kNoMove;
  make_move(pos, move);
  bool drawn = is_draw(pos, 0);
  unmake_move(pos);
  return drawn ? kNoMove : move;
}

void answer_request() {
  Position& pos = game_position();
  if (is_draw(pos, 0)) {
    emit_line("info string Draw!");
    // A GUI waits for "bestmove" after every "go": in UCI mode search on, so it gets one.
    if (settings.uci_mode != 1) {
      control.state = 0;
      self_play = false;
      return;
    }
  }
  int mode = control.state == kSearchRequested ? kThinking : kPondering;
  if (Move move = book_choice()) {
    char text[16], line[64];
    move_to_text(pos, pos.side, move, text, move_style());
    std::snprintf(line, sizeof(line), "%s book move is %s", settings.uci_mode == 1 ? "info string" : "", text);
    emit_line(line);
    // No search ran: the answer costs nothing and has no score.
    answer = search::Result{};
    answer.best_move = move;
    control.state |= kResultReady;
    return;
  }
  clock_to_fixed_time(pos.side);
  answer = run_search(mode, pos, game_search_limits(pos.side, game().history.undo_index), 1);
  // A ponder search that ended by itself keeps its answer until "ponderhit" or "stop".
  while ((control.state & kPondering) && !(control.state & kStopRequested) && !settings.quit) {
    poll_input_while_searching();
    wait_for_input(kIdleWaitMs);
  }
}

void report_console_result(const search::Result& result, const char* best) {
  char line[256];
  double nodes = static_cast<double>(result.nodes);
  double elapsed = result.seconds;
  std::snprintf(line, sizeof(line), "move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", best,
                elapsed, result.score, nodes, nodes / (elapsed + 0.002) / 1000, result.branching_factor);
  emit_line(line);
  const search::SearchCounters& c = result.counters;
  double fill = search::hashfull_estimate() / 1000.0;
  std::snprintf(line, sizeof(line),
                "Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK", 100 * fill,
                100.0 * c.tt_hits / (c.tt_probes + 1), 100.0 * c.pawn_hits / (c.pawn_probes + 1),
                100.0 * c.eval_cache_hits / (c.eval_calls + 1), c.tb_hits / 1000.0);
  emit_line(line);
  emit_line("");
}

void report_result() {
  Position& pos = game_position();
  const search::Result& result = answer;
  Move best = result.best_move, ponder = result.ponder_move;
  control.state = 0;
  char best_text[16], ponder_text[16] = "";
  move_to_text(pos, pos.side, best, best_text, move_style());
  if (ponder) move_to_text(pos, pos.side ^ 1, ponder, ponder_text, move_style());
  if (settings.uci_mode == 0) {
    report_console_result(result, best_text);
  } else {
    if (result.seconds < 0.006f && kept_limits.clock[pos.side] > 1.0f) sleep_ms();
    char line[64], ponder_part[24] = "";
    if (ponder) std::snprintf(ponder_part, sizeof(ponder_part), " ponder %s", ponder_text);
    std::snprintf(line, sizeof(line), "bestmove %s%s", best_text, ponder_part);
    emit_line(line);
  }
  float& clock = kept_limits.clock[pos.side];
  clock += settings.increment - static_cast<float>(result.seconds);
  int n = settings.moves_per_control;
  if (n > 1 && game().history.undo_index % (2 * n) < 2) clock = settings.base_time;
  play_engine_move(best);
}

}  // namespace

search::Result run_search(int mode, const Position& root, const search::Limits& limits, int threaded) {
  last_result = search::think(mode, root, limits, protocol_reporter(), threaded);
  return last_result;
}

const search::Result& last_search() { return last_result; }

void play_engine_move(Move best) {
  if (!move_and_play && !self_play) return;
  if (best && play_game_move(best)) {
    display_board(game_position());
    if (self_play) control.state = kSearchRequested;
  } else {
    move_and_play = self_play = false;
  }
}

void set_console_play(bool play_move, bool play_both) {
  move_and_play = play_move;
  self_play = play_both;
}

void game_driver() {
  Position& pos = game_position();
  set_position(pos, kStartFen);
  if (settings.uci_mode == 0) display_board(pos);
  settings.quit = 0;
  control.abort = 0;
  control.state = 0;
  quit_at_end_of_input = true;
  while (!settings.quit) {
    if (control.state & (kSearchRequested | kPonderRequested)) answer_request();
    if (control.state & kResultReady) {
      report_result();
      run_deferred_command();
    }
    if (control.state < kSearchRequested) {
      poll_input();
      if (settings.quit) break;
      // Nothing to do until a command comes: sleep in the kernel rather than spin.
      if (control.state < kSearchRequested) wait_for_input(kIdleWaitMs);
    }
  }
}

}  // namespace shell
