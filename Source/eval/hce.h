// The hand-crafted evaluation: packed middlegame/endgame terms per colour, tapered by a
// material phase and scaled in drawish endings.
#pragma once

#include <cstdint>

#include "position/types.h"

namespace position {
struct Position;
}

namespace eval {

struct EvalState;

// Side to move's view. The pawn hash answers only from ply 2 on, so that the root and its
// children are always worked out afresh.
int hce_evaluate(const position::Position& pos, EvalState& state, int ply);

// Pieces of `colour` that alone stand between their king and an enemy slider on its
// line, or between their (lowest-square) queen and an enemy bishop or rook.
position::Bitboard pinned_pieces(const position::Position& pos, int colour);

// The pawn-hash key: the position's pawn key, altered when a king stands on files a-d
// (the piece-square tables are read through a file mirror that depends on it).
uint64_t pawn_hash_key(const position::Position& pos);

}  // namespace eval
