// Making and taking back moves, with every position field updated incrementally.
#pragma once

#include "position/position.h"
#include "position/zobrist.h"

namespace position {

// Applies a pseudo-legal move that move_is_legal accepted and pushes an undo record.
void make_move(Position& pos, Move move);
// Takes back the move of the top undo record.
void unmake_move(Position& pos);

// Passes the move to the other side (the search's null move): its undo record holds move
// 0, which also ends the repetition walk there.
void make_null_move(Position& pos);
void unmake_null_move(Position& pos);

inline void remove_piece(Position& pos, int square) {
  int code = pos.board[square];
  int colour = colour_of(code), type = type_of(code);
  pos.board[square] = 0;
  pos.material[colour] -= kMaterialWeight[type];
  pos.pieces[colour][0] &= ~bit(square);
  pos.pieces[colour][type] &= ~bit(square);
}

inline void place_piece(Position& pos, int colour, int type, int square) {
  pos.board[square] = static_cast<uint8_t>(piece_code(colour, type));
  if (type == kKing) pos.king_square[colour] = static_cast<uint8_t>(square);
  pos.material[colour] += kMaterialWeight[type];
  pos.pieces[colour][0] |= bit(square);
  pos.pieces[colour][type] |= bit(square);
}

inline void move_piece(Position& pos, int colour, int from, int to) {
  if (from == to) return;
  int code = pos.board[from];
  pos.board[to] = static_cast<uint8_t>(code);
  pos.board[from] = 0;
  Bitboard flip = bit(from) | bit(to);
  pos.pieces[colour][0] ^= flip;
  pos.pieces[colour][type_of(code)] ^= flip;
}

// Code 0 with a square toggles the en-passant key; code 0 with the rights the castling key.
inline void toggle_key(Position& pos, int code, int square) {
  uint64_t k = zobrist[code * 64 + square];
  pos.key ^= k;
  if (type_of(code) == kPawn) pos.pawn_key ^= k;
}

}  // namespace position
