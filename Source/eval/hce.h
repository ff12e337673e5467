// The hand-crafted evaluation: packed middlegame/endgame terms per colour, tapered by a
// material phase and scaled in drawish endings.
#pragma once

#include <cstdint>

#include "position/types.h"

namespace position {
struct Position;
}
namespace search {
struct SearchThread;
}

namespace eval {

constexpr int kPawnHashSize = 8192;

struct PawnHashEntry {
  uint64_t key;
  int32_t white_score;
  int32_t black_score;
};

// Side to move's view. Uses the ply stored by the last evaluate() call on the thread
// (thread.accumulator.ply) to decide whether the pawn hash may answer.
int hce_evaluate(search::SearchThread& thread);

// Pieces of `colour` that alone stand between their king and an enemy slider on its
// line, or between their (lowest-square) queen and an enemy bishop or rook.
position::Bitboard pinned_pieces(const position::Position& pos, int colour);

// The pawn-hash key: the position's pawn key, altered when a king stands on files a-d
// (the piece-square tables are read through a file mirror that depends on it).
uint64_t pawn_hash_key(const position::Position& pos);

}  // namespace eval
