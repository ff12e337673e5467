#include "eval/kpk.h"

#include <cstdlib>

#include "position/bitboard.h"

namespace eval {

uint8_t kpk_table[kKpkSize];

namespace {

using position::file_of;
using position::king_attacks;
using position::rank_of;

constexpr int kDefenderToMove = 131072;

int index_of(int side, int pawn, int strong, int weak) {
  return side * kDefenderToMove + 4096 * (file_of(pawn) + 4 * rank_of(pawn)) + 64 * strong + weak;
}

bool adjacent(int a, int b) {
  return std::abs(file_of(a) - file_of(b)) < 2 && std::abs(rank_of(a) - rank_of(b)) < 2;
}

template <typename Visit>
void for_each_pawn_square(int first, int last, Visit visit) {
  for (int pawn = first; pawn <= last; ++pawn)
    if (file_of(pawn) < 4) visit(pawn);
}

void set_terminal_entries() {
  for_each_pawn_square(0, 63, [](int pawn) {
    for (int strong = 0; strong < 64; ++strong) {
      for (int weak = 0; weak < 64; ++weak) {
        uint8_t& attacker = kpk_table[index_of(0, pawn, strong, weak)];
        uint8_t& defender = kpk_table[index_of(1, pawn, strong, weak)];
        attacker = defender = kKpkUnknown;
        if (strong == weak || pawn == strong || pawn == weak || adjacent(strong, weak)) {
          attacker = defender = kKpkInvalid;
        } else if (weak == pawn + 9 || (file_of(pawn) > 0 && weak == pawn + 7)) {
          attacker = kKpkInvalid;  // the defending king would stand in check
        } else if (rank_of(pawn) == 7) {
          attacker = kKpkWin;
          if (!(adjacent(weak, pawn) && !adjacent(strong, pawn))) defender = kKpkWin;
        }
      }
    }
  });
}

uint8_t attacker_result(int pawn, int strong, int weak) {
  uint8_t r = kpk_table[index_of(1, pawn + 8, strong, weak)];
  if (rank_of(pawn) == 1 && r) r |= kpk_table[index_of(1, pawn + 16, strong, weak)];
  for (position::Bitboard steps = king_attacks[strong]; steps;)
    r |= kpk_table[index_of(1, pawn, position::pop_lsb(steps), weak)];
  if (r & kKpkWin) return kKpkWin;
  if (r & kKpkUnknown) return kKpkUnknown;
  return kKpkDraw;
}

uint8_t defender_result(int pawn, int strong, int weak) {
  uint8_t r = 0;
  for (position::Bitboard steps = king_attacks[weak]; steps;) {
    int step = position::pop_lsb(steps);
    r |= kpk_table[index_of(0, pawn, strong, step)];
    if (step == pawn && !adjacent(strong, pawn)) r |= kKpkDraw;
  }
  if (r & kKpkDraw) return kKpkDraw;
  if (r & kKpkUnknown) return kKpkUnknown;
  return (r & kKpkWin) ? kKpkWin : kKpkDraw;  // no move at all is stalemate
}

bool sweep() {
  bool changed = false;
  for (int side = 0; side < 2; ++side) {
    for_each_pawn_square(8, 55, [&](int pawn) {
      for (int strong = 0; strong < 64; ++strong) {
        for (int weak = 0; weak < 64; ++weak) {
          uint8_t& entry = kpk_table[index_of(side, pawn, strong, weak)];
          if (entry != kKpkUnknown) continue;
          entry = side == 0 ? attacker_result(pawn, strong, weak) : defender_result(pawn, strong, weak);
          changed |= entry != kKpkUnknown;
        }
      }
    });
  }
  return changed;
}

}  // namespace

void build_kpk_table() {
  set_terminal_entries();
  while (sweep()) {
  }
  for (int side = 0; side < 2; ++side) {
    for_each_pawn_square(8, 55, [side](int pawn) {
      for (int strong = 0; strong < 64; ++strong)
        for (int weak = 0; weak < 64; ++weak) {
          uint8_t& entry = kpk_table[index_of(side, pawn, strong, weak)];
          if (entry != kKpkWin) entry = kKpkDraw;
        }
    });
  }
}

}  // namespace eval
