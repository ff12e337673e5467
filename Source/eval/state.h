// What the evaluation keeps per search thread, and what the search decides for it once
// per search. The search thread block embeds one EvalState and hands it, with the
// position and the context, to every evaluation; nothing here is shared between threads.
#pragma once

#include <cstdint>

#include "base/counter.h"
#include "eval/accumulator.h"

namespace eval {

constexpr int kEvalCacheSize = 8192;
constexpr int kPawnHashSize = 8192;

// A network or hand-crafted value before contempt and noise, which depend on the search.
struct EvalCacheEntry {
  uint64_t key;
  int16_t score;
};

struct PawnHashEntry {
  uint64_t key;
  int32_t white_score;
  int32_t black_score;
};

struct EvalState {
  Accumulator accumulator;
  EvalCacheEntry cache[kEvalCacheSize];
  PawnHashEntry pawn_hash[kPawnHashSize];
  base::Counter calls;
  base::Counter cache_hits;
  base::Counter pawn_probes;  // only the probes the pawn hash may answer
  base::Counter pawn_hits;
};

// Fixed for one search: whose side contempt favours, the evaluation noise, and which
// evaluation runs.
struct EvalContext {
  int root_side = 0;          // the side to move at the root
  bool apply_contempt = false;  // off in fixed searches and in the first moves of a game
  int contempt = 0;           // centipawns, as the Contempt option gives them
  int noise = 0;              // amplitude of the evaluation noise; 0 = none
  uint64_t noise_seed = 0;
  bool use_network = true;    // the network when one is loaded, else the hand-crafted one
};

}  // namespace eval
