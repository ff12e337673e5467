#include "search/thread.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace search {

base::SpinLock search_lock;
SearchThread* main_thread = nullptr;
SearchThread* thread_blocks[kMaxThreads];

SearchThread* allocate_thread(int n) {
  // Zero-filled memory, then the members that need construction (the atomics).
  void* memory = std::calloc(1, sizeof(SearchThread));
  if (!memory) return nullptr;
  SearchThread* thread = new (memory) SearchThread();
  thread->thread_number = static_cast<int16_t>(n);
  thread->position.game = &thread->game;
  search_lock.lock();
  thread->random_state = static_cast<uint32_t>(std::rand());
  search_lock.unlock();
  reset_stack(*thread);
  return thread;
}

void free_thread(SearchThread* thread) {
  if (!thread) return;
  eval::free_accumulators(thread->eval.accumulator);
  thread->~SearchThread();
  std::free(thread);
}

void reset_stack(SearchThread& thread) {
  for (int ply = 0; ply < kMaxPly; ++ply) {
    thread.stack[ply].list_start = thread.move_lists[ply];
    thread.stack[ply].next = thread.move_lists[ply];
    thread.stack[ply].current = nullptr;
  }
  thread.game.ply = 1;
}

int prepare_thread(int n, const position::Position& root) {
  SearchThread*& block = thread_blocks[n];
  if (!block) block = allocate_thread(n);
  if (!block) return -1;
  SearchThread& thread = *block;
  // Only the records in use are copied: the history is far larger than a short game's.
  const position::GameHistory& game = *root.game;
  thread.position = root;
  thread.position.game = &thread.game;
  std::memcpy(thread.game.undo, game.undo, sizeof(position::UndoRecord) * (game.undo_index + 1));
  thread.game.undo_index = game.undo_index;
  thread.game.last_move = game.last_move;
  // The copied history keeps its moves, so the repetition walk reaches the position the
  // game was set up from; only the record after the last one is closed.
  thread.game.undo[thread.game.undo_index + 1].move = 0;
  thread.stack[0].node_type = 0;
  thread.stack[1].node_type = 0;
  std::memset(thread.root_pv, 0, sizeof(thread.root_pv));
  reset_stack(thread);
  thread.root_status = 0;
  thread.iteration_depth = 0;
  thread.root_move = 0;
  thread.seldepth = 0;
  thread.nodes = 0;
  thread.tb_hits = 0;
  thread.tt_probes = 0;
  thread.tt_hits = 0;
  return 0;
}

void clear_history(SearchThread& thread) {
  for (StackRecord& record : thread.stack) {
    record.tt_move = 0;
    record.killer1 = record.killer2 = record.check_killer = 0;
  }
  std::memset(thread.counter1, 0, sizeof(thread.counter1));
  std::memset(thread.counter2, 0, sizeof(thread.counter2));
  std::memset(thread.followup, 0, sizeof(thread.followup));
  for (uint16_t& value : thread.history) value = 4096;
}

uint32_t thread_random(SearchThread& thread) {
  thread.random_state = (thread.random_state & 0xFFFF) * 36969 + (thread.random_state >> 16);
  return thread.random_state;
}

}  // namespace search
