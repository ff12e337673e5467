// Attack tables and the attack queries built on them. Sliders use ray tables with a
// first-blocker bit scan: no magic multiplication, no occupancy-indexed tables.
#pragma once

#include "position/types.h"

namespace position {

struct Position;

enum Direction : int { kNorth, kSouth, kEast, kWest, kNorthEast, kNorthWest, kSouthEast, kSouthWest };

extern Bitboard knight_attacks[64];
extern Bitboard king_attacks[64];
extern Bitboard pawn_attacks[2][64];
extern Bitboard ray[8][64];
extern Bitboard bishop_mask[64];
extern Bitboard rook_mask[64];
extern Bitboard between[64][64];

// Fills every table; called once at start-up before any position exists.
void init_tables();

inline int lsb(Bitboard b) { return __builtin_ctzll(b); }
inline int msb(Bitboard b) { return 63 - __builtin_clzll(b); }
inline int popcount(Bitboard b) { return __builtin_popcountll(b); }

// Index of the lowest set bit, which is cleared. Returns 0 for an empty board.
inline int pop_lsb(Bitboard& b) {
  if (b == 0) return 0;
  int square = lsb(b);
  b &= b - 1;
  return square;
}

// The part of ray `d` from `square` that lies up to and including the first blocker.
// An increasing direction without a blocker picks the h8 sentinel, whose ray is empty.
inline Bitboard blocked_ray_up(int d, int square, Bitboard occupancy) {
  return ray[d][square] ^ ray[d][lsb((ray[d][square] & occupancy) | bit(63))];
}
inline Bitboard blocked_ray_down(int d, int square, Bitboard occupancy) {
  return ray[d][square] ^ ray[d][msb((ray[d][square] & occupancy) | bit(0))];
}

inline Bitboard bishop_attacks(int square, Bitboard occupancy) {
  return blocked_ray_up(kNorthEast, square, occupancy) | blocked_ray_up(kNorthWest, square, occupancy) |
         blocked_ray_down(kSouthEast, square, occupancy) | blocked_ray_down(kSouthWest, square, occupancy);
}

inline Bitboard rook_attacks(int square, Bitboard occupancy) {
  return blocked_ray_up(kNorth, square, occupancy) | blocked_ray_up(kEast, square, occupancy) |
         blocked_ray_down(kSouth, square, occupancy) | blocked_ray_down(kWest, square, occupancy);
}

// 1 when a piece of `colour` attacks `square` in `pos`.
int square_attacked(const Position& pos, int square, int colour);

}  // namespace position
