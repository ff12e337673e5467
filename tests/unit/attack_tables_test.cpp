// Attack tables, slider queries, the between table and pop_lsb.
#include <gtest/gtest.h>

#include "position/bitboard.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::sq;
using nesk_test::squares;

class AttackTables : public testing::Test {
 protected:
  static void SetUpTestSuite() { nesk_test::board_game(); }
};

// Slider attacks by walking the board square by square: the reference the ray tables
// must agree with.
Bitboard walk(int square, Bitboard occupancy, const int (*steps)[2]) {
  Bitboard result = 0;
  for (int d = 0; d < 4; ++d) {
    int file = file_of(square) + steps[d][0], rank = rank_of(square) + steps[d][1];
    while (file >= 0 && file < 8 && rank >= 0 && rank < 8) {
      int s = make_square(file, rank);
      result |= bit(s);
      if (occupancy & bit(s)) break;
      file += steps[d][0];
      rank += steps[d][1];
    }
  }
  return result;
}
constexpr int kDiagonalSteps[4][2] = {{1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
constexpr int kStraightSteps[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};

TEST_F(AttackTables, SliderExamples) {
  EXPECT_EQ(rook_attacks(sq("a1"), squares({"a1", "a4", "d1"})), squares({"a2", "a3", "a4", "b1", "c1", "d1"}));
  EXPECT_EQ(popcount(bishop_attacks(sq("d4"), 0)), 13);
  Bitboard blocked = bishop_attacks(sq("d4"), squares({"f6"}));
  EXPECT_TRUE(blocked & bit(sq("f6")));
  EXPECT_FALSE(blocked & squares({"g7", "h8"}));
  EXPECT_EQ(popcount(blocked), 11);
  // Corners and edges: sliders whose rays run into the sentinel squares.
  EXPECT_EQ(rook_attacks(sq("h8"), 0), (0x8080808080808080ULL | 0xFF00000000000000ULL) & ~bit(63));
  EXPECT_EQ(bishop_attacks(sq("a1"), 0), squares({"b2", "c3", "d4", "e5", "f6", "g7", "h8"}));
  EXPECT_EQ(bishop_attacks(sq("h1"), squares({"e4"})), squares({"g2", "f3", "e4"}));
  EXPECT_EQ(rook_attacks(sq("e4"), squares({"e5", "e3", "d4", "f4"})), squares({"e5", "e3", "d4", "f4"}));
}

TEST_F(AttackTables, SlidersAgreeWithBoardWalkOnManyOccupancies) {
  uint64_t state = 0x9E3779B97F4A7C15ULL;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  for (int trial = 0; trial < 300; ++trial) {
    // Sparse and dense boards alike.
    Bitboard occupancy = next() & next();
    if (trial % 3 == 0) occupancy |= next();
    if (trial % 5 == 0) occupancy = 0;
    for (int s = 0; s < 64; ++s) {
      ASSERT_EQ(bishop_attacks(s, occupancy), walk(s, occupancy, kDiagonalSteps)) << "square " << s;
      ASSERT_EQ(rook_attacks(s, occupancy), walk(s, occupancy, kStraightSteps)) << "square " << s;
    }
  }
}

TEST_F(AttackTables, RaysAndMasks) {
  for (int d : {kNorth, kEast, kNorthEast, kNorthWest}) EXPECT_EQ(ray[d][63], 0u) << "direction " << d;
  for (int d : {kSouth, kWest, kSouthEast, kSouthWest}) EXPECT_EQ(ray[d][0], 0u) << "direction " << d;
  EXPECT_EQ(ray[kNorth][sq("a1")], 0x0101010101010100ULL);
  EXPECT_EQ(ray[kWest][sq("d5")], squares({"a5", "b5", "c5"}));
  EXPECT_EQ(ray[kSouthEast][sq("e4")], squares({"f3", "g2", "h1"}));
  EXPECT_EQ(ray[kNorthWest][sq("h1")], squares({"g2", "f3", "e4", "d5", "c6", "b7", "a8"}));
  for (int s = 0; s < 64; ++s) {
    EXPECT_EQ(bishop_mask[s], walk(s, 0, kDiagonalSteps));
    EXPECT_EQ(rook_mask[s], walk(s, 0, kStraightSteps));
    EXPECT_EQ(popcount(rook_mask[s]), 14);
  }
}

TEST_F(AttackTables, LeaperTables) {
  EXPECT_EQ(pawn_attacks[kWhite][sq("a2")], squares({"b3"}));
  EXPECT_EQ(pawn_attacks[kBlack][sq("h7")], squares({"g6"}));
  EXPECT_EQ(pawn_attacks[kWhite][sq("e4")], squares({"d5", "f5"}));
  EXPECT_EQ(pawn_attacks[kBlack][sq("e4")], squares({"d3", "f3"}));
  for (int file = 0; file < 8; ++file) {
    EXPECT_EQ(pawn_attacks[kWhite][make_square(file, 7)], 0u);
    EXPECT_EQ(pawn_attacks[kBlack][make_square(file, 0)], 0u);
  }
  EXPECT_EQ(knight_attacks[sq("a1")], squares({"b3", "c2"}));
  EXPECT_EQ(knight_attacks[sq("h8")], squares({"g6", "f7"}));
  EXPECT_EQ(knight_attacks[sq("g2")], squares({"e1", "e3", "f4", "h4"}));
  EXPECT_EQ(popcount(knight_attacks[sq("d4")]), 8);
  EXPECT_EQ(king_attacks[sq("a1")], squares({"a2", "b1", "b2"}));
  EXPECT_EQ(king_attacks[sq("h5")], squares({"g4", "h4", "g5", "g6", "h6"}));
  EXPECT_EQ(popcount(king_attacks[sq("e4")]), 8);
  // The leaper relations are symmetric: a knight on a attacks b exactly when one on b attacks a.
  for (int a = 0; a < 64; ++a)
    for (int b = 0; b < 64; ++b) {
      EXPECT_EQ(!!(knight_attacks[a] & bit(b)), !!(knight_attacks[b] & bit(a)));
      EXPECT_EQ(!!(king_attacks[a] & bit(b)), !!(king_attacks[b] & bit(a)));
      EXPECT_EQ(!!(pawn_attacks[kWhite][a] & bit(b)), !!(pawn_attacks[kBlack][b] & bit(a)));
    }
}

TEST_F(AttackTables, Between) {
  EXPECT_EQ(between[sq("a1")][sq("h8")], squares({"b2", "c3", "d4", "e5", "f6", "g7"}));
  EXPECT_EQ(between[sq("a1")][sq("b3")], 0u);
  EXPECT_EQ(between[sq("e4")][sq("e5")], 0u);
  EXPECT_EQ(between[sq("h1")][sq("a8")], squares({"g2", "f3", "e4", "d5", "c6", "b7"}));
  EXPECT_EQ(between[sq("a3")][sq("h3")], squares({"b3", "c3", "d3", "e3", "f3", "g3"}));
  EXPECT_EQ(between[sq("c7")][sq("c2")], squares({"c3", "c4", "c5", "c6"}));
  // Squares on no common line: a knight's jump, and a wrap across the board edge.
  EXPECT_EQ(between[sq("h2")][sq("a3")], 0u);
  EXPECT_EQ(between[sq("h1")][sq("a2")], 0u);
  for (int a = 0; a < 64; ++a) {
    EXPECT_EQ(between[a][a], 0u);
    for (int b = 0; b < 64; ++b) {
      ASSERT_EQ(between[a][b], between[b][a]) << a << " " << b;
      // Strictly between: what a slider on a sees of the empty board towards b, less b.
      Bitboard line = 0;
      if (rook_mask[a] & bit(b)) line = rook_attacks(a, bit(b)) & rook_attacks(b, bit(a));
      if (bishop_mask[a] & bit(b)) line = bishop_attacks(a, bit(b)) & bishop_attacks(b, bit(a));
      ASSERT_EQ(between[a][b], line) << a << " " << b;
    }
  }
}

TEST_F(AttackTables, PopLsbTakesSquaresLowestFirst) {
  Bitboard b = squares({"c1", "e4", "h8"});
  EXPECT_EQ(pop_lsb(b), sq("c1"));
  EXPECT_EQ(b, squares({"e4", "h8"}));
  EXPECT_EQ(pop_lsb(b), sq("e4"));
  EXPECT_EQ(pop_lsb(b), sq("h8"));
  EXPECT_EQ(b, 0u);
  Bitboard single = bit(0);
  EXPECT_EQ(pop_lsb(single), 0);
  EXPECT_EQ(single, 0u);
}

TEST_F(AttackTables, SquareAttacked) {
  // White: rook a1 (behind the own knight on a4 nothing is seen), bishop c1, pawn g2, knight a4.
  // Black: king h8, pawn d5.
  Position& pos = nesk_test::set_board("7k/8/8/3p4/N7/8/6P1/R1B1K3 w - -");
  EXPECT_TRUE(square_attacked(pos, sq("a3"), kWhite));   // rook up the file
  EXPECT_FALSE(square_attacked(pos, sq("a5"), kWhite));  // beyond the own knight on a4
  EXPECT_TRUE(square_attacked(pos, sq("b6"), kWhite));   // knight a4
  EXPECT_TRUE(square_attacked(pos, sq("h6"), kWhite));   // bishop c1 along c1-h6
  EXPECT_TRUE(square_attacked(pos, sq("f3"), kWhite));   // pawn g2
  EXPECT_FALSE(square_attacked(pos, sq("g3"), kWhite));  // a pawn does not attack ahead
  EXPECT_TRUE(square_attacked(pos, sq("d2"), kWhite));   // king e1 and bishop c1
  EXPECT_TRUE(square_attacked(pos, sq("e4"), kBlack));   // pawn d5
  EXPECT_FALSE(square_attacked(pos, sq("d4"), kBlack));
  EXPECT_TRUE(square_attacked(pos, sq("g7"), kBlack));   // king h8
}

}  // namespace
