// The table files' square encodings: the constant tables of the format and the ones built
// from them (binomials, king pairs, leading-pawn indexes and pawn factors).
#pragma once

#include <cstdint>

namespace tablebase {

extern const int8_t Triangle[64];
extern const int8_t OffDiag[64];
extern const int8_t Lower[64];
extern const int8_t Diag[64];
extern const int8_t Flap[2][64];
extern const int8_t PawnTwist[2][64];
extern const uint8_t FileToFile[8];

extern uint64_t Binomial[7][64];
extern int16_t KKIdx[10][64];
extern uint64_t PawnIdx[2][6][24];
extern uint64_t PawnFactorFile[6][4];
extern uint64_t PawnFactorRank[6][6];

// Builds the computed tables; safe to call more than once.
void init_index_tables();

constexpr int flip_diagonal(int square) { return ((square >> 3) | (square << 3)) & 63; }

}  // namespace tablebase
