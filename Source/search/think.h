// Starting and ending a search: iterative deepening with aspiration windows on the main
// search thread and on helper threads that share the table, the published result and the
// info lines.
#pragma once

#include <cstdint>

#include "position/types.h"
#include "search/limits.h"
#include "search/report.h"

namespace search {

// Runs a whole search from the main position within `limits`, reporting to `reporter`.
// `mode` is the state to search in (thinking, pondering or a fixed search); with
// `threaded` the search runs on its own threads while the caller supervises the clock and
// polls the reporter every millisecond until a stop is requested; else it runs on the
// caller's thread.
void think(int mode, const Limits& limits, Reporter& reporter, int threaded);

// The per-thread deepening.
void iterate(int thread_number);

// Score of the root quiescence search of the last search.
extern int root_qscore;

// Totals over the search threads: nodes and the statistics of the last search.
uint64_t total_nodes();

}  // namespace search
