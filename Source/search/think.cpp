#include "search/think.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/settings.h"
#include "eval/evaluate.h"
#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "search/alphabeta.h"
#include "search/control.h"
#include "search/movepick.h"
#include "search/params.h"
#include "search/report.h"
#include "search/thread.h"
#include "search/timeman.h"
#include "search/tt.h"
#include "tablebase/tbsearch.h"

namespace search {

using namespace position;
using base::settings;

int root_qscore = 0;

namespace {

constexpr int kHistoryRoom = 883;

// What every evaluation of this search is told; copied into each thread block.
eval::EvalContext eval_context;
// Where the running search sends its reports.
Reporter* reporter = nullptr;
// The position the running search started from, as the caller gave it; the reports write
// their variations from it. The history stays the caller's, and nothing here moves on it.
Position root_position;


// Threads that completed iteration 2 count towards the totals; the main thread always.
void recompute_totals() {
  uint64_t sums[8] = {};
  for (int i = 0; i < settings.threads && i < kMaxThreads; ++i) {
    const SearchThread* t = thread_blocks[i];
    if (!t || (i > 0 && t->iteration_depth < 2)) continue;
    sums[0] += t->nodes;
    sums[1] += t->eval.calls;
    sums[2] += t->eval.cache_hits;
    sums[3] += t->tt_probes;
    sums[4] += t->tt_hits;
    sums[5] += t->eval.pawn_probes;
    sums[6] += t->eval.pawn_hits;
    sums[7] += t->tb_hits;
  }
  std::memcpy(control.statistics, sums, sizeof(sums));
}

void print_search_info(int thread_number, int multipv_index, int depth, int score, const Move* pv) {
  recompute_totals();
  search_timer(0);
  if (!(control.abort || control.elapsed >= settings.noise) || base::quiet() || depth <= 0 || !pv[0]) return;
  IterationReport report;
  report.hashfull = depth >= 7 ? hashfull_estimate() : 0;
  report.root = &root_position;
  report.pv = pv;
  report.thread_number = thread_number;
  report.line = multipv_index;
  report.depth = depth;
  const SearchThread* main = thread_blocks[0];
  report.seldepth = main ? main->seldepth - 1 : 0;
  report.score = score;
  report.seconds = control.elapsed;
  report.nodes = control.statistics[0];
  report.tb_hits = control.statistics[7];
  report.stopped = control.abort;
  reporter->iteration(report);
}

// At the start of an iteration's root moves that runs past a few seconds.
void report_progress() {
  search_timer(0);
  if (control.elapsed <= 3.5 || control.elapsed <= settings.noise) return;
  recompute_totals();
  reporter->progress({control.iteration_depth.load(), control.elapsed.load(), control.statistics[0], hashfull_estimate()});
}

void publish_result(SearchThread& thread, int depth) {
  thread.root_move = thread.root_pv[0];
  control.published_depth = thread.iteration_depth.load();
  control.published_score = thread.last_score.load();
  if (thread.root_pv[0] != control.best_move) control.best_move_change_depth = static_cast<int8_t>(depth);
  control.best_move = thread.root_pv[0];
  control.ponder_move = thread.root_pv[1];
  std::memcpy(control.pv, thread.root_pv, sizeof(control.pv));
  control.score_by_depth[depth] = thread.last_score.load();
  if (depth > 1 && settings.multipv == 1) print_search_info(0, 0, depth, thread.last_score, thread.root_pv);
}

void search_setup(const Limits& limits) {
  control.limits = limits;
  search_timer(1);
  build_search_tables();
  set_strength_limit();
  control.abort = 0;
  control.iteration_depth = 0;
  control.published_depth = 0;
  control.published_score = 0;
  control.best_move = kNoMove;
  control.ponder_move = kNoMove;
  std::memset(control.pv, 0, sizeof(control.pv));
  control.pv_key = root_position.key;
  for (auto& s : control.score_by_depth) s = kNoScore;
  std::memset(control.nodes_by_depth, 0, sizeof(control.nodes_by_depth));
  control.best_move_change_depth = 0;
  control.single_reply = 0;
  control.root_tb_result = -1;
  tt_new_search();
  if (settings.hash_mb < 1) control.tt_enabled = 0;
  // The node floor of -md may not outlast the node limit of this search.
  control.min_nodes = std::min(limits.min_nodes, limits.nodes);
  eval_context.root_side = root_position.side;
  eval_context.apply_contempt = moves_made(root_position) > 4 && !(control.state & kFixedSearch);
  eval_context.contempt = settings.contempt;
  eval_context.noise = settings.eval_noise;
  eval_context.use_network = settings.use_nn != 0;
  search_lock.lock();
  eval_context.noise_seed =
      static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(thread_random(*main_thread))));
  search_lock.unlock();
  for (SearchThread* t : thread_blocks) {
    if (!t) continue;
    t->nodes = 0;
    t->tb_hits = 0;
    t->tt_probes = 0;
    t->tt_hits = 0;
    t->eval.calls = 0;
    t->eval.cache_hits = 0;
    t->eval.pawn_probes = 0;
    t->eval.pawn_hits = 0;
    t->iteration_depth = 0;
  }
  time_check();
  if (!base::quiet()) reporter->started(root_position, limits.time_left, control.target_time);
}

bool allowed_at_root(Move move) {
  const Move* allowed = control.limits.search_moves;
  if (!allowed[0]) return true;
  for (const Move* m = allowed; *m; ++m)
    if (*m == move) return true;
  return false;
}

// The legal root moves ("go searchmoves" may narrow them), scored as the picker orders
// them; returns how many.
int collect_root_moves(SearchThread& thread, MoveEntry* list) {
  Position& pos = thread.position;
  MoveEntry all[kMaxMoves];
  generate_all_moves(pos, all);
  int count = 0;
  for (const MoveEntry* e = all; e->move != kListEnd; ++e) {
    if (!move_is_legal(pos, pos.side, e->move) || !allowed_at_root(e->move)) continue;
    MoveEntry entry = *e;
    int victim = type_of(entry.victim), mover = type_of(entry.mover);
    int to_rank = relative_rank(pos.side, move_to(entry.move));
    bool first_stage = entry.victim || (mover == kPawn && (to_rank >= 6 || move_to(entry.move) == pos.ep_square));
    if (first_stage) {
      bool good = see(pos, pos.side, move_from(entry.move), move_to(entry.move)) >= -49;
      entry.score = static_cast<int16_t>(good ? kGoodCaptureRank[victim] - mover : kLosingCaptureRank[victim]);
    } else {
      entry.score = static_cast<int16_t>(thread.history[entry.mover * 64 + move_to(entry.move)] * 70 / 65536);
    }
    list[count++] = entry;
  }
  list[count].move = kListEnd;
  return count;
}

// One pass over the root moves of MultiPV slot `slot` with the window (alpha, beta).
int search_root(SearchThread& thread, MoveEntry* list, int slot, int depth, int alpha, int beta) {
  Position& pos = thread.position;
  int side = pos.side;
  StackRecord& root = thread.stack[1];
  int best = kNoScore;
  int raised_alpha = std::max(alpha, kNoScore);
  root.window = static_cast<uint16_t>(alpha) | (static_cast<uint32_t>(static_cast<uint16_t>(beta)) << 16);
  int searched = 0;
  bool has_piece_and_pawn = (pos.material[side] & kNonPawnMaterialMask) && (pos.material[side] & 15);
  Move child[kPvSize];
  int index = slot;
  for (; list[index].move != kListEnd; ++index) {
    best_to_front(&list[index]);
    MoveEntry& entry = list[index];
    if (entry.move == kNoMove) continue;
    int flags = move_flags(pos, entry);
    if (thread.thread_number == 0 && slot == 0 && searched == 0) report_progress();
    int reduction = depth > 4 && !flags && searched >= 3 && entry.score <= alpha && has_piece_and_pawn ? 1 : 0;
    entry.score = static_cast<int16_t>((alpha - 1) - searched);
    root.current = &entry;
    root.move_flags = static_cast<int16_t>(flags);
    make_move(pos, entry.move);
    int v;
    if (searched == 0 || depth == 1) {
      v = -search(thread, side ^ 1, 2, depth - 1, -beta, -alpha, 0, child);
    } else {
      v = -search(thread, side ^ 1, 2, depth - reduction - 1, -raised_alpha - 1, -raised_alpha, 1, child);
      if (v > raised_alpha) v = -search(thread, side ^ 1, 2, depth - 1, -beta, -alpha, 0, child);
    }
    unmake_move(pos);
    if (control.abort) return 0;
    entry.score = static_cast<int16_t>(v);
    ++searched;
    if (v > best) {
      thread.iteration_depth = static_cast<int8_t>(depth);
      thread.last_score = static_cast<int16_t>(v);
      thread.root_pv[0] = entry.move;
      thread.root_move = entry.move;
      for (int i = 1; i < kMaxPly - 1; ++i) thread.root_pv[i] = child[i + 1];
      thread.root_pv[kMaxPly - 1] = kNoMove;
      if (thread.thread_number == 0 && slot == 0) publish_result(thread, depth);
      raised_alpha = std::max(raised_alpha, v);
      best = v;
    }
    thread.root_status = best <= alpha ? 1 : best >= beta ? 2 : 0;
    if (best >= beta) {
      ++index;
      break;
    }
  }
  for (int i = slot; i < index && list[i].move != kListEnd; ++i) best_to_front(&list[i]);
  for (int i = index; list[i].move != kListEnd; ++i) list[i].score = kNoScore;
  return best;
}

void aspiration_search(SearchThread& thread, MoveEntry* list, int slot, int depth) {
  int score = thread.last_score;
  int delta = std::abs(score) / 16 + 25;
  if (depth < 7 && control.target_nps > 1500) delta += 70 - 10 * depth;
  int alpha = kNoScore, beta = -kNoScore;
  if (depth >= 2) {
    alpha = std::max(score - delta, kNoScore);
    beta = std::min(score + delta, -kNoScore);
  }
  thread.root_status = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    int best = search_root(thread, list, slot, depth, alpha, beta);
    if ((alpha < best && best < beta) || control.abort) break;
    if (best <= alpha) alpha -= delta;
    else beta += delta;
    delta += delta / 2;
  }
  if (thread.thread_number == 0 && settings.multipv >= 2 && !control.abort)
    print_search_info(0, slot + 1, depth, list[slot].score, thread.root_pv);
}

bool mate_found(int score, int depth) { return score >= kMateScore - 1 - depth || score < depth - (kMateScore - 1); }

int helper_depth(int thread_number, int depth) {
  if (depth < 6 || settings.multipv != 1) return depth;
  int target = (thread_number & 4) ? depth + 1 : depth;
  int global = control.iteration_depth;
  depth = global <= target ? std::min(global + 3, target) : global;
  return std::min<int>(depth, control.limits.depth);
}

// Root with no legal move: mate or stalemate, published without a search.
void publish_no_move(SearchThread& thread, bool in_check) {
  thread.iteration_depth = 1;
  thread.last_score = static_cast<int16_t>(in_check ? -9999 : 0);
  std::memset(thread.root_pv, 0, sizeof(thread.root_pv));
  thread.root_move = kNoMove;
  control.published_depth = 1;
  control.published_score = thread.last_score.load();
  control.best_move = kNoMove;
  control.ponder_move = kNoMove;
  control.score_by_depth[1] = thread.last_score.load();
  control.abort = 1;
}

double branching_factor() {
  int d = control.last_reported_depth;
  if (d < 6 || d >= kMaxPly || !control.nodes_by_depth[d] || !control.nodes_by_depth[d - 4]) return 2.0;
  return std::pow(static_cast<double>(control.nodes_by_depth[d]) / control.nodes_by_depth[d - 4], 0.25);
}

// The published result, read once the search threads have stopped.
Result collect_result() {
  Result result;
  result.best_move = control.best_move;
  result.ponder_move = control.ponder_move;
  result.score = control.published_score;
  result.depth = control.published_depth;
  result.nodes = total_nodes();
  result.seconds = control.elapsed;
  result.branching_factor = branching_factor();
  const uint64_t* s = control.statistics;
  result.counters = {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7]};
  std::memcpy(result.pv, control.pv, sizeof(result.pv));
  result.pv_key = control.pv_key;
  result.root_qscore = root_qscore;
  return result;
}

}  // namespace

uint64_t total_nodes() {
  recompute_totals();
  return control.statistics[0];
}

// Keeps the root moves that hold the tables' result, listing them; with the fifty-move
// counter running the DTZ choice may play a move outright (then returns true).
bool root_tablebases(SearchThread& thread, MoveEntry* list) {
  Position& pos = thread.position;
  control.root_tb_move = kNoMove;
  int result = tablebase::tb_probe_search(pos, tablebase::kProbeAtAnyDepth);
  control.root_tb_result = result;
  if (result == -1) return false;
  const char* word = result == 4 ? "WIN" : result == 0 ? "LOSS" : "DRAW";
  char line[600];
  int length = std::snprintf(line, sizeof(line), "TB result is %s with moves: ", word);
  for (MoveEntry* e = list; e->move != kListEnd; ++e) {
    make_move(pos, e->move);
    int child = tablebase::tb_probe_search(pos, tablebase::kProbeAtAnyDepth);
    unmake_move(pos);
    if (child != -1 && 4 - child < result) {
      e->move = kNoMove;
      e->score = kNoScore;
    } else if (length < 480) {
      int from = move_from(e->move), to = move_to(e->move);
      length += std::snprintf(line + length, sizeof(line) - length, "%c%c%c%c ", 'a' + file_of(from),
                              '1' + rank_of(from), 'a' + file_of(to), '1' + rank_of(to));
    }
  }
  if (!base::quiet()) reporter->note(line);
  best_to_front(list);
  control.best_move = list[0].move;
  if (pos.rule50 < 10 || pos.castle_rights) return false;
  Move move;
  int decided = tablebase::tb_root_dtz(pos, move);
  if (decided == -1 || !move_is_legal(pos, pos.side, move)) return false;
  control.root_tb_result = decided;
  control.root_tb_move = move;
  thread.iteration_depth = 99;
  thread.seldepth = 99;
  thread.last_score = static_cast<int16_t>(decided == 4 ? 9800 : decided == 0 ? -9800 : 0);
  std::memset(thread.root_pv, 0, sizeof(thread.root_pv));
  thread.root_pv[0] = move;
  thread.root_move = move;
  control.published_depth = 99;
  control.published_score = thread.last_score.load();
  control.best_move = move;
  control.ponder_move = kNoMove;
  std::memcpy(control.pv, thread.root_pv, sizeof(control.pv));
  control.abort = 1;
  return true;
}

void iterate(int thread_number) {
  if (thread_number >= settings.threads || (thread_number > 0 && control.root_tb_result != -1)) return;
  SearchThread& thread = *thread_blocks[thread_number];
  Position& pos = thread.position;
  int side = pos.side;
  bool main = thread_number == 0;
  clear_history(thread);

  StackRecord& root = thread.stack[1];
  root.node_type = 0;
  root.current = nullptr;
  root.move_flags = 0;
  root.tb_result = -1;
  int checker = least_valuable_attacker(pos, pos.king_square[side], side ^ 1, pos.occupancy());
  bool in_check = checker != kNoSquare;
  root.in_check = in_check;
  root.checker = static_cast<uint8_t>(checker);
  int eval = eval::evaluate(pos, thread.eval, thread.eval_context, side, 1, in_check);
  root.static_eval = static_cast<int16_t>(eval);
  thread.stack[0].static_eval = static_cast<int16_t>(-eval);
  thread.stack[0].current = nullptr;
  thread.stack[0].tb_result = -1;

  MoveEntry* list = thread.move_lists[0];
  int count = collect_root_moves(thread, list);
  if (main) {
    if (count == 0) {
      publish_no_move(thread, in_check);
      return;
    }
    control.single_reply = count == 1;
    // A search stopped before its first root move finishes still answers a legal move.
    best_to_front(list);
    control.best_move = list[0].move;
    if (!in_check) {
      Move pv[kPvSize] = {};
      root_qscore = quiescence(thread, side, 1, 0, kNoScore, -kNoScore, 0, pv);
      if (control.limits.depth < 1) {
        thread.iteration_depth = 1;
        thread.last_score = static_cast<int16_t>(root_qscore);
        std::memset(thread.root_pv, 0, sizeof(thread.root_pv));
        for (int i = 0; i < kMaxPly - 1; ++i) thread.root_pv[i] = pv[i + 1];
        if (!thread.root_pv[0]) thread.root_pv[0] = list[0].move;
        publish_result(thread, 1);
        control.abort = 1;
        return;
      }
    } else if (control.limits.depth < 1) {
      thread.last_score = static_cast<int16_t>(eval);
      thread.root_pv[0] = list[0].move;
      thread.root_pv[1] = kNoMove;
      publish_result(thread, 1);
      control.abort = 1;
      return;
    }
    if (root_tablebases(thread, list)) return;
  }
  root.tb_result = control.root_tb_result;

  for (int d = 1;; ++d) {
    if (!main) {
      d = helper_depth(thread_number, d);
      for (int i = 1; i < count; ++i)
        list[i].score = static_cast<int16_t>(list[i].score - static_cast<int>(thread_random(thread) % 15));
    } else {
      control.iteration_depth = static_cast<int8_t>(d);
    }
    int best_line_score = thread.last_score;
    Move best_line_move = thread.root_move;
    Move best_line[kMaxPly];
    std::memcpy(best_line, thread.root_pv, sizeof(best_line));
    for (int slot = 0; slot < settings.multipv && slot < count && !control.abort; ++slot) {
      aspiration_search(thread, list, slot, d);
      if (slot == 0) {
        best_line_score = thread.last_score;
        best_line_move = thread.root_pv[0];
        std::memcpy(best_line, thread.root_pv, sizeof(best_line));
      }
    }
    // With several lines the best one steers the next iteration and the mate test.
    thread.last_score = static_cast<int16_t>(best_line_score);
    std::memcpy(thread.root_pv, best_line, sizeof(best_line));
    thread.root_move = best_line_move;
    search_lock.lock();
    control.nodes_by_depth[std::min(d, kMaxPly - 1)] += thread.nodes;
    search_lock.unlock();
    if (main) control.last_reported_depth = static_cast<int8_t>(d);
    if (control.abort) break;
    if (mate_found(thread.last_score, d) || d >= control.limits.depth) break;
    if (thread.game.undo_index + d > kHistoryRoom || d + 1 >= kMaxPly) break;
  }
  if (main) control.abort = 1;
}

Result think(int mode, const Position& root, const Limits& limits, Reporter& search_reporter, int threaded) {
  reporter = &search_reporter;
  root_position = root;
  control.state = static_cast<uint16_t>(mode);
  search_setup(limits);
  // Every block is made ready before any search thread starts: the thread table is then
  // fixed while they run (the main search thread sums the helpers' counters).
  int threads = threaded ? settings.threads : 1;
  for (int n = 0; n < threads; ++n) {
    if (prepare_thread(n, root) != 0) std::exit(-1);
    thread_blocks[n]->eval_context = eval_context;
  }
  if (!threaded) {
    iterate(0);
    add_state(kResultReady);
    return collect_result();
  }
  std::thread main_search([] {
    iterate(0);
    add_state(kResultReady);
  });
  while (control.iteration_depth < 1 && !control.abort) std::this_thread::yield();
  std::vector<std::thread> helpers;
  for (int i = 1; i < threads; ++i) helpers.emplace_back(iterate, i);
  while (!settings.quit) {
    time_check();
    if (control.state & kResultReady) break;
    if (!(control.state & kStopRequested)) reporter->poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  control.abort = 1;
  main_search.join();
  for (std::thread& helper : helpers) helper.join();
  print_search_info(0, 1, control.published_depth, control.published_score, control.pv);
  add_state(kResultReady);
  search_timer(0);
  return collect_result();
}

}  // namespace search
