#include "match/time_control.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace match {

namespace {

bool parse_number(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && *end == 0 && std::isfinite(value) && value >= 0;
}

// Milliseconds as seconds text without trailing zeros: 80 -> "0.08", 8000 -> "8".
std::string seconds_text(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%lld.%03lld", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

bool parse_seconds(const std::string& text, int64_t& ms) {
  double seconds;
  if (!parse_number(text, seconds)) return false;
  ms = std::llround(seconds * 1000);
  return true;
}

bool parse_time_control(const std::string& text, Limits& limits) {
  std::string rest = text;
  int moves = 0;
  if (size_t slash = rest.find('/'); slash != std::string::npos) {
    double value;
    if (!parse_number(rest.substr(0, slash), value) || value < 1 || value != std::floor(value)) return false;
    moves = static_cast<int>(value);
    rest = rest.substr(slash + 1);
  }
  int64_t increment = 0;
  if (size_t plus = rest.find('+'); plus != std::string::npos) {
    if (!parse_seconds(rest.substr(plus + 1), increment)) return false;
    rest = rest.substr(0, plus);
  }
  int64_t base = 0;
  if (size_t colon = rest.find(':'); colon != std::string::npos) {
    int64_t minutes_ms, seconds_ms;
    if (!parse_seconds(rest.substr(0, colon), minutes_ms) || !parse_seconds(rest.substr(colon + 1), seconds_ms))
      return false;
    base = minutes_ms * 60 + seconds_ms;
  } else if (!parse_seconds(rest, base)) {
    return false;
  }
  if (base <= 0) return false;
  limits.base_ms = base;
  limits.increment_ms = increment;
  limits.moves_per_period = moves;
  return true;
}

std::string pgn_time_control(const Limits& limits) {
  if (limits.has_clock()) {
    std::string text = limits.moves_per_period ? std::to_string(limits.moves_per_period) + "/" : "";
    text += seconds_text(limits.base_ms);
    if (limits.increment_ms) {
      text += '+';
      text += seconds_text(limits.increment_ms);
    }
    return text;
  }
  if (limits.move_time_ms) return seconds_text(limits.move_time_ms) + "/move";
  return "-";
}

Clock::Clock(const Limits& limits) : limits_(limits), remaining_ms_(limits.base_ms) {}

int Clock::moves_to_go() const {
  return limits_.moves_per_period ? limits_.moves_per_period - moves_made_ % limits_.moves_per_period : 0;
}

bool Clock::charge(int64_t elapsed_ms) {
  bool in_time = true;
  if (limits_.move_time_ms && elapsed_ms > limits_.move_time_ms + limits_.margin_ms) in_time = false;
  if (limits_.has_clock()) {
    remaining_ms_ -= elapsed_ms;
    if (remaining_ms_ < -limits_.margin_ms) in_time = false;
    if (remaining_ms_ < 0) remaining_ms_ = 0;
    remaining_ms_ += limits_.increment_ms;
    ++moves_made_;
    if (limits_.moves_per_period && moves_made_ % limits_.moves_per_period == 0) remaining_ms_ += limits_.base_ms;
  }
  return in_time;
}

int64_t Clock::wait_limit_ms(int64_t grace_ms, int64_t no_limit_ms) const {
  if (limits_.has_clock()) return remaining_ms_ + limits_.margin_ms + grace_ms;
  if (limits_.move_time_ms) return limits_.move_time_ms + limits_.margin_ms + grace_ms;
  return no_limit_ms + grace_ms;
}

}  // namespace match
