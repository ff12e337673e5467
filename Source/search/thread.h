// The per-thread search block: the thread's own position and game history, one stack
// record and one move-list area per ply, the move-ordering memory and the evaluation's
// per-thread state.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/counter.h"
#include "base/spinlock.h"
#include "eval/state.h"
#include "position/position.h"
#include "position/types.h"

namespace search {

using position::kMaxGameMoves;
using position::kMaxMoves;
using position::kMaxPly;
using position::kUndoCapacity;
using position::Move;
using position::MoveEntry;

constexpr int kMaxThreads = 512;

// Picker modes: everything, captures plus quiet checks, captures only.
constexpr uint8_t kPickAll = 4;
constexpr uint8_t kPickChecks = 3;
constexpr uint8_t kPickCaptures = 1;

struct StackRecord {
  int16_t node_type;
  int16_t depth;
  int16_t static_eval;
  uint32_t window;
  int16_t in_check;
  int16_t move_flags;
  int16_t moves_searched;
  int16_t improving;
  int32_t tb_result;
  int16_t tt_score;
  Move tt_move;
  Move killer1;
  Move killer2;
  Move check_killer;
  uint8_t checker;
  uint8_t mode;
  uint8_t stage;
  MoveEntry* list_start;  // this ply's move-list area
  MoveEntry* next;        // where the picker looks next
  MoveEntry* end;         // the list's terminator
  MoveEntry* current;     // the entry most recently handed out, or null
};

struct SearchThread {
  position::GameHistory game;
  StackRecord stack[kMaxPly];
  MoveEntry move_lists[kMaxPly][kMaxMoves];
  uint16_t history[16 * 64];
  Move counter1[16 * 64];
  Move counter2[16 * 64];
  Move followup[16 * 64];
  position::Position position;
  Move root_pv[kMaxPly];
  int16_t thread_number;
  int8_t seldepth;
  uint32_t random_state;
  // What other threads read while this one searches: its root results and its counters.
  std::atomic<uint8_t> root_status;
  std::atomic<int8_t> iteration_depth;
  std::atomic<int16_t> last_score;
  std::atomic<Move> root_move;  // root_pv[0] as last published
  base::Counter nodes;
  base::Counter tb_hits;
  base::Counter tt_probes;
  base::Counter tt_hits;
  eval::EvalState eval;
  eval::EvalContext eval_context;  // the running search's, copied in at its start
};

// Guards the per-depth node totals, the seeding of new blocks and the bad-hash-move report.
extern base::SpinLock search_lock;

// The main block (its position is the one the protocol sets up) and the search blocks,
// one per search thread.
extern SearchThread* main_thread;
extern SearchThread* thread_blocks[kMaxThreads];

// Allocates a zero-filled block bound to thread number n; null when memory runs out.
SearchThread* allocate_thread(int n);
void free_thread(SearchThread* thread);

// Copies the root position and the history it carries into block n (allocating it on
// first use) and resets its search state. Returns 0, or -1 when memory runs out.
int prepare_thread(int n, const position::Position& root);

// Points every stack record at its move-list area and sets ply 1.
void reset_stack(SearchThread& thread);
void clear_history(SearchThread& thread);
uint32_t thread_random(SearchThread& thread);

}  // namespace search
