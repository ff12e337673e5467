// Basic chess encodings shared by every subsystem: squares, colours, pieces, moves.
#pragma once

#include <cstdint>

namespace position {

using Bitboard = uint64_t;
using Move = uint16_t;

// Squares run a1 = 0 .. h8 = 63; 64 means "no square".
constexpr int kNoSquare = 64;
constexpr int kWhite = 0;
constexpr int kBlack = 1;

enum PieceType : int { kNone = 0, kPawn = 1, kKnight = 2, kBishop = 3, kRook = 4, kQueen = 5, kKing = 6 };

// A piece code is type + 8 * colour: white 1..6, black 9..14, 0 = empty.
constexpr int piece_code(int colour, int type) { return type + 8 * colour; }
constexpr int type_of(int code) { return code & 7; }
constexpr int colour_of(int code) { return code >> 3; }

constexpr int file_of(int square) { return square & 7; }
constexpr int rank_of(int square) { return square >> 3; }
constexpr int make_square(int file, int rank) { return rank * 8 + file; }
constexpr Bitboard bit(int square) { return Bitboard{1} << square; }
// Rank counted from `colour`'s own side: 0 = its first rank, 7 = its last.
constexpr int relative_rank(int colour, int square) { return colour == kWhite ? rank_of(square) : 7 - rank_of(square); }

// Move layout: bits 0-5 to-square, 8-13 from-square, flags 0x0040, 0x0080, 0x4000, 0x8000.
constexpr Move kNoMove = 0;
constexpr Move kListEnd = 0xFFFF;
constexpr Move kFlagMask = 0xC0C0;
constexpr Move kFlagQueen = 0x0040;   // promotion to queen, or king-side castling
constexpr Move kFlagKnight = 0x0080;  // promotion to knight, or queen-side castling
constexpr Move kFlagBishop = 0x4000;
constexpr Move kFlagRook = 0x8000;
constexpr Move kFlagKingSide = 0x0040;
constexpr Move kFlagQueenSide = 0x0080;

constexpr int move_to(Move m) { return m & 63; }
constexpr int move_from(Move m) { return (m >> 8) & 63; }
constexpr Move make_move_code(int from, int to, Move flags = 0) {
  return static_cast<Move>((from << 8) | to | flags);
}

// The piece a promotion flag asks for; no flag (or the queen flag) means a queen.
constexpr int promotion_type(Move m) {
  switch (m & kFlagMask) {
    case kFlagKnight: return kKnight;
    case kFlagBishop: return kBishop;
    case kFlagRook: return kRook;
    default: return kQueen;
  }
}

// One element of a move list; a list ends with an entry whose move is kListEnd.
struct MoveEntry {
  Move move;
  int16_t score;
  uint8_t mover;
  uint8_t victim;
};

}  // namespace position
