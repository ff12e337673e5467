// The single static evaluation of the engine: elementary endgames by formula, a per-thread
// cache, the network or the hand-crafted evaluation, opposite-bishop scaling, contempt and
// optional noise. Centipawns from the side to move's view, always within -kEvalLimit ..
// kEvalLimit (eval/score.h).
#pragma once

#include "eval/state.h"

namespace position {
struct Position;
}

namespace eval {

// `side` is the side to move of `pos`; `ply` counts from the root (1), and the cache and
// the incremental paths answer only beyond ply 2.
int evaluate(const position::Position& pos, EvalState& state, const EvalContext& context, int side, int ply,
             int in_check);

}  // namespace eval
