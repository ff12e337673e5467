#include "position/perft.h"

#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "search/movepick.h"

namespace position {

void perft(search::SearchThread& thread, int side, int ply, int depth) {
  Position& pos = thread.position;
  int checker = least_valuable_attacker(pos, pos.king_square[side], side ^ 1, pos.occupancy());
  search::start_picker(thread, search::kPickUnordered, kNoMove, checker);
  while (MoveEntry* entry = search::next_move(pos)) {
    if (!move_is_legal(pos, side, entry->move)) continue;
    if (depth <= 1) {
      ++thread.nodes;
      continue;
    }
    make_move(pos, entry->move);
    perft(thread, side ^ 1, ply + 1, depth - 1);
    unmake_move(pos);
  }
}

uint64_t perft_count(search::SearchThread& thread, int depth) {
  // Game moves made on this block raise its ply; perft counts its own plies from 1.
  int game_ply = thread.ply;
  search::reset_stack(thread);
  search::clear_history(thread);
  thread.nodes = 0;
  perft(thread, thread.position.side, thread.ply, depth);
  thread.ply = static_cast<int16_t>(game_ply);
  return thread.nodes;
}

}  // namespace position
