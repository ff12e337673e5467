#include "tablebase/tbindex.h"

namespace tablebase {

// Class of a square in the a1-d1-d4 triangle: b1 c1 d1 c2 d2 d3 are 0..5, the diagonal
// squares a1 b2 c3 d4 are 6..9; other squares carry the class of their reflection.
const int8_t Triangle[64] = {
    6, 0, 1, 2, 2, 1, 0, 6,  //
    0, 7, 3, 4, 4, 3, 7, 0,  //
    1, 3, 8, 5, 5, 8, 3, 1,  //
    2, 4, 5, 9, 9, 5, 4, 2,  //
    2, 4, 5, 9, 9, 5, 4, 2,  //
    1, 3, 8, 5, 5, 8, 3, 1,  //
    0, 7, 3, 4, 4, 3, 7, 0,  //
    6, 0, 1, 2, 2, 1, 0, 6};

// 0 on the a1-h8 diagonal, +1 above it (rank above file), -1 below.
const int8_t OffDiag[64] = {
    0,  -1, -1, -1, -1, -1, -1, -1,  //
    1,  0,  -1, -1, -1, -1, -1, -1,  //
    1,  1,  0,  -1, -1, -1, -1, -1,  //
    1,  1,  1,  0,  -1, -1, -1, -1,  //
    1,  1,  1,  1,  0,  -1, -1, -1,  //
    1,  1,  1,  1,  1,  0,  -1, -1,  //
    1,  1,  1,  1,  1,  1,  0,  -1,  //
    1,  1,  1,  1,  1,  1,  1,  0};

// Index of a square in the lower half (diagonal included); upper squares share the index
// of their reflection.
const int8_t Lower[64] = {
    28, 0,  1,  2,  3,  4,  5,  6,   //
    0,  29, 7,  8,  9,  10, 11, 12,  //
    1,  7,  30, 13, 14, 15, 16, 17,  //
    2,  8,  13, 31, 18, 19, 20, 21,  //
    3,  9,  14, 18, 32, 22, 23, 24,  //
    4,  10, 15, 19, 22, 33, 25, 26,  //
    5,  11, 16, 20, 23, 25, 34, 27,  //
    6,  12, 17, 21, 24, 26, 27, 35};

// Index of a square on the two long diagonals.
const int8_t Diag[64] = {
    0,  0,  0,  0,  0,  0,  0,  8,  //
    0,  1,  0,  0,  0,  0,  9,  0,  //
    0,  0,  2,  0,  0,  10, 0,  0,  //
    0,  0,  0,  3,  11, 0,  0,  0,  //
    0,  0,  0,  12, 4,  0,  0,  0,  //
    0,  0,  13, 0,  0,  5,  0,  0,  //
    0,  14, 0,  0,  0,  0,  6,  0,  //
    15, 0,  0,  0,  0,  0,  0,  7};

// The leading pawn's index: by file (row 0) and by rank (row 1).
const int8_t Flap[2][64] = {
    {0, 0,  0,  0,  0,  0,  0,  0,  //
     0, 6,  12, 18, 18, 12, 6,  0,  //
     1, 7,  13, 19, 19, 13, 7,  1,  //
     2, 8,  14, 20, 20, 14, 8,  2,  //
     3, 9,  15, 21, 21, 15, 9,  3,  //
     4, 10, 16, 22, 22, 16, 10, 4,  //
     5, 11, 17, 23, 23, 17, 11, 5,  //
     0, 0,  0,  0,  0,  0,  0,  0},
    {0,  0,  0,  0,  0,  0,  0,  0,   //
     0,  1,  2,  3,  3,  2,  1,  0,   //
     4,  5,  6,  7,  7,  6,  5,  4,   //
     8,  9,  10, 11, 11, 10, 9,  8,   //
     12, 13, 14, 15, 15, 14, 13, 12,  //
     16, 17, 18, 19, 19, 18, 17, 16,  //
     20, 21, 22, 23, 23, 22, 21, 20,  //
     0,  0,  0,  0,  0,  0,  0,  0}};

// The order of the other leading pawns.
const int8_t PawnTwist[2][64] = {
    {0,  0,  0,  0,  0,  0,  0,  0,   //
     47, 35, 23, 11, 10, 22, 34, 46,  //
     45, 33, 21, 9,  8,  20, 32, 44,  //
     43, 31, 19, 7,  6,  18, 30, 42,  //
     41, 29, 17, 5,  4,  16, 28, 40,  //
     39, 27, 15, 3,  2,  14, 26, 38,  //
     37, 25, 13, 1,  0,  12, 24, 36,  //
     0,  0,  0,  0,  0,  0,  0,  0},
    {0,  0,  0,  0,  0,  0,  0,  0,   //
     47, 45, 43, 41, 40, 42, 44, 46,  //
     39, 37, 35, 33, 32, 34, 36, 38,  //
     31, 29, 27, 25, 24, 26, 28, 30,  //
     23, 21, 19, 17, 16, 18, 20, 22,  //
     15, 13, 11, 9,  8,  10, 12, 14,  //
     7,  5,  3,  1,  0,  2,  4,  6,   //
     0,  0,  0,  0,  0,  0,  0,  0}};

const uint8_t FileToFile[8] = {0, 1, 2, 3, 3, 2, 1, 0};

uint64_t Binomial[7][64];
int16_t KKIdx[10][64];
uint64_t PawnIdx[2][6][24];
uint64_t PawnFactorFile[6][4];
uint64_t PawnFactorRank[6][6];

namespace {

bool kings_touch(int a, int b) {
  int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
  return df >= -1 && df <= 1 && dr >= -1 && dr <= 1;
}

// The representative square of each triangle class.
constexpr int kClassSquare[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};

void init_king_pairs() {
  int code = 0;
  for (int c = 0; c < 10; ++c) {
    int s1 = kClassSquare[c];
    bool diagonal = c >= 6;
    for (int s2 = 0; s2 < 64; ++s2) {
      KKIdx[c][s2] = -1;
      if (kings_touch(s1, s2)) continue;
      // With the first king on the diagonal the second is reflected below it; pairs on
      // the diagonal itself are numbered last.
      if (diagonal && OffDiag[s2] >= 0) continue;
      KKIdx[c][s2] = static_cast<int16_t>(code++);
    }
  }
  for (int c = 6; c < 10; ++c) {
    int s1 = kClassSquare[c];
    for (int s2 = 0; s2 < 64; ++s2)
      if (OffDiag[s2] == 0 && !kings_touch(s1, s2)) KKIdx[c][s2] = static_cast<int16_t>(code++);
  }
}

void init_pawn_tables() {
  for (int k = 0; k < 6; ++k) {
    uint64_t sum = 0;
    for (int j = 0; j < 24; ++j) {
      if (j % 6 == 0) sum = 0;
      PawnIdx[0][k][j] = sum;
      sum += Binomial[k][PawnTwist[0][(1 + j % 6) * 8 + j / 6]];
      if (j % 6 == 5) PawnFactorFile[k][j / 6] = sum;
    }
    for (int j = 0; j < 24; ++j) {
      if (j % 4 == 0) sum = 0;
      PawnIdx[1][k][j] = sum;
      sum += Binomial[k][PawnTwist[1][(1 + j / 4) * 8 + j % 4]];
      if (j % 4 == 3) PawnFactorRank[k][j / 4] = sum;
    }
  }
}

}  // namespace

void init_index_tables() {
  for (int k = 0; k < 7; ++k)
    for (int n = 0; n < 64; ++n) {
      uint64_t value = 1;
      if (k > n) {
        value = 0;
      } else {
        for (int i = 0; i < k; ++i) value = value * (n - i) / (i + 1);
      }
      Binomial[k][n] = value;
    }
  init_king_pairs();
  init_pawn_tables();
}

}  // namespace tablebase
