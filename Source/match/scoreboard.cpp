#include "match/scoreboard.h"

#include <cstdio>

namespace match {

namespace {

std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
  char text[128];
  std::snprintf(text, sizeof(text), pattern, a, b, c, d);
  return text;
}

}  // namespace

void Scoreboard::add(GameResult result, bool first_is_white, int64_t round) {
  if (result == GameResult::kUnfinished) return;
  int half_points = 1;
  if (result != GameResult::kDraw) half_points = (result == GameResult::kWhiteWins) == first_is_white ? 2 : 0;
  if (half_points == 2) ++results_.wins;
  else if (half_points == 1) ++results_.draws;
  else ++results_.losses;
  if (!pairs_) return;
  auto open = open_pairs_.find(round);
  if (open == open_pairs_.end()) {
    open_pairs_[round] = half_points;
  } else {
    ++pair_results_.counts[open->second + half_points];
    open_pairs_.erase(open);
  }
}

EloEstimate Scoreboard::elo() const { return pairs_ ? estimate_elo(pair_results_) : estimate_elo(results_); }

double Scoreboard::llr(const SprtSetup& setup) const {
  return pairs_ ? sprt_llr(pair_results_, setup) : sprt_llr(results_, setup);
}

std::string Scoreboard::score_line() const {
  int64_t games = results_.games();
  double points = static_cast<double>(results_.wins) + 0.5 * static_cast<double>(results_.draws);
  return "Score of " + first_ + " vs " + second_ + ": " + std::to_string(results_.wins) + " - " +
         std::to_string(results_.losses) + " - " + std::to_string(results_.draws) +
         format("  [%.3f] ", games ? points / static_cast<double>(games) : 0.0) + std::to_string(games);
}

std::string Scoreboard::elo_line() const {
  EloEstimate e = elo();
  std::string line;
  if (e.valid) line = format("Elo: %+.1f (95%%: %+.1f .. %+.1f), score %.3f", e.elo, e.lower, e.upper, e.score);
  else line = "Elo: not yet measurable";
  if (pairs_) {
    const int64_t* n = pair_results_.counts;
    line += ", pairs by points 0, 0.5, 1, 1.5, 2: " + std::to_string(n[0]) + " " + std::to_string(n[1]) + " " +
            std::to_string(n[2]) + " " + std::to_string(n[3]) + " " + std::to_string(n[4]);
  }
  return line;
}

std::string Scoreboard::sprt_line(const SprtSetup& setup) const {
  double value = llr(setup);
  const char* verdict = "continuing";
  switch (sprt_verdict(value, setup)) {
    case SprtVerdict::kAcceptH0: verdict = "H0 accepted"; break;
    case SprtVerdict::kAcceptH1: verdict = "H1 accepted"; break;
    case SprtVerdict::kContinue: break;
  }
  return format("SPRT (elo0 %g, elo1 %g, alpha %g, beta %g): ", setup.elo0, setup.elo1, setup.alpha, setup.beta) +
         format("LLR %.2f [%.2f, %.2f] ", value, sprt_lower_bound(setup), sprt_upper_bound(setup)) + verdict;
}

}  // namespace match
