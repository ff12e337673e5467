#include "match/stats.h"

#include <cmath>

namespace match {

namespace {

// The 97.5% quantile of the standard normal distribution.
constexpr double kZ95 = 1.959963984540054;

// Mean and variance of a sample given as counts of the values x[i].
struct Moments {
  double n = 0, mean = 0, variance = 0;
};

template <int K>
Moments moments(const int64_t (&counts)[K], const double (&x)[K]) {
  Moments m;
  for (int i = 0; i < K; ++i) m.n += static_cast<double>(counts[i]);
  if (m.n == 0) return m;
  for (int i = 0; i < K; ++i) m.mean += static_cast<double>(counts[i]) * x[i];
  m.mean /= m.n;
  for (int i = 0; i < K; ++i) m.variance += static_cast<double>(counts[i]) * (x[i] - m.mean) * (x[i] - m.mean);
  m.variance /= m.n;
  return m;
}

EloEstimate estimate(const Moments& m) {
  EloEstimate e;
  if (m.n == 0) return e;
  e.score = m.mean;
  e.elo = score_to_elo(m.mean);
  if (m.variance <= 0) return e;
  double half = kZ95 * std::sqrt(m.variance / m.n);
  e.lower = score_to_elo(m.mean - half);
  e.upper = score_to_elo(m.mean + half);
  e.valid = true;
  return e;
}

// The normal approximation of the log-likelihood ratio: with n samples of mean `mean`
// and variance `variance`, and s0, s1 the expected scores under the two hypotheses,
// LLR = n (s1 - s0) (2 mean - s0 - s1) / (2 variance). Results that are all alike have
// no variance to measure: they count as no evidence yet (0), not as proof.
double llr(const Moments& m, const SprtSetup& setup) {
  if (m.n == 0 || m.variance <= 0) return 0;
  double s0 = elo_to_score(setup.elo0), s1 = elo_to_score(setup.elo1);
  return m.n * (s1 - s0) * (2 * m.mean - s0 - s1) / (2 * m.variance);
}

Moments moments_of(const Trinomial& r) {
  const int64_t counts[3] = {r.losses, r.draws, r.wins};
  constexpr double x[3] = {0, 0.5, 1};
  return moments(counts, x);
}

// A pair counts as one sample: its mean points per game.
Moments moments_of(const Pentanomial& p) {
  constexpr double x[5] = {0, 0.25, 0.5, 0.75, 1};
  return moments(p.counts, x);
}

}  // namespace

double elo_to_score(double elo) { return 1 / (1 + std::pow(10.0, -elo / 400)); }

double score_to_elo(double score) {
  constexpr double kEdge = 1e-9;
  if (score < kEdge) score = kEdge;
  if (score > 1 - kEdge) score = 1 - kEdge;
  return -400 * std::log10(1 / score - 1);
}

EloEstimate estimate_elo(const Trinomial& results) { return estimate(moments_of(results)); }
EloEstimate estimate_elo(const Pentanomial& pairs) { return estimate(moments_of(pairs)); }

double sprt_lower_bound(const SprtSetup& setup) { return std::log(setup.beta / (1 - setup.alpha)); }
double sprt_upper_bound(const SprtSetup& setup) { return std::log((1 - setup.beta) / setup.alpha); }

double sprt_llr(const Trinomial& results, const SprtSetup& setup) { return llr(moments_of(results), setup); }
double sprt_llr(const Pentanomial& pairs, const SprtSetup& setup) { return llr(moments_of(pairs), setup); }

SprtVerdict sprt_verdict(double value, const SprtSetup& setup) {
  if (value >= sprt_upper_bound(setup)) return SprtVerdict::kAcceptH1;
  if (value <= sprt_lower_bound(setup)) return SprtVerdict::kAcceptH0;
  return SprtVerdict::kContinue;
}

}  // namespace match
