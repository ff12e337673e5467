// The probing code's own small board: eight bitboards and the three fields a table lookup
// needs. Colour 1 is white throughout the tablebase code, as in the table files.
#pragma once

#include <cstdint>

namespace tablebase {

struct TBPosition {
  uint64_t white, black, kings, queens, rooks, bishops, knights, pawns;
  uint8_t rule50;
  uint8_t ep;    // en-passant target square, 0 when there is none
  uint8_t turn;  // 1 = white to move
};

// to bits 0-5, from bits 6-11, promotion bits 12-14 (0 none, 1 queen, 2 rook, 3 bishop, 4 knight).
using TBMove = uint16_t;

constexpr TBMove tb_move(int from, int to, int promotion = 0) {
  return static_cast<TBMove>(to | (from << 6) | (promotion << 12));
}
constexpr int tb_move_to(TBMove m) { return m & 63; }
constexpr int tb_move_from(TBMove m) { return (m >> 6) & 63; }
constexpr int tb_move_promotion(TBMove m) { return (m >> 12) & 7; }

// Room for every pseudo-legal move of a position the tables can hold.
constexpr int kMaxTBMoves = 256;

}  // namespace tablebase
