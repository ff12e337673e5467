#include "position/perft.h"

#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"

namespace position {

uint64_t perft(Position& pos, int depth) {
  // In check, the stages generate only captures of the checker and moves onto the line
  // between it and the king (besides king moves); the legality test does the rest.
  int side = pos.side;
  int checker = least_valuable_attacker(pos, pos.king_square[side], side ^ 1, pos.occupancy());
  MoveEntry list[kMaxMoves];
  MoveEntry* end = generate_captures(pos, side, list, checker);
  end = generate_promotions(pos, side, 1, end);
  end = generate_pushes_to_seventh(pos, side, end);
  generate_quiets(pos, side, end, checker);

  uint64_t nodes = 0;
  for (const MoveEntry* entry = list; entry->move != kListEnd; ++entry) {
    if (!move_is_legal(pos, side, entry->move)) continue;
    if (depth <= 1) {
      ++nodes;
      continue;
    }
    make_move(pos, entry->move);
    nodes += perft(pos, depth - 1);
    unmake_move(pos);
  }
  return nodes;
}

}  // namespace position
