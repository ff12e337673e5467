// Perft: counts the leaf nodes of the legal move tree, to test generation and make/unmake.
#pragma once

#include <cstdint>

#include "search/thread.h"

namespace position {

// Adds to thread.nodes the number of legal move paths of `depth` plies from the thread's
// position, where `side` is to move and `ply` is the thread's current ply.
void perft(search::SearchThread& thread, int side, int ply, int depth);

// Runs perft from the thread's position with a fresh counter and returns the count.
uint64_t perft_count(search::SearchThread& thread, int depth);

}  // namespace position
