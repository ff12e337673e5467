// Match statistics: the Elo difference with its 95% interval, and the sequential
// probability ratio test on game results (trinomial) or game pairs (pentanomial), in the
// normal approximation with logistic Elo.
#pragma once

#include <cstdint>

namespace match {

// Losses, draws and wins of the first engine.
struct Trinomial {
  int64_t losses = 0, draws = 0, wins = 0;
  int64_t games() const { return losses + draws + wins; }
};

// Game pairs (one opening, both colours) by the first engine's points in the pair:
// counts[0] = 0 points (two losses) .. counts[4] = 2 points (two wins).
struct Pentanomial {
  int64_t counts[5] = {0, 0, 0, 0, 0};
  int64_t pairs() const { return counts[0] + counts[1] + counts[2] + counts[3] + counts[4]; }
};

// Logistic Elo: the expected score of a player `elo` points stronger, and back.
double elo_to_score(double elo);
double score_to_elo(double score);

struct EloEstimate {
  bool valid = false;  // false without results, or with a variance of zero
  double score = 0;    // mean points per game
  double elo = 0;
  double lower = 0, upper = 0;  // the 95% interval
};

// Estimates from game results, or from pairs (whose variance accounts for the openings).
EloEstimate estimate_elo(const Trinomial& results);
EloEstimate estimate_elo(const Pentanomial& pairs);

struct SprtSetup {
  double elo0 = 0, elo1 = 5, alpha = 0.05, beta = 0.05;
};

// The log-likelihood ratio bounds: accept H0 (elo0) at or below the lower, H1 (elo1) at or
// above the upper.
double sprt_lower_bound(const SprtSetup& setup);
double sprt_upper_bound(const SprtSetup& setup);

// The log-likelihood ratio of elo1 against elo0 for the observed results.
double sprt_llr(const Trinomial& results, const SprtSetup& setup);
double sprt_llr(const Pentanomial& pairs, const SprtSetup& setup);

enum class SprtVerdict { kContinue, kAcceptH0, kAcceptH1 };
SprtVerdict sprt_verdict(double llr, const SprtSetup& setup);

}  // namespace match
