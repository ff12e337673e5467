// The per-thread search block: the thread's own position and game history, one stack
// record and one move-list area per ply, and the move-ordering memory.
#pragma once

#include <cstdint>

#include "eval/accumulator.h"
#include "eval/evaluate.h"
#include "eval/hce.h"
#include "position/position.h"
#include "position/types.h"
#include "shell/spinlock.h"

namespace search {

using position::Move;
using position::MoveEntry;

constexpr int kMaxPly = 81;            // stack records, plies 0..80
constexpr int kMaxGameMoves = 900;     // moves a game may carry in from the protocol
constexpr int kUndoCapacity = kMaxGameMoves + kMaxPly + 23;
// Room for every pseudo-legal move of any position that set-up accepts (at most 16 men a
// side, so no more than 15 queens and a king can be generating moves).
constexpr int kMaxMoves = 512;
constexpr int kMaxThreads = 512;

// Picker modes: everything, captures plus quiet checks, captures only; and one more that
// hands out every move in generation order with all promotions (perft wants no ordering).
constexpr uint8_t kPickAll = 4;
constexpr uint8_t kPickChecks = 3;
constexpr uint8_t kPickCaptures = 1;
constexpr uint8_t kPickUnordered = 8;

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
  position::UndoRecord undo[kUndoCapacity];
  StackRecord stack[kMaxPly];
  MoveEntry move_lists[kMaxPly][kMaxMoves];
  uint16_t history[16 * 64];
  Move counter1[16 * 64];
  Move counter2[16 * 64];
  Move followup[16 * 64];
  position::Position position;
  Move root_pv[kMaxPly];
  int16_t undo_index;
  int16_t ply;
  Move last_move;
  int16_t thread_number;
  uint8_t root_status;
  int8_t iteration_depth;
  int8_t seldepth;
  uint32_t random_state;
  int16_t last_score;
  uint64_t nodes;
  uint64_t tb_hits;
  uint64_t tt_probes;
  uint64_t tt_hits;
  // Evaluation state, owned by the evaluation and touched only by this thread.
  eval::Accumulator accumulator;
  eval::EvalCacheEntry eval_cache[eval::kEvalCacheSize];
  eval::PawnHashEntry pawn_hash[eval::kPawnHashSize];
  uint64_t eval_calls;
  uint64_t eval_cache_hits;
  uint64_t pawn_probes;
  uint64_t pawn_hits;
};

// min(depth, 8): how strongly one result moves a history value.
extern uint8_t history_weight[kMaxPly];

// Guards the per-depth node totals, the seeding of new blocks and the bad-hash-move report.
extern shell::SpinLock search_lock;

// The main block (its position is the one the protocol sets up) and the helper blocks.
extern SearchThread* main_thread;
extern SearchThread* thread_blocks[kMaxThreads];

// Allocates a zero-filled block bound to thread number n; null when memory runs out.
SearchThread* allocate_thread(int n);
void free_thread(SearchThread* thread);

// Copies the main block's position and history into block n (allocating it on first
// use) and resets its search state. Returns 0, or -1 when memory runs out.
int prepare_thread(int n);

// Points every stack record at its move-list area and sets ply 1.
void reset_stack(SearchThread& thread);
void clear_history(SearchThread& thread);
uint32_t thread_random(SearchThread& thread);

inline SearchThread& owner(const position::Position& pos) { return *pos.thread; }

}  // namespace search
