#include "shell/control.h"

#include <chrono>
#include <cstring>

namespace shell {

SearchControl control;

namespace {

double start_time = 0.0;

double monotonic_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void set_default_control(SearchControl& c) {
  std::memset(&c, 0, sizeof(c));
  c.clock[0] = c.clock[1] = 5.0f;
  c.target_time = 1.0f;
  c.tt_enabled = 1;
  c.root_tb_result = -1;
  for (int16_t& score : c.score_by_depth) score = -10001;
}

void search_timer(int reset) {
  if (reset) {
    start_time = monotonic_seconds();
    control.elapsed = 0.0f;
  } else {
    control.elapsed = static_cast<float>(monotonic_seconds() - start_time + 0.0001);
  }
}

}  // namespace shell
