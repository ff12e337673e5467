// King and pawn against king: every position's result, built once at start-up.
#pragma once

#include <cstdint>

namespace eval {

constexpr int kKpkSize = 262144;
constexpr uint8_t kKpkInvalid = 0, kKpkDraw = 1, kKpkWin = 2, kKpkUnknown = 4;

// Index: side (0 = pawn side to move, 1 = defender to move) * 131072 + 4096 * (file + 4 *
// rank of a pawn on files a-d, moving up) + 64 * strong king + weak king.
extern uint8_t kpk_table[kKpkSize];

void build_kpk_table();

}  // namespace eval
