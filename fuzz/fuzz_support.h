// What the fuzz targets share: the engine started once per process as main() starts it,
// put back to the same state before every input (so that a crash reproduces from its
// input alone), and kept away from what is slow or unbounded by design (huge tables,
// deep searches, device files, the log file).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "base/output.h"
#include "base/settings.h"
#include "eval/kpk.h"
#include "eval/network.h"
#include "eval/params.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/movegen.h"
#include "position/notation.h"
#include "position/position.h"
#include "search/control.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "shell/console.h"
#include "shell/driver.h"
#include "shell/game.h"
#include "shell/game_line.h"
#include "shell/options.h"
#include "shell/search_limits.h"
#include "shell/uci.h"

namespace nesk_fuzz {

// Limits of the harness, not of the engine.
constexpr int kHashMb = 1;
constexpr int kMaxHashMb = 16;
constexpr int kMaxDepth = 3;
constexpr uint64_t kMaxNodes = 3000;
constexpr int kMaxSearchesPerInput = 3;
constexpr int kMaxPerftDepth = 2;
constexpr size_t kMaxLineLength = 4998;  // the input reader drops longer lines

// Reports a broken invariant the way a sanitizer reports its findings: loudly, then abort.
[[noreturn]] inline void fail(const char* what, const std::string& detail = "") {
  std::fprintf(stderr, "nesk fuzz invariant broken: %s %s\n", what, detail.c_str());
  std::abort();
}

// Entries of the harness's own table size, as the first allocation made it.
inline uint64_t& table_entries() {
  static uint64_t entries = 0;
  return entries;
}

inline void start_engine() {
  // Replies are not checked and would only slow the run down; NESK_FUZZ_VERBOSE=1 keeps
  // them, for looking at what a reproducer does.
  if (!std::getenv("NESK_FUZZ_VERBOSE")) {
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
  }
  search::main_thread = search::allocate_thread(0);
  if (!search::main_thread) std::abort();
  position::init_tables();
  eval::build_kpk_table();
  base::set_default_settings(base::settings);
  base::settings.hash_mb = kHashMb;
  search::set_default_control(search::control);
  if (!search::allocate_hash_table()) std::abort();
  table_entries() = search::tt_entry_count();
  base::settings_snapshot = base::settings;
  eval::register_eval_params();
  eval::load_embedded_params();
}

inline void unload_network() {
  std::free(eval::network.weights);
  uint32_t generation = eval::network.generation + 1;
  eval::network = eval::Network{};
  eval::network.generation = generation;
}

// The state of an engine just started: start position, default settings, empty table,
// no network, in the given protocol.
inline void reset_engine(int uci_mode) {
  base::settings.log = 0;
  base::close_log();
  base::set_default_settings(base::settings);
  base::settings.uci_mode = static_cast<uint8_t>(uci_mode);
  // The table is made again only when the last input changed its size.
  if (search::tt_entry_count() != table_entries()) {
    base::settings.hash_mb = kHashMb;
    if (!search::allocate_hash_table()) std::abort();
  }
  base::settings.hash_mb = kHashMb;
  search::set_default_control(search::control);
  search::clear_hash_table();
  // What the last input left in the thread blocks must not steer this one.
  for (search::SearchThread* block : {search::main_thread, search::thread_blocks[0]}) {
    if (!block) continue;
    std::memset(block->eval.cache, 0, sizeof block->eval.cache);
    std::memset(block->eval.pawn_hash, 0, sizeof block->eval.pawn_hash);
    block->random_state = 12345;
  }
  base::settings_snapshot = base::settings;
  shell::set_console_play(false, false);
  unload_network();
  position::set_position(shell::game_position(), position::kStartFen);
  shell::game().history.undo_index = 0;
  shell::end_game_line();
}

// Lines as the input reader cuts them: NUL, LF and CR end a line, empty lines are skipped
// and overlong ones dropped.
inline std::vector<std::string> split_lines(const uint8_t* data, size_t size) {
  std::vector<std::string> lines;
  std::string line;
  auto finish = [&] {
    if (!line.empty() && line.size() <= kMaxLineLength) lines.push_back(line);
    line.clear();
  };
  for (size_t i = 0; i < size; ++i) {
    char c = static_cast<char>(data[i]);
    if (c == 0 || c == '\n' || c == '\r') finish();
    else line += c;
  }
  finish();
  return lines;
}

// Paths to device and process files can block for ever or never end ("/dev/stdin",
// "/dev/zero"): a person may name them, a fuzzer should not.
inline bool names_device_file(const std::string& text) {
  return text.find("/dev/") != std::string::npos || text.find("/proc/") != std::string::npos ||
         text.find("/sys/") != std::string::npos;
}

// An option value the harness keeps away from the handler, or rewrites: the table size is
// capped (the handler allocates at once), the log file stays closed. Returns false to
// skip the option, or true with `value` possibly changed.
inline bool bounded_option(const std::string& name, std::string& value) {
  if (name == "Log") return false;
  if (names_device_file(value)) return false;
  if (name == "Hash" && std::atoll(value.c_str()) > kMaxHashMb) value = std::to_string(kMaxHashMb);
  return true;
}

// A file the harness writes for the engine to read; one per process and purpose.
inline std::string write_temp_file(const char* purpose, const uint8_t* data, size_t size) {
  std::string path = "/tmp/nesk_fuzz_" + std::to_string(getpid()) + "_" + purpose;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (size && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

// Runs the search the protocol asked for, on the caller's thread and within the harness's
// limits, then checks and reports its move as the driver would.
inline void run_requested_search(int& searches) {
  using search::control;
  base::EngineSettings& s = base::settings;
  uint16_t state = control.state;
  if (!(state & (search::kSearchRequested | search::kPonderRequested))) return;
  if (++searches > kMaxSearchesPerInput) {
    control.state = 0;
    return;
  }
  search::StandingLimits& standing = shell::kept_limits.standing;
  standing.depth = std::min(standing.depth, kMaxDepth);
  standing.nodes = std::min<uint64_t>(standing.nodes, kMaxNodes);
  s.threads = 1;
  s.limit_strength = 0;  // the throttle sleeps
  int mode = (state & search::kSearchRequested) ? search::kThinking : search::kPondering;
  position::Position& pos = shell::game_position();
  const search::Limits limits = shell::game_search_limits(pos.side, shell::game().history.undo_index);
  const search::Result found = shell::run_search(mode, pos, limits, 0);
  position::Move best = found.best_move, ponder = found.ponder_move;
  position::MoveEntry list[position::kMaxMoves];
  position::generate_all_moves(pos, list);
  // "go searchmoves" keeps only legal moves; without it every legal move may be chosen.
  auto allowed = [&](position::Move move) {
    if (!limits.search_moves[0]) return true;
    for (const position::Move* m = limits.search_moves; *m; ++m)
      if (*m == move) return true;
    return false;
  };
  bool any_allowed = false;
  for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e)
    any_allowed = any_allowed || (position::move_is_legal(pos, pos.side, e->move) && allowed(e->move));
  if (any_allowed && (!position::is_legal_move(pos, best) || !allowed(best))) {
    char fen[128];
    position::write_fen(pos, fen, 1);
    fail("the search returned a move it may not play in", fen);
  }
  char text[16];
  position::move_to_text(pos, pos.side, best, text, shell::move_style());
  if (ponder) position::move_to_text(pos, pos.side ^ 1, ponder, text, shell::move_style());
  control.state = 0;
  control.abort = 0;
  shell::set_console_play(false, false);
}

// After every line: a quit only ends the session.
inline void after_line() {
  base::settings.quit = 0;
  base::settings.log = 0;
}

}  // namespace nesk_fuzz
