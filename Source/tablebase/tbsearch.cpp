#include "tablebase/tbsearch.h"

#include "base/settings.h"
#include "position/bitboard.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbmoves.h"
#include "tablebase/tbprobe.h"

namespace tablebase {

using position::Position;

TBPosition to_tb_position(const Position& pos, int rule50) {
  using namespace position;
  TBPosition t{};
  t.white = pos.pieces[kWhite][0];
  t.black = pos.pieces[kBlack][0];
  t.kings = pos.pieces[kWhite][kKing] | pos.pieces[kBlack][kKing];
  t.queens = pos.pieces[kWhite][kQueen] | pos.pieces[kBlack][kQueen];
  t.rooks = pos.pieces[kWhite][kRook] | pos.pieces[kBlack][kRook];
  t.bishops = pos.pieces[kWhite][kBishop] | pos.pieces[kBlack][kBishop];
  t.knights = pos.pieces[kWhite][kKnight] | pos.pieces[kBlack][kKnight];
  t.pawns = pos.pieces[kWhite][kPawn] | pos.pieces[kBlack][kPawn];
  t.rule50 = static_cast<uint8_t>(rule50);
  t.ep = pos.ep_square == kNoSquare ? 0 : pos.ep_square;
  t.turn = pos.side == kWhite ? 1 : 0;
  return t;
}

bool deep_enough_to_probe(int men, int depth) {
  if (men >= 6 && depth < base::settings.syzygy_probe_depth) return false;
  return men < 7 || depth >= base::settings.syzygy_probe_depth7;
}

int tb_probe_search(const Position& pos, int depth) {
  if (pos.castle_rights) return -1;
  int men = position::popcount(pos.occupancy());
  if (men > TB_LARGEST || !deep_enough_to_probe(men, depth)) return -1;
  TBPosition t = to_tb_position(pos, 0);
  int success;
  int v = probe_wdl(t, &success);
  return success == 0 ? -1 : v + 2;
}

namespace {

position::Move to_engine_move(TBMove m) {
  constexpr position::Move kPromotion[5] = {0, position::kFlagQueen, position::kFlagRook, position::kFlagBishop,
                                            position::kFlagKnight};
  return position::make_move_code(tb_move_from(m), tb_move_to(m), kPromotion[tb_move_promotion(m)]);
}

}  // namespace

int tb_root_dtz(const Position& pos, position::Move& move) {
  move = position::kNoMove;
  if (pos.castle_rights || position::popcount(pos.occupancy()) > TB_LARGEST) return -1;
  TBPosition root = to_tb_position(pos, pos.rule50);
  int success;
  int d = probe_dtz(root, &success);
  if (success == 0) return -1;
  TBMove moves[kMaxTBMoves];
  TBMove* end = tb_gen_moves(root, moves);
  int value[kMaxTBMoves];
  bool legal[kMaxTBMoves];
  int draws = 0;
  int count = static_cast<int>(end - moves);
  TBPosition child;
  for (int i = 0; i < count; ++i) {
    legal[i] = tb_do_move(child, root, moves[i]);
    if (!legal[i]) continue;
    int v;
    if (d > 0 && is_mate(child)) {
      v = 1;
    } else if (child.rule50 != 0) {
      int c = probe_dtz(child, &success);
      if (success == 0) return -1;
      v = c == 0 ? 0 : c > 0 ? -c - 1 : 1 - c;
    } else {
      int w = probe_wdl(child, &success);
      if (success == 0) return -1;
      v = kWdlToDtz[2 - w];
    }
    value[i] = v;
    draws += v == 0;
  }
  int chosen = -1;
  if (d > 0) {
    for (int i = 0; i < count; ++i)
      if (legal[i] && value[i] >= 1 && (chosen < 0 || value[i] < value[chosen])) chosen = i;
  } else if (d == 0) {
    if (draws == 0) return -1;
    // The same drawing move every time for the same material and side to move.
    int k = static_cast<int>(material_key(root, root.turn == 0) % static_cast<uint64_t>(draws));
    for (int i = 0; i < count && chosen < 0; ++i)
      if (legal[i] && value[i] == 0 && k-- == 0) chosen = i;
  } else {
    for (int i = 0; i < count; ++i)
      if (legal[i] && value[i] < 0 && (chosen < 0 || value[i] < value[chosen])) chosen = i;
  }
  if (chosen < 0) return -1;
  move = to_engine_move(moves[chosen]);
  if (d > 0) return pos.rule50 + d < 101 ? 4 : 3;
  if (d == 0) return 2;
  return pos.rule50 - d >= 101 ? 1 : 0;
}

}  // namespace tablebase
