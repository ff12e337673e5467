#include "search/thread.h"

#include <cstdlib>
#include <cstring>
#include <new>


namespace search {

uint8_t history_weight[kMaxPly];
shell::SpinLock search_lock;
SearchThread* main_thread = nullptr;
SearchThread* thread_blocks[kMaxThreads];

SearchThread* allocate_thread(int n) {
  void* memory = std::calloc(1, sizeof(SearchThread));
  if (!memory) return nullptr;
  SearchThread* thread = static_cast<SearchThread*>(memory);
  thread->thread_number = static_cast<int16_t>(n);
  thread->position.thread = thread;
  search_lock.lock();
  thread->random_state = static_cast<uint32_t>(std::rand());
  search_lock.unlock();
  reset_stack(*thread);
  return thread;
}

void free_thread(SearchThread* thread) {
  if (!thread) return;
  eval::free_accumulators(thread->accumulator);
  std::free(thread);
}

void reset_stack(SearchThread& thread) {
  for (int ply = 0; ply < kMaxPly; ++ply) {
    thread.stack[ply].list_start = thread.move_lists[ply];
    thread.stack[ply].next = thread.move_lists[ply];
    thread.stack[ply].current = nullptr;
  }
  thread.ply = 1;
}

int prepare_thread(int n) {
  SearchThread*& block = thread_blocks[n];
  if (!block) block = allocate_thread(n);
  if (!block) return -1;
  SearchThread& thread = *block;
  thread.position = main_thread->position;
  thread.position.thread = &thread;
  std::memcpy(thread.undo, main_thread->undo, sizeof(position::UndoRecord) * (main_thread->undo_index + 1));
  thread.undo_index = main_thread->undo_index;
  thread.last_move = main_thread->last_move;
  // The copied history keeps its moves, so the repetition walk reaches the position the
  // game was set up from; only the record after the last one is closed.
  thread.undo[thread.undo_index + 1].move = 0;
  thread.stack[0].node_type = 0;
  thread.stack[1].node_type = 0;
  std::memset(thread.root_pv, 0, sizeof(thread.root_pv));
  reset_stack(thread);
  thread.root_status = 0;
  thread.iteration_depth = 0;
  thread.seldepth = 0;
  thread.nodes = thread.tb_hits = thread.tt_probes = thread.tt_hits = 0;
  return 0;
}

void clear_history(SearchThread& thread) {
  for (StackRecord& record : thread.stack) {
    record.tt_move = 0;
    record.killer1 = record.killer2 = record.check_killer = 0;
  }
  for (int d = 0; d < kMaxPly; ++d) history_weight[d] = static_cast<uint8_t>(d < 8 ? d : 8);
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
