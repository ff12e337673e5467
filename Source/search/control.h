// The record through which the command loop, the game driver and the search talk:
// state flags, the running search's limits and the published result.
//
// The fields that the input side, the supervising thread and the search threads touch
// while a search runs are atomics; the rest are written only while no search runs, or
// read only after its threads have been joined.
#pragma once

#include <atomic>
#include <cstdint>

#include "position/position.h"
#include "search/limits.h"

namespace search {

using position::Move;

// State flags.
constexpr uint16_t kThinking = 1, kPondering = 2, kFixedSearch = 4, kSearchRequested = 16,
                   kPonderRequested = 32, kResultReady = 64, kStopRequested = 128;

struct SearchControl {
  uint8_t tt_enabled;
  int16_t tt_age;
  std::atomic<uint16_t> state;
  float target_nps;
  uint16_t nps_limited;
  std::atomic<float> target_time;
  std::atomic<float> elapsed;
  std::atomic<uint8_t> abort;
  std::atomic<int8_t> iteration_depth;
  std::atomic<int8_t> published_depth;
  std::atomic<int16_t> published_score;
  std::atomic<Move> best_move;
  Move ponder_move;
  Move pv[position::kMaxPly];
  uint64_t pv_key;  // the key of the position the last search started from, where pv begins
  std::atomic<int16_t> score_by_depth[position::kMaxPly];
  std::atomic<int8_t> best_move_change_depth;
  std::atomic<uint8_t> single_reply;
  int8_t last_reported_depth;
  uint64_t nodes_by_depth[position::kMaxPly];
  std::atomic<int32_t> root_tb_result;
  position::Move root_tb_move;  // the move the DTZ choice played, 0 when none
  uint64_t min_nodes;  // the node count below which -md does not stop this search
  uint64_t statistics[8];
  Limits limits;  // the running search's, copied in at its start
};

extern SearchControl control;

// The state is changed by the input side and the search threads at once: these updates
// are atomic, so neither side can lose the other's flag.
inline void add_state(uint16_t flags) { control.state.fetch_or(flags); }
// Pondering becomes thinking, if the search is still pondering.
inline void ponder_hit() {
  uint16_t state = control.state.load();
  while (state & kPondering) {
    uint16_t next = static_cast<uint16_t>((state & ~kPondering) | kThinking);
    if (control.state.compare_exchange_weak(state, next)) return;
  }
}

// Start-up values of the record.
void set_default_control(SearchControl& c);

// With reset non-zero, restarts the search clock; otherwise updates control.elapsed.
void search_timer(int reset);

}  // namespace search
