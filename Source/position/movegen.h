// Pseudo-legal move generation in four stages (captures, promotions, pushes onto the
// seventh rank, quiet moves with castling), each restrictable to check evasions by
// passing the checking piece's square. Legality is move_is_legal's business.
#pragma once

#include "position/position.h"

namespace position {

// Stages: each appends at `list`, closes the list with kListEnd and returns the end
// (the terminator's slot, where the next stage may continue). `checker` is a square or 64.
MoveEntry* generate_captures(const Position& pos, int side, MoveEntry* list, int checker);
MoveEntry* generate_promotions(const Position& pos, int side, int all_promotions, MoveEntry* list);
MoveEntry* generate_pushes_to_seventh(const Position& pos, int side, MoveEntry* list);
MoveEntry* generate_quiets(const Position& pos, int side, MoveEntry* list, int checker);

// Every pseudo-legal move of the side to move, into a list of the caller's (room for
// kMaxMoves entries). Returns the list start.
MoveEntry* generate_all_moves(const Position& pos, MoveEntry* list);

// Per-piece generators: append every move of `side`'s pieces of one type onto `target`
// squares and return the new end, without a terminator.
MoveEntry* generate_pawn_pushes(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list);
MoveEntry* generate_knight_moves(const Position& pos, int side, Bitboard target, MoveEntry* list);
MoveEntry* generate_bishop_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list);
MoveEntry* generate_rook_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list);
MoveEntry* generate_queen_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list);
MoveEntry* generate_king_moves(const Position& pos, int side, Bitboard target, MoveEntry* list);

}  // namespace position
