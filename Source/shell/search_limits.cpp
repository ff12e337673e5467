#include "shell/search_limits.h"

#include <cstring>

#include "base/settings.h"

namespace shell {

using base::settings;

KeptLimits kept_limits;

int moves_to_go(int moves_played) {
  int n = settings.moves_per_control;
  if (n == 0) return search::kMovesForWholeGame;
  if (settings.uci_mode == 1) return kept_limits.moves_to_go;
  return n * (moves_played / (2 * n) + 1) - moves_played / 2;
}

search::Limits game_search_limits(int side, int moves_played) {
  search::Limits limits = kept_limits.standing.search_limits();
  limits.fixed_time = settings.moves_per_control == 1;
  limits.move_time = settings.base_time;
  limits.increment = settings.increment;
  limits.time_left = limits.fixed_time ? settings.base_time : kept_limits.clock[side];
  limits.moves_to_go = limits.fixed_time ? 1 : moves_to_go(moves_played);
  std::memcpy(limits.search_moves, kept_limits.search_moves, sizeof(limits.search_moves));
  return limits;
}

void clock_to_fixed_time(int side) {
  if (settings.moves_per_control == 1) kept_limits.clock[side] = settings.base_time;
}

void take_settings_snapshot() {
  base::settings_snapshot = settings;
  kept_limits.standing_snapshot = kept_limits.standing;
}

}  // namespace shell
