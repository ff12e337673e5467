// The match: rounds of one opening each, spread over worker threads that each keep a
// pair of engine processes; results counted, printed and written as they come, and the
// SPRT stopping it when a bound is crossed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "match/config.h"
#include "match/openings.h"
#include "match/pgn.h"
#include "match/scoreboard.h"

namespace match {

class Tournament {
 public:
  Tournament(const MatchConfig& config, const OpeningBook& book);
  // Plays the match; 0 when it ran to its end or to an SPRT verdict, 1 on a failure
  // (an engine that cannot be started, a PGN file that cannot be opened).
  int run();

 private:
  void worker();
  void report(const GameRecord& game, bool first_is_white, int64_t round);
  void fail(const std::string& message);

  const MatchConfig& config_;
  const OpeningBook& book_;
  std::atomic<int64_t> next_game_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards what follows, and standard output
  Scoreboard scoreboard_;
  PgnWriter pgn_;
  std::string date_;
  int64_t finished_ = 0;
  bool failed_ = false;
};

}  // namespace match
