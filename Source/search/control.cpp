#include "search/control.h"

#include <chrono>
#include <cstring>

#include "eval/score.h"

namespace search {

SearchControl control;

namespace {

std::atomic<double> start_time{0.0};

double monotonic_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void set_default_control(SearchControl& c) {
  c.tt_enabled = 1;
  c.tt_age = 0;
  c.state = 0;
  c.target_nps = 0;
  c.nps_limited = 0;
  c.target_time = 1.0f;
  c.elapsed = 0;
  c.abort = 0;
  c.iteration_depth = 0;
  c.published_depth = 0;
  c.published_score = 0;
  c.best_move = 0;
  c.ponder_move = 0;
  std::memset(c.pv, 0, sizeof(c.pv));
  c.pv_key = 0;
  for (auto& score : c.score_by_depth) score = eval::kNoScore;
  c.best_move_change_depth = 0;
  c.single_reply = 0;
  c.last_reported_depth = 0;
  std::memset(c.nodes_by_depth, 0, sizeof(c.nodes_by_depth));
  c.root_tb_result = -1;
  c.root_tb_move = position::kNoMove;
  c.min_nodes = 0;
  std::memset(c.statistics, 0, sizeof(c.statistics));
  c.limits = Limits{};
}

void search_timer(int reset) {
  if (reset) {
    start_time = monotonic_seconds();
    control.elapsed = 0.0f;
  } else {
    control.elapsed = static_cast<float>(monotonic_seconds() - start_time + 0.0001);
  }
}

}  // namespace search
