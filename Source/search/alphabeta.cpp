#include "search/alphabeta.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "eval/evaluate.h"
#include "position/bitboard.h"
#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "search/control.h"
#include "search/movepick.h"
#include "search/params.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbsearch.h"

namespace search {

using namespace position;

namespace {

constexpr int kMaxSearchPly = 79;
// What a child sees as its parent's move while a null move is searched.
MoveEntry null_move_entry{kNoMove, 0, 0, 0};

uint32_t pack_window(int alpha, int beta) {
  return static_cast<uint16_t>(alpha) | (static_cast<uint32_t>(static_cast<uint16_t>(beta)) << 16);
}


// Holds the main thread to the target node rate of a strength-limited search.
void throttle(SearchThread& thread) {
  while (control.iteration_depth >= 2 && !control.abort) {
    search_timer(0);
    if (static_cast<double>(thread.nodes) / (control.elapsed + 0.0001) <= control.target_nps) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    time_check();
  }
}

void apply_node_limits(SearchThread& thread) {
  if (control.nps_limited) throttle(thread);
  if (thread.root_status == 1 || thread.nodes < control.min_nodes) return;
  if (thread.nodes >= control.limits.nodes) control.abort = 1;
  if (thread.iteration_depth >= control.limits.node_depth_cap) control.abort = 1;
}

// Material of the side to move in centipawns, for the pruning guards.
int side_material(const Position& pos, int side) {
  uint32_t m = pos.material[side];
  return 1000 * material_count(m, kQueen) + 550 * material_count(m, kRook) +
         335 * (material_count(m, kKnight) + material_count(m, kBishop)) + 100 * material_count(m, kPawn);
}

// Static-evaluation pruning gives up when a piece of ours hangs or an enemy pawn queens.
bool threat_stops_pruning(const Position& pos, int side, int eval, int beta) {
  Bitboard occupancy = pos.occupancy();
  for (Bitboard pieces = pos.pieces[side][0]; pieces;) {
    int square = pop_lsb(pieces);
    int value = kPieceValue[type_of(pos.board[square])];
    if (eval - value >= beta) continue;
    int attacker = least_valuable_attacker(pos, square, side ^ 1, occupancy);
    if (attacker == kNoSquare) continue;
    int threat = type_of(pos.board[square]) == kKing
                     ? 9999
                     : std::max(0, value - see_recapture(pos, side, square, type_of(pos.board[attacker]),
                                                         occupancy & ~bit(attacker)));
    if (eval - threat <= beta + 24) return true;
  }
  int enemy = side ^ 1;
  int step = enemy == kWhite ? 8 : -8;
  Bitboard runners = pos.pieces[enemy][kPawn] & (0xFFULL << (enemy == kWhite ? 48 : 8));
  while (runners) {
    int from = pop_lsb(runners);
    if (pos.board[from + step]) continue;
    if (see(pos, enemy, from, from + step) >= 0) return true;
  }
  return false;
}

// Asks for the child's table bucket as soon as its key is known, so that the memory
// fetch overlaps the child's first steps.
inline void prefetch_bucket(const Position& pos) {
  if (const TTEntry* bucket = tt_bucket(pos)) __builtin_prefetch(bucket);
}

void copy_continuation(Move* buffer, const Move* child, int ply) {
  for (int i = ply + 1; i <= 80; ++i) buffer[i] = child[i];
}

// A node's stack record as it is entered: its type and window, nothing found yet. The
// child's killers and this node's variation start empty.
inline void enter_node(SearchThread& thread, int ply, int node_type, int alpha, int beta, Move* buffer) {
  StackRecord& record = thread.stack[ply];
  record.node_type = static_cast<int16_t>(node_type);
  record.window = pack_window(alpha, beta);
  record.static_eval = 0;
  record.in_check = 0;
  record.checker = kNoSquare;
  record.moves_searched = 0;
  record.tb_result = -1;
  record.move_flags = 0;
  record.improving = 0;
  if (ply + 1 < kMaxPly) {
    StackRecord& next = thread.stack[ply + 1];
    next.killer1 = next.killer2 = next.check_killer = 0;
  }
  buffer[ply] = buffer[ply + 1] = kNoMove;
}

// One ply more for a check, for a side left with pawns alone after the parent took a
// piece (pawn endings are decided by tempo), and for a move to the seventh near the leaves.
inline int extended_depth(const Position& pos, const StackRecord& parent, int side, int depth, bool in_check) {
  if (in_check && depth <= 9) return depth + 1;
  if (!(pos.material[side] & kNonPawnMaterialMask) && parent.current && type_of(parent.current->victim) > kPawn)
    return depth + 1;
  if ((parent.move_flags & kMoveToSeventh) && depth <= 2) return depth + 1;
  return depth;
}

// What the transposition table knows of a node.
struct TableView {
  Move move = kNoMove;
  int score = kNoScore;
  int depth = -99;
  int eval = kNoScore;
  bool fails_low = false;   // an upper bound or exact score at or below alpha
  bool fails_high = false;  // a lower bound or exact score at or above beta
};

// Reads the table, except in the deep quiescence plies where a probe costs more than it
// saves. True when the entry is deep enough to answer a zero-window node outright: its
// value is then in `answer`.
inline bool probe_table(SearchThread& thread, int ply, int depth, int alpha, int beta, int node_type,
                        TableView& entry, int& answer) {
  if (depth < -2) return false;
  TTProbe hit;
  int found = tt_probe(thread.position, ply, hit);
  if (hit.probed) ++thread.tt_probes;
  if (!found) return false;
  ++thread.tt_hits;
  entry.move = hit.move;
  entry.score = hit.score;
  entry.depth = hit.depth;
  entry.eval = hit.eval;
  entry.fails_low = hit.score <= alpha && hit.bound != kLowerBound;
  entry.fails_high = hit.score >= beta && hit.bound != kUpperBound;
  if (hit.depth < depth || node_type == 0) return false;
  if (hit.bound == kExactBound) return answer = hit.score, true;
  if (entry.fails_low) return answer = alpha, true;
  if (entry.fails_high) return answer = beta, true;
  return false;
}

// Reads the endgame tables: after a capture or pawn move at the depth the tables ask for,
// and below a node they answered at any depth. Leaves the result (0 loss to 4 win, -1 for
// none) in `tb` and the node's record. True when the result decides the node: its value
// is then in `answer`.
inline bool probe_tablebases(SearchThread& thread, StackRecord& record, int parent_tb, int depth, int alpha, int beta,
                             int& tb, int& answer) {
  const Position& pos = thread.position;
  tb = -1;
  if (pos.rule50 == 0 && parent_tb == -1) {
    tb = tablebase::tb_probe_search(pos, depth);
  } else if (parent_tb != -1) {
    tb = tablebase::tb_probe_search(pos, tablebase::kProbeAtAnyDepth);
    if (tb >= 0 && tb > 4 - parent_tb) return answer = beta, true;
  }
  if (tb < 0) return false;
  ++thread.tb_hits;
  record.tb_result = tb;
  if (tb == 4 && beta < kDecided) return answer = beta, true;
  if (tb == 0 && alpha >= -2999) return answer = alpha, true;
  return false;
}

// The node's static value: the table's when it kept one, else the evaluation, pushed
// towards what the endgame tables said.
inline int static_value(SearchThread& thread, int side, int ply, bool in_check, int tt_eval, int tb) {
  if (tt_eval != kNoScore) return tt_eval;
  int eval = eval::evaluate(thread.position, thread.eval, thread.eval_context, side, ply, in_check);
  if (tb == 0) eval -= 3500;
  if (tb == 4) eval += 3500;
  if (tb == 2) eval /= 4;
  return eval;
}

// Near the leaves of zero-window nodes the static value alone may settle the node: far
// below alpha the quiescence search answers (futility pruning); far above beta, with
// material to spare and nothing of ours under threat, the node fails high (static
// evaluation pruning). True when it is settled: its value is then in `answer`.
inline bool prune_on_static_value(SearchThread& thread, int side, int ply, int depth, int alpha, int beta,
                                  int node_type, int eval, int material, const TableView& entry, Move* buffer,
                                  int& answer) {
  if (depth <= tables.fp_depth && depth < 8 && eval <= alpha - tables.fp_margins[depth] && !entry.fails_high &&
      node_type != 0) {
    int q = quiescence(thread, side, ply, depth, alpha, beta, node_type, buffer);
    answer = q > alpha ? beta : alpha;
    return true;
  }
  if (depth <= tables.sep_depth && depth < 8 && eval >= beta + tables.sep_margins[depth] && node_type == 1 &&
      !entry.fails_low && material >= 500 && !threat_stops_pruning(thread.position, side, eval, beta))
    return answer = beta, true;
  return false;
}

// The value of passing the move: a reduced search of the opponent to move. At or above
// beta, even a free move for the opponent leaves the node failing high.
inline int null_move_value(SearchThread& thread, int side, int ply, int depth, int alpha, int beta) {
  StackRecord& record = thread.stack[ply];
  int reduction = depth > 15 ? 5 : 3 + depth / 8;
  if (depth <= reduction) reduction = depth - 1;
  record.current = &null_move_entry;
  record.move_flags = 0;
  make_null_move(thread.position);
  Move child[kPvSize];
  int v = -search(thread, side ^ 1, ply + 1, depth - reduction - 1, -beta, -alpha, -1, child);
  unmake_null_move(thread.position);
  record.current = nullptr;
  return v;
}

}  // namespace

int move_flags(const Position& pos, const MoveEntry& entry) {
  int side = pos.side;
  int to = move_to(entry.move);
  bool pawn = type_of(entry.mover) == kPawn;
  bool capture = entry.victim || (pawn && to == pos.ep_square);
  int flags = capture ? kMoveCapture : 0;
  if (gives_check(pos, side, entry)) flags |= kMoveCheck;
  if (pawn) {
    int rank = relative_rank(side, to);
    if (rank == 7) flags |= kMoveToLastRank;
    if (rank == 6) flags |= kMoveToSeventh;
    if (rank == 5 && !capture) flags |= kMoveToSixth;
  }
  return flags;
}

int search(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type, Move* buffer) {
  Position& pos = thread.position;
  ++thread.nodes;
  if (thread.thread_number == 0) apply_node_limits(thread);
  if (control.abort) return 0;
  if (ply > thread.seldepth) thread.seldepth = static_cast<int8_t>(ply);

  enter_node(thread, ply, node_type, alpha, beta, buffer);
  StackRecord& record = thread.stack[ply];
  if (depth >= -2) prefetch_bucket(pos);

  alpha = std::max(alpha, ply - kMateScore);
  beta = std::min(beta, kMateScore - 1 - ply);
  if (alpha >= beta) return alpha;

  int checker = least_valuable_attacker(pos, pos.king_square[side], side ^ 1, pos.occupancy());
  bool in_check = checker != kNoSquare;
  record.in_check = in_check;
  record.checker = static_cast<uint8_t>(checker);

  if (is_draw(pos, ply)) return 0;
  if (ply > kMaxSearchPly) return in_check ? 0 : eval::evaluate(pos, thread.eval, thread.eval_context, side, ply, 0);

  const StackRecord& parent = thread.stack[ply - 1];
  depth = extended_depth(pos, parent, side, depth, in_check);
  record.depth = static_cast<int16_t>(depth);

  TableView entry;
  int answer;
  if (probe_table(thread, ply, depth, alpha, beta, node_type, entry, answer)) return answer;
  record.tt_move = entry.move;
  record.tt_score = static_cast<int16_t>(entry.score);

  int tb;
  if (probe_tablebases(thread, record, parent.tb_result, depth, alpha, beta, tb, answer)) return answer;

  int eval = static_value(thread, side, ply, in_check, entry.eval, tb);
  record.static_eval = static_cast<int16_t>(eval);
  record.improving = ply >= 2 && eval > thread.stack[ply - 2].static_eval;

  if (depth < 1) {
    if (in_check) return search_moves(thread, side, ply, 0, alpha, beta, node_type, buffer);
    return quiescence(thread, side, ply, depth, alpha, beta, node_type, buffer);
  }
  if (in_check || pos.rule50 + depth > 99 || alpha > kDecided || beta < -kDecided)
    return search_moves(thread, side, ply, depth, alpha, beta, node_type, buffer);

  int material = side_material(pos, side);
  if (prune_on_static_value(thread, side, ply, depth, alpha, beta, node_type, eval, material, entry, buffer, answer))
    return answer;

  bool parent_null = !parent.current || parent.current->move == kNoMove;
  bool null_move_node = depth >= tables.nmp_depth && node_type == 1;
  if (null_move_node && eval > beta + 14 && !entry.fails_low && material >= 500 && !parent_null) {
    int v = null_move_value(thread, side, ply, depth, alpha, beta);
    if (control.abort) return 0;
    if (v >= beta) return beta;
  }

  // Off the mate band a zero-window node without a table move is searched a ply
  // shallower; other nodes first search shallower when the table knows too little
  // (internal iterative deepening), to find a move to try first.
  bool outside_mate_band = alpha >= -9000 && (null_move_node ? beta < 9001 : beta <= 9000);
  int iid_depth = -99;
  if (outside_mate_band && (node_type != 0 || null_move_node)) {
    if (depth > 2 && !entry.move) --depth;
  } else if (outside_mate_band) {
    iid_depth = depth - 3;
  } else {
    iid_depth = node_type != 0 ? (depth - 1) >> 1 : depth - 3;
  }
  if (iid_depth > -99 && depth >= 4 && entry.depth < iid_depth) {
    search_moves(thread, side, ply, iid_depth, alpha, beta, node_type, buffer);
    if (control.abort) return 0;
    record.tt_move = buffer[ply];
  }

  int v = search_moves(thread, side, ply, depth, alpha, beta, node_type, buffer);
  return v >= beta ? beta : std::max(v, alpha);
}

int search_moves(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type,
                 Move* buffer) {
  Position& pos = thread.position;
  StackRecord& record = thread.stack[ply];
  buffer[ply] = kNoMove;
  record.window = pack_window(alpha, beta);
  record.moves_searched = 0;
  start_picker(thread, kPickAll, record.tt_move, record.checker);
  const int original_alpha = alpha;
  int best = kNoScore;
  Move best_move = kNoMove;
  const int late = 3 * std::max(depth, 1);
  bool prune_late = depth <= tables.lmp_depth && node_type != 0;
  bool tt_move_seen = false;
  Move child[kPvSize];

  while (MoveEntry* entry = next_move(thread)) {
    Move move = entry->move;
    if (move == kNoMove) continue;
    if (move == record.tt_move) {
      if (tt_move_seen) continue;
      tt_move_seen = true;
    }
    if (!move_is_legal(pos, side, move)) continue;
    int flags = move_flags(pos, *entry);
    record.move_flags = static_cast<int16_t>(flags);

    if (prune_late && best >= -9099) {
      if (!flags) {
        int limit = entry->score > 35 || record.static_eval > alpha ? late + 3 : late;
        if (record.moves_searched >= limit || !see_ok(pos, move)) continue;
      } else if (depth <= 1 && entry->score <= 99 && !see_ok(pos, move)) {
        continue;
      }
    }

    int reduction = 0;
    if (depth >= tables.lmr_depth) {
      int d = std::min(depth, 30), m = std::min<int>(record.moves_searched, 30);
      reduction = node_type != 0 ? tables.lmr_non_pv[d][m] : tables.lmr_pv[d][m];
      if (flags) reduction = entry->score > 149 || record.moves_searched <= 1 ? 0 : std::min(reduction, 1);
      if (!see_ok(pos, move)) ++reduction;
      reduction = std::min(reduction, d - 1);
    }

    make_move(pos, move);
    prefetch_bucket(pos);
    int v;
    if (record.moves_searched > 0 && depth >= 2) {
      v = -search(thread, side ^ 1, ply + 1, depth - reduction - 1, -alpha - 1, -alpha, 1, child);
      if (v > alpha) v = -search(thread, side ^ 1, ply + 1, depth - 1, -beta, -alpha, node_type != 0 ? -1 : 0, child);
    } else {
      v = -search(thread, side ^ 1, ply + 1, depth - 1, -beta, -alpha, -node_type, child);
    }
    unmake_move(pos);
    if (control.abort) return 0;
    ++record.moves_searched;
    if (!entry->victim && depth >= 1) update_quiet_stats(thread, ply, *entry, v, beta, depth);

    if (v > best) {
      best_move = move;
      buffer[ply] = move;
      buffer[ply + 1] = kNoMove;
      best = v;
      if (v >= beta) break;
      if (v > alpha) {
        copy_continuation(buffer, child, ply);
        alpha = v;
      }
    }
  }

  int score = record.moves_searched ? best : record.in_check ? ply - kMateScore : 0;
  if (depth < -2) return score;
  int bound = score <= original_alpha ? kUpperBound : score < beta ? kExactBound : kLowerBound;
  tt_store(pos, ply, depth, best_move, record.static_eval, score, bound);
  return score;
}

int quiescence(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type,
               Move* buffer) {
  Position& pos = thread.position;
  StackRecord& record = thread.stack[ply];
  int eval = record.static_eval;
  if (eval >= beta) return beta;
  const int floor = std::max(alpha, eval);
  record.window = pack_window(floor, beta);
  record.moves_searched = 0;

  uint32_t enemy = pos.material[side ^ 1];
  int enemy_weight = material_count(enemy, kKnight) + material_count(enemy, kBishop) +
                     2 * (material_count(enemy, kRook) + material_count(enemy, kQueen));
  uint8_t mode = depth >= 0 ? kPickChecks : kPickCaptures;
  int margin = depth > 0 ? 500 : 150;
  start_picker(thread, mode, kNoMove, record.checker);

  int best = eval;
  Move child[kPvSize];
  while (MoveEntry* entry = next_move(thread)) {
    Move move = entry->move;
    int victim = type_of(entry->victim);
    int gain;
    if (gives_check(pos, side, *entry)) {
      gain = 5000;
    } else if (victim && enemy_weight - kPieceWeight[victim] < 2) {
      gain = 5000;
    } else if (type_of(entry->mover) == kPawn && relative_rank(side, move_to(move)) >= 6) {
      gain = 1500;
    } else {
      gain = kPieceValue[victim];
    }
    if (eval + gain <= floor - margin) continue;
    if (!see_ok(pos, move)) continue;
    if (!move_is_legal(pos, side, move)) continue;

    make_move(pos, move);
    if (depth > -2) prefetch_bucket(pos);
    int score = -search(thread, side ^ 1, ply + 1, depth - 1, -beta, -floor, -node_type, child);
    unmake_move(pos);
    if (control.abort) return 0;
    ++record.moves_searched;
    if (score <= floor) continue;
    best = std::max(best, score);
    buffer[ply] = move;
    buffer[ply + 1] = kNoMove;
    if (best >= beta) {
      if (depth >= -2) {
        int stored_depth = depth > 0 ? 0 : depth == -2 ? -1 : depth;
        tt_store(pos, ply, stored_depth, move, record.static_eval, best, kLowerBound);
      }
      return best;
    }
    copy_continuation(buffer, child, ply);
  }
  return best;
}

}  // namespace search
