// The match's running count from the first engine's view: results, game pairs, and the
// report lines (score, Elo with its interval, SPRT) they give.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "match/game.h"
#include "match/stats.h"

namespace match {

class Scoreboard {
 public:
  Scoreboard(std::string first, std::string second, bool pairs) : first_(std::move(first)), second_(std::move(second)), pairs_(pairs) {}

  // Counts a finished game of round `round` (from 0), the first engine playing white
  // when `first_is_white`.
  void add(GameResult result, bool first_is_white, int64_t round);

  const Trinomial& results() const { return results_; }
  const Pentanomial& pair_results() const { return pair_results_; }
  // Pentanomial statistics when the match plays pairs, else trinomial.
  EloEstimate elo() const;
  double llr(const SprtSetup& setup) const;

  // "Score of A vs B: 3 - 1 - 2  [0.667] 6"
  std::string score_line() const;
  // "Elo: +34.9 (95%: +1.0 .. +69.4) ..." and, for pairs, the pentanomial counts.
  std::string elo_line() const;
  // "SPRT (elo0 0, elo1 10, alpha 0.05, beta 0.05): LLR 1.01 [-2.94, 2.94] continuing"
  std::string sprt_line(const SprtSetup& setup) const;

 private:
  std::string first_, second_;
  bool pairs_;
  Trinomial results_;
  Pentanomial pair_results_;
  std::map<int64_t, int> open_pairs_;  // round -> half points of the pair's first game
};

}  // namespace match
