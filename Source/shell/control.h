// The record through which the command loop, the game driver and the search talk:
// state flags, clocks, limits and the published result.
#pragma once

#include <cstdint>

#include "position/types.h"

namespace shell {

// State flags.
constexpr uint16_t kThinking = 1, kPondering = 2, kFixedSearch = 4, kSearchRequested = 16,
                   kPonderRequested = 32, kResultReady = 64, kStopRequested = 128;

struct SearchControl {
  uint8_t tt_enabled;
  int16_t tt_age;
  uint16_t state;
  float target_nps;
  uint16_t nps_limited;
  float clock[2];
  int16_t moves_to_go;
  float target_time;
  float elapsed;
  uint8_t abort;
  int8_t iteration_depth;
  int8_t published_depth;
  int16_t published_score;
  position::Move best_move;
  position::Move ponder_move;
  position::Move pv[81];
  int16_t score_by_depth[81];
  int8_t best_move_change_depth;
  uint8_t single_reply;
  int8_t last_reported_depth;
  uint64_t nodes_by_depth[81];
  int32_t root_tb_result;
  uint64_t statistics[8];
  int32_t debug_counters[4];
};

extern SearchControl control;

// The state is changed by the input side and the search threads at once: these updates
// are atomic, so neither side can lose the other's flag.
inline void add_state(uint16_t flags) { __atomic_fetch_or(&control.state, flags, __ATOMIC_SEQ_CST); }
// Pondering becomes thinking, if the search is still pondering.
inline void ponder_hit() {
  uint16_t state = __atomic_load_n(&control.state, __ATOMIC_SEQ_CST);
  while (state & kPondering) {
    uint16_t next = static_cast<uint16_t>((state & ~kPondering) | kThinking);
    if (__atomic_compare_exchange_n(&control.state, &state, next, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) return;
  }
}

// Start-up values of the record.
void set_default_control(SearchControl& c);

// With reset non-zero, restarts the search clock; otherwise updates control.elapsed.
void search_timer(int reset);

}  // namespace shell
