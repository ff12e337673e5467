#include "tablebase/tbprobe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "position/bitboard.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbindex.h"
#include "tablebase/tbmoves.h"
#include "tablebase/tbtable.h"

namespace tablebase {

namespace {

// Invariants of this code, never of file contents: a failure is a programming error.
void check(bool condition, const char* text, int line) {
  if (condition) return;
  std::fprintf(stderr, "Assertion failed: %s, file Source/tablebase/tbprobe.cpp, line %d\n", text, line);
  std::abort();
}
#define TB_CHECK(condition) check((condition), #condition, __LINE__)

constexpr int kWdlToMap[5] = {1, 3, 0, 2, 0};
constexpr uint8_t kPaFlags[5] = {8, 0, 0, 0, 4};

uint64_t type_board(const TBPosition& pos, int type) {
  switch (type) {
    case 1: return pos.pawns;
    case 2: return pos.knights;
    case 3: return pos.bishops;
    case 4: return pos.rooks;
    case 5: return pos.queens;
    default: return pos.kings;
  }
}

// The squares of the stored pieces `from`..n-1 in the record's order: stored white pieces
// are the position's black ones when the colours are flipped, and then every square is
// mirrored top to bottom.
bool collect_squares(const TBPosition& pos, const DecodeRecord& record, int from, int n, bool flip, int* squares) {
  int mirror = flip ? 56 : 0;
  for (int i = from; i < n;) {
    int code = record.pieces[i];
    int type = code & 7;
    TB_CHECK(1 <= type && type <= 6);
    bool stored_black = code >> 3;
    uint64_t b = type_board(pos, type) & ((stored_black != flip) ? pos.black : pos.white);
    if (!b) return false;
    while (b && i < n) squares[i++] = position::pop_lsb(b) ^ mirror;
    if (b) return false;
  }
  return true;
}

// Groups hold at most seven squares: insertion sort is all they need.
template <typename Before>
void sort_squares(int* first, int* last, Before before) {
  for (int* i = first + 1; i < last; ++i)
    for (int* j = i; j > first && before(*j, *(j - 1)); --j) std::swap(*j, *(j - 1));
}
void sort_squares(int* first, int* last) {
  sort_squares(first, last, [](int x, int y) { return x < y; });
}

// Rank of one group's squares (sorted here) among the combinations of the squares that
// earlier groups left free; `offset` is subtracted first (8 for pawns, which never stand on
// the first rank).
uint64_t combination_index(int* squares, int start, int count, int offset) {
  sort_squares(squares + start, squares + start + count);
  uint64_t s = 0;
  for (int m = start; m < start + count; ++m) {
    int below = 0;
    for (int l = 0; l < start; ++l) below += squares[l] < squares[m];
    s += Binomial[m - start + 1][squares[m] - offset - below];
  }
  return s;
}

// Index of the groups from `start` on, each a combination of the squares left free.
uint64_t group_index(const DecodeRecord& record, int* squares, int start, int n) {
  uint64_t index = 0;
  for (int i = start; i < n; i += record.norm[i]) index += combination_index(squares, i, record.norm[i], 0) * record.factor[i];
  return index;
}

uint64_t piece_index(const TableEntry& entry, const DecodeRecord& record, int* squares) {
  int n = entry.pieces;
  if (squares[0] & 4)
    for (int i = 0; i < n; ++i) squares[i] ^= 7;
  if (squares[0] & 32)
    for (int i = 0; i < n; ++i) squares[i] ^= 56;
  int lead = entry.kk_enc ? 2 : 3;
  int i = 0;
  while (i < lead && OffDiag[squares[i]] == 0) ++i;
  if (i < lead && OffDiag[squares[i]] > 0)
    for (int j = 0; j < n; ++j) squares[j] = flip_diagonal(squares[j]);
  uint64_t index;
  if (entry.kk_enc) {
    index = static_cast<uint64_t>(KKIdx[Triangle[squares[0]]][squares[1]]);
  } else {
    int s0 = squares[0], s1 = squares[1], s2 = squares[2];
    int a = s1 > s0;
    int b = (s2 > s0) + (s2 > s1);
    if (OffDiag[s0])
      index = Triangle[s0] * 3906 + (s1 - a) * 62 + (s2 - b);
    else if (OffDiag[s1])
      index = 23436 + Diag[s0] * 1736 + Lower[s1] * 62 + s2 - b;
    else if (OffDiag[s2])
      index = 30380 + Diag[s0] * 196 + (Diag[s1] - a) * 28 + Lower[s2];
    else
      index = 31164 + Diag[s0] * 42 + (Diag[s1] - a) * 6 + (Diag[s2] - b);
  }
  index *= record.factor[0];
  return index + group_index(record, squares, lead, n);
}

uint64_t pawn_index(const TableEntry& entry, const DecodeRecord& record, int* squares) {
  int n = entry.pieces;
  int k = entry.pawns[0];
  if (squares[0] & 4)
    for (int i = 0; i < n; ++i) squares[i] ^= 7;
  sort_squares(squares + 1, squares + k, [](int x, int y) { return PawnTwist[0][x] > PawnTwist[0][y]; });
  uint64_t index = PawnIdx[0][k - 1][Flap[0][squares[0]]];
  for (int i = 1; i < k; ++i) index += Binomial[k - i][PawnTwist[0][squares[i]]];
  index *= record.factor[0];
  int next = k;
  if (entry.pawns[1]) {
    index += combination_index(squares, k, record.norm[k], 8) * record.factor[k];
    next += record.norm[k];
  }
  return index + group_index(record, squares, next, n);
}

}  // namespace

uint64_t material_key(const TBPosition& pos, bool flipped) {
  uint8_t counts[2][8] = {};
  for (int type = 1; type <= 5; ++type) {
    counts[0][type] = static_cast<uint8_t>(position::popcount(type_board(pos, type) & pos.white));
    counts[1][type] = static_cast<uint8_t>(position::popcount(type_board(pos, type) & pos.black));
  }
  return tablebase::material_key(counts, flipped);
}

int probe_table(const TBPosition& pos, int wdl, int* success, int kind) {
  uint64_t key = material_key(pos, false);
  if (kind == kWdl && key == 0) return 0;  // bare kings
  TableEntry* entry = tb_find(key);
  if (!entry || (kind == kDtz && !entry->has_dtz) || !tb_map_table(*entry, kind)) {
    *success = 0;
    return 0;
  }
  bool flip, black_side;
  if (entry->symmetric) {
    flip = pos.turn == 0;
    black_side = false;
  } else {
    flip = key != entry->key;
    black_side = (pos.turn == 1) == flip;
  }
  int n = entry->pieces;
  int squares[8] = {};
  int file = 0;
  if (entry->has_pawns) {
    // The leading pawns pick the file whose records encode the position.
    const DecodeRecord& first = entry->wdl[0][0].present ? entry->wdl[0][0] : entry->dtz[0];
    if (!collect_squares(pos, first, 0, entry->pawns[0], flip, squares)) {
      *success = 0;
      return 0;
    }
    for (int i = 1; i < entry->pawns[0]; ++i)
      if (Flap[0][squares[0]] > Flap[0][squares[i]]) std::swap(squares[0], squares[i]);
    file = FileToFile[squares[0] & 7];
  }
  const DecodeRecord* record;
  if (kind == kDtz) {
    const DtzMaps& maps = entry->dtz_maps[file];
    if ((maps.flags & 1) != static_cast<int>(black_side) && !entry->symmetric) {
      *success = -1;
      return 0;
    }
    record = &entry->dtz[file];
  } else {
    record = &entry->wdl[file][black_side ? 1 : 0];
  }
  if (!record->present ||
      !collect_squares(pos, *record, entry->has_pawns ? entry->pawns[0] : 0, n, flip, squares)) {
    *success = 0;
    return 0;
  }
  uint64_t index = entry->has_pawns ? pawn_index(*entry, *record, squares) : piece_index(*entry, *record, squares);
  int value = decode_value(*record, index);
  if (value < 0) {
    *success = 0;
    return 0;
  }
  if (kind == kWdl) return value - 2;
  const DtzMaps& maps = entry->dtz_maps[file];
  if (maps.flags & 2) {
    int m = kWdlToMap[wdl + 2];
    if (value >= maps.count[m]) {
      *success = 0;
      return 0;
    }
    const uint8_t* map = entry->dtz_map_data + maps.start[m];
    value = (maps.flags & 16) ? (map[2 * value] | map[2 * value + 1] << 8) : map[value];
  }
  if (!(maps.flags & kPaFlags[wdl + 2]) || (wdl & 1)) value *= 2;
  return value;
}

int probe_ab(const TBPosition& pos, int alpha, int beta, int* success) {
  TB_CHECK(pos.ep == 0);
  TBMove moves[kMaxTBMoves];
  TBMove* end = tb_gen_captures(pos, moves);
  TBPosition child;
  for (TBMove* m = moves; m < end; ++m) {
    if (!tb_do_move(child, pos, *m)) continue;
    int v = -probe_ab(child, -beta, -alpha, success);
    if (*success == 0) return 0;
    if (v > alpha) {
      if (v >= beta) return v;
      alpha = v;
    }
  }
  int v = probe_table(pos, 0, success, kWdl);
  return alpha >= v ? alpha : v;
}

int probe_wdl(const TBPosition& pos, int* success) {
  *success = 1;
  int best_cap = -3, best_ep = -3;
  TBMove moves[kMaxTBMoves];
  TBMove* end = tb_gen_captures(pos, moves);
  TBPosition child;
  for (TBMove* m = moves; m < end; ++m) {
    if (!tb_do_move(child, pos, *m)) continue;
    int v = -probe_ab(child, -2, -best_cap, success);
    if (*success == 0) return 0;
    if (v > best_cap) {
      if (v == 2) {
        *success = 2;
        return 2;
      }
      if (tb_is_en_passant(pos, *m)) {
        if (v > best_ep) best_ep = v;
      } else {
        best_cap = v;
      }
    }
  }
  int v = probe_table(pos, 0, success, kWdl);
  if (*success == 0) return 0;
  if (best_ep > best_cap) {
    if (best_ep > v) {
      *success = 2;
      return best_ep;
    }
    best_cap = best_ep;
  }
  if (best_cap >= v) {
    *success = best_cap > 0 ? 2 : 1;
    return best_cap;
  }
  if (best_ep > -3 && v == 0) {
    // Stalemate unless a move other than the en-passant capture exists: then the capture
    // is forced and decides.
    end = tb_gen_moves(pos, moves);
    bool other = false;
    for (TBMove* m = moves; m < end && !other; ++m)
      if (!tb_is_en_passant(pos, *m) && tb_do_move(child, pos, *m)) other = true;
    if (!other && !tb_is_check(pos)) {
      *success = 2;
      return best_ep;
    }
  }
  return v;
}

int probe_dtz(const TBPosition& pos, int* success) {
  int wdl = probe_wdl(pos, success);
  if (*success == 0 || wdl == 0) return 0;
  if (*success == 2) return kWdlToDtz[wdl + 2];
  TBMove moves[kMaxTBMoves];
  TBPosition child;
  if (wdl > 0) {
    // A pawn move that keeps the win zeroes the clock at once.
    TBMove* end = tb_gen_moves(pos, moves);
    for (TBMove* m = moves; m < end; ++m) {
      if (!tb_is_pawn_move(pos, *m) || tb_is_capture(pos, *m) || !tb_do_move(child, pos, *m)) continue;
      int v = -probe_wdl(child, success);
      if (*success == 0) return 0;
      if (v == wdl) {
        TB_CHECK(wdl < 3);
        return kWdlToDtz[wdl + 2];
      }
    }
  }
  int dtz = probe_table(pos, wdl, success, kDtz);
  if (*success >= 0) {
    if (*success == 0) return 0;
    return wdl > 0 ? kWdlToDtz[wdl + 2] + dtz : kWdlToDtz[wdl + 2] - dtz;
  }
  // The file holds the other side to move: one ply of search over the moves that do not
  // zero the clock.
  int best = wdl > 0 ? 0x7FFFFFFF : kWdlToDtz[wdl + 2];
  TBMove* end = tb_gen_moves(pos, moves);
  TB_CHECK(end != nullptr);
  for (TBMove* m = moves; m < end; ++m) {
    if (tb_is_capture(pos, *m) || tb_is_pawn_move(pos, *m) || !tb_do_move(child, pos, *m)) continue;
    int v = -probe_dtz(child, success);
    if (*success == 0) return 0;
    if (v == 1 && is_mate(child)) {
      best = 1;
    } else if (wdl > 0) {
      if (v > 0 && v + 1 < best) best = v + 1;
    } else {
      if (v - 1 < best) best = v - 1;
    }
  }
  *success = 1;
  return best;
}

}  // namespace tablebase
