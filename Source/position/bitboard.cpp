#include "position/bitboard.h"

#include <cstdlib>

#include "position/position.h"

namespace position {

Bitboard knight_attacks[64];
Bitboard king_attacks[64];
Bitboard pawn_attacks[2][64];
Bitboard ray[8][64];
Bitboard bishop_mask[64];
Bitboard rook_mask[64];
Bitboard between[64][64];

namespace {

constexpr int kFileStep[8] = {0, 0, 1, -1, 1, -1, 1, -1};
constexpr int kRankStep[8] = {1, -1, 0, 0, 1, 1, -1, -1};

bool on_board(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

Bitboard offsets_from(int square, const int (*offsets)[2], int count) {
  Bitboard result = 0;
  for (int i = 0; i < count; ++i) {
    int file = file_of(square) + offsets[i][0];
    int rank = rank_of(square) + offsets[i][1];
    if (on_board(file, rank)) result |= bit(make_square(file, rank));
  }
  return result;
}

int sign(int x) { return (x > 0) - (x < 0); }

}  // namespace

void init_tables() {
  static constexpr int kKnight[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
  static constexpr int kKing[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
  static constexpr int kWhitePawn[2][2] = {{-1, 1}, {1, 1}};
  static constexpr int kBlackPawn[2][2] = {{-1, -1}, {1, -1}};

  for (int s = 0; s < 64; ++s) {
    knight_attacks[s] = offsets_from(s, kKnight, 8);
    king_attacks[s] = offsets_from(s, kKing, 8);
    pawn_attacks[kWhite][s] = offsets_from(s, kWhitePawn, 2);
    pawn_attacks[kBlack][s] = offsets_from(s, kBlackPawn, 2);
    for (int d = 0; d < 8; ++d) {
      Bitboard squares = 0;
      int file = file_of(s) + kFileStep[d];
      int rank = rank_of(s) + kRankStep[d];
      for (; on_board(file, rank); file += kFileStep[d], rank += kRankStep[d]) squares |= bit(make_square(file, rank));
      ray[d][s] = squares;
    }
    bishop_mask[s] = ray[kNorthEast][s] | ray[kNorthWest][s] | ray[kSouthEast][s] | ray[kSouthWest][s];
    rook_mask[s] = ray[kNorth][s] | ray[kSouth][s] | ray[kEast][s] | ray[kWest][s];
  }

  for (int a = 0; a < 64; ++a) {
    for (int b = 0; b < 64; ++b) {
      between[a][b] = 0;
      int file_diff = file_of(b) - file_of(a);
      int rank_diff = rank_of(b) - rank_of(a);
      bool aligned = file_diff == rank_diff || file_diff == -rank_diff || file_diff == 0 || rank_diff == 0;
      if (a == b || !aligned) continue;
      int step = sign(rank_diff) * 8 + sign(file_diff);
      for (int s = a + step; s != b; s += step) between[a][b] |= bit(s);
    }
  }
}

int square_attacked(const Position& pos, int square, int colour) {
  const Bitboard* own = pos.pieces[colour];
  if (pawn_attacks[colour ^ 1][square] & own[kPawn]) return 1;
  if (knight_attacks[square] & own[kKnight]) return 1;
  if (king_attacks[square] & own[kKing]) return 1;
  Bitboard occupancy = pos.pieces[kWhite][0] | pos.pieces[kBlack][0];
  if (bishop_attacks(square, occupancy) & (own[kBishop] | own[kQueen])) return 1;
  if (rook_attacks(square, occupancy) & (own[kRook] | own[kQueen])) return 1;
  return 0;
}

}  // namespace position
