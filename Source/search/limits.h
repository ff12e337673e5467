// What one search may spend. The shell makes a fresh record for every search, from the
// "go" it was given and from the limits it keeps between searches (the command line's
// -d, -n, -md and -mn, the console's level and clocks); the search decides when to stop
// from this record alone.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace search {

constexpr int kUnlimitedDepth = 80;
constexpr uint64_t kNoNodeLimit = 1000000000000000ULL;
// The moves a clock without a move count is shared over.
constexpr int kMovesForWholeGame = 28;

struct Limits {
  // Iterations to run; below 1 the answer is the root's quiescence search.
  int depth = kUnlimitedDepth;
  // The main thread's node count that ends the search.
  uint64_t nodes = kNoNodeLimit;
  // Below this many nodes (-mn) neither `nodes` nor `node_depth_cap` ends the search.
  uint64_t min_nodes = kNoNodeLimit;
  // Past `min_nodes`, the iteration depth that ends the search (-md).
  int node_depth_cap = kUnlimitedDepth;
  // A fixed time for this move (`move_time` seconds), or else a share of the clock.
  bool fixed_time = true;
  float move_time = 5.0f;
  // The clock of the side to move and its increment, in seconds.
  float time_left = 5.0f;
  float increment = 0.0f;
  // The moves `time_left` must last, this one included.
  int moves_to_go = kMovesForWholeGame;
  // The root moves "go searchmoves" allows, ending with 0; empty means all.
  position::Move search_moves[position::kMaxMoves] = {};
};

// The depth and node limits that stand from one search to the next (the command line's -d,
// -n, -md and -mn, then what the console and UCI "go" leave behind). The shell keeps them
// and hands them to the tools; every search starts from a copy of them.
struct StandingLimits {
  int depth = kUnlimitedDepth;
  uint64_t nodes = kNoNodeLimit;
  uint64_t min_nodes = kNoNodeLimit;
  int node_depth_cap = kUnlimitedDepth;

  bool operator==(const StandingLimits&) const = default;

  // A search's limits: these, and the defaults for the rest.
  Limits search_limits() const {
    Limits limits;
    limits.depth = depth;
    limits.nodes = nodes;
    limits.min_nodes = min_nodes;
    limits.node_depth_cap = node_depth_cap;
    return limits;
  }
};

}  // namespace search
