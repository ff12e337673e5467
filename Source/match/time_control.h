// What each engine may spend: a clock with increment (optionally a number of moves per
// period), a fixed time per move, fixed nodes or a fixed depth; and the clock the runner
// keeps for one side of a game.
#pragma once

#include <cstdint>
#include <string>

namespace match {

struct Limits {
  int64_t base_ms = 0;       // clock time per period; 0 for no clock
  int64_t increment_ms = 0;
  int moves_per_period = 0;  // 0 for the whole game in one period
  int64_t move_time_ms = 0;  // a fixed time per move; 0 for none
  int64_t nodes = 0;
  int depth = 0;
  int64_t margin_ms = 0;     // how far a move may overrun the clock before it loses

  bool has_clock() const { return base_ms > 0; }
  bool has_any_limit() const { return has_clock() || move_time_ms > 0 || nodes > 0 || depth > 0; }
};

// Reads a clock "[moves/]seconds[+increment]" ("8+0.08", "40/60", "60+0.6", also
// "min:sec"). Returns false for text it cannot read.
bool parse_time_control(const std::string& text, Limits& limits);
// Seconds as text ("0.5", "8") into milliseconds; false for text that is no number >= 0.
bool parse_seconds(const std::string& text, int64_t& ms);

// The PGN TimeControl tag value: "8+0.08", "40/60", "-" without a clock.
std::string pgn_time_control(const Limits& limits);

// One side's clock. A move that takes longer than the time left (or than the fixed move
// time) by more than the margin loses.
class Clock {
 public:
  explicit Clock(const Limits& limits);
  int64_t remaining_ms() const { return remaining_ms_; }
  int moves_to_go() const;
  // Charges a move of `elapsed_ms`; false when it overran. Adds the increment and, at the
  // end of a period, the next period's time.
  bool charge(int64_t elapsed_ms);
  // How long a move may take before the runner stops waiting: what the move may
  // use, plus `grace_ms`. Without a clock or a move time, `no_limit_ms` plus the grace.
  int64_t wait_limit_ms(int64_t grace_ms, int64_t no_limit_ms) const;

 private:
  Limits limits_;
  int64_t remaining_ms_;
  int moves_made_ = 0;
};

}  // namespace match
