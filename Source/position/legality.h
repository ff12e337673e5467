// Legality and check tests on pseudo-legal moves, answered without making the move.
#pragma once

#include "position/position.h"

namespace position {

// 1 when the pseudo-legal `move` of `side` does not leave its king attacked. Castling
// also needs every square the king stands on or crosses to be safe, judged with the
// castling rook off the board. Move 0 gives 0.
int move_is_legal(const Position& pos, int side, Move move);

// 1 when the move of `entry` (by `side`) gives check, directly or by discovery.
int gives_check(const Position& pos, int side, const MoveEntry& entry);

// Pieces of `colour` among `own` (a copy of its bitboards) that attack `square` with
// `occupancy` as the occupied squares.
Bitboard attackers_of(const Bitboard own[8], int colour, int square, Bitboard occupancy);

// 1 when `move` is one of the legal moves of the side to move, in the form the move
// generator gives it (castling by its king destination and flag). Checks input from
// outside the engine before it is made.
int is_legal_move(const Position& pos, Move move);

}  // namespace position
