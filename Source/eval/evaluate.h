// The single static evaluation of the engine: elementary endgames by formula, a per-thread
// cache, the network or the hand-crafted evaluation, opposite-bishop scaling, contempt and
// optional noise. Centipawns from the side to move's view, always within -3000 .. 3000.
#pragma once

#include <cstdint>

namespace search {
struct SearchThread;
}

namespace eval {

constexpr int kEvalCacheSize = 8192;

struct EvalCacheEntry {
  uint64_t key;
  int16_t score;
};

int evaluate(search::SearchThread& thread, int side, int ply, int in_check);

// What the running search sets for the evaluation: the side to move at the root and the
// seed of the evaluation noise.
extern int root_side;
extern uint64_t noise_seed;

}  // namespace eval
