#include "search/timeman.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/settings.h"
#include "search/control.h"
#include "search/thread.h"

namespace search {

using base::settings;

namespace {

// Extra share of the remaining time when the search is in trouble or unsettled.
float trouble_share() {
  int score = control.published_score;
  int margin = std::abs(score) > 335 ? std::abs(score) / 16 : 20;
  int depth = control.iteration_depth;
  float extra = 0.0f;
  const SearchThread* main = thread_blocks[0];
  int status = main ? main->root_status.load() : 0;
  if (status == 1) {
    extra += 0.2f;
  } else if (status == 2) {
    extra += 0.04f;
  } else if (depth >= 4 && score <= control.score_by_depth[depth - 1] - margin &&
             score <= control.score_by_depth[depth - 2] - margin) {
    extra += 0.04f;
  }
  if (depth >= 5 && control.best_move_change_depth >= depth - 2) extra += 0.01f;
  for (int i = 1; i < settings.threads && i < kMaxThreads; ++i) {
    const SearchThread* helper = thread_blocks[i];
    if (!helper) continue;
    if (helper->iteration_depth >= control.published_depth && helper->root_move != control.best_move &&
        helper->last_score >= score + margin) {
      extra += 0.02f;
      break;
    }
  }
  return extra;
}

}  // namespace

void time_check() {
  search_timer(0);
  const Limits& limits = control.limits;
  float clock = limits.time_left;
  float inc = limits.increment;
  double inc_part = inc > 0 ? static_cast<double>(inc) * clock / (clock + 2.0 * inc) : 0.0;
  bool searching = control.state & (kThinking | kFixedSearch);
  double overhead = settings.move_overhead / 1000.0;
  // A legal move is published before the first root move is searched, so the search may
  // be stopped at any depth: the first iteration is no exception to the time limits.
  bool first_iteration = control.iteration_depth < 2;

  if (limits.fixed_time) {
    control.target_time = limits.move_time;
    if (searching && control.elapsed >= limits.move_time + inc_part) control.abort = 1;
    return;
  }
  float remaining = std::max(clock - control.elapsed, 0.0f);
  float share = 1.0f / (std::max(limits.moves_to_go, 1) + 1);  // "movestogo 0" must not spend the whole clock
  if (settings.ponder) share *= 1.25f;
  control.target_time = static_cast<float>(share * remaining + inc_part);
  // Never plan past the clock: the increment arrives only after the move.
  double last_moment = std::max(0.005, clock - overhead);
  if (!thread_blocks[0] || !searching) return;
  if (first_iteration) {
    double hard_limit = std::min(last_moment, std::max(0.005, 5.0 * control.target_time));
    if (control.elapsed >= hard_limit) control.abort = 1;
    return;
  }

  share += trouble_share();
  double target = remaining * share + inc_part - overhead;
  target = std::max(target, 0.005);
  if (control.root_tb_result != -1) target *= 0.5;
  target = std::min(target, last_moment);
  control.target_time = static_cast<float>(target);
  if (control.elapsed >= control.target_time) control.abort = 1;
  if (control.single_reply == 1 && control.iteration_depth >= 6) control.abort = 1;
}

double elo_from_nps(double nps) {
  double l = std::log(nps);
  return 850 + 250 * l - 5 * l * l;
}

double clamp_rate(double nps) {
  if (!(nps >= kLowestRate)) return kLowestRate;
  return nps > kHighestRate ? kHighestRate : nps;
}

double nps_for_elo(double elo) {
  double lowest = elo_from_nps(kLowestRate), highest = elo_from_nps(kHighestRate);
  elo = std::clamp(elo, lowest, highest);
  double low = kLowestRate, high = kHighestRate, mid = (low + high) / 2;
  for (int i = 0; i < 200; ++i) {
    mid = (low + high) / 2;
    double found = elo_from_nps(mid);
    if (std::fabs(found - elo) < 0.5) break;
    if (elo > found) low = mid;
    else high = mid;
  }
  return mid;
}

void set_strength_limit() {
  control.target_nps = settings.calibration_nps;
  control.nps_limited = 0;
  if (!settings.limit_strength || settings.uci_elo <= 0) return;
  double rate = nps_for_elo(settings.uci_elo);
  control.target_nps = static_cast<float>(rate);
  control.nps_limited = 0.9 * settings.calibration_nps > rate ? 1 : 0;
}

}  // namespace search
