// Starting and ending a search: iterative deepening with aspiration windows on the main
// search thread and on helper threads that share the table, the published result and the
// info lines.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "position/types.h"
#include "search/limits.h"
#include "search/report.h"

namespace search {

// The counters of a search, summed over the threads that completed iteration 2 and the
// main thread.
struct SearchCounters {
  uint64_t nodes;
  uint64_t eval_calls;
  uint64_t eval_cache_hits;
  uint64_t tt_probes;
  uint64_t tt_hits;
  uint64_t pawn_probes;
  uint64_t pawn_hits;
  uint64_t tb_hits;
};

// What a search found, and what it cost.
struct Result {
  position::Move best_move = position::kNoMove;
  position::Move ponder_move = position::kNoMove;
  int score = 0;
  int depth = 0;
  uint64_t nodes = 0;
  double seconds = 0;
  // The fourth root of the node growth over the last four iterations; 2 when too shallow
  // to tell.
  double branching_factor = 2.0;
  SearchCounters counters{};
  // The principal variation, ending with kNoMove, from the position whose key is pv_key.
  position::Move pv[position::kMaxPly] = {};
  uint64_t pv_key = 0;
  // Score of the root quiescence search (see root_qscore).
  int root_qscore = 0;
};

// Runs a whole search from `root` within `limits`, reporting to `reporter`. Each search
// thread starts from its own copy of `root` and of the history it carries (the repetition
// test looks back into the game), so the caller's position is never moved on. `mode` is
// the state to search in (thinking, pondering or a fixed search); with `threaded` the
// search runs on its own threads while the caller supervises the clock and polls the
// reporter every millisecond until a stop is requested; else it runs on the caller's
// thread.
Result think(int mode, const position::Position& root, const Limits& limits, Reporter& reporter, int threaded);

// The per-thread deepening.
void iterate(int thread_number);

// Score of the root quiescence search of the last search.
extern int root_qscore;

// Totals over the search threads: nodes and the statistics of the last search.
uint64_t total_nodes();

}  // namespace search
