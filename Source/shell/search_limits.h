// The limits the shell keeps from one search to the next, and the fresh record it hands
// each search. The standing depth and node limits and the clocks live here; the level (the
// command line's -t, the console's level, UCI "go movetime") lives in the settings record.
#pragma once

#include "position/position.h"
#include "search/limits.h"

namespace shell {

struct KeptLimits {
  // The command line's -d, -n, -md and -mn, changed by the console's "an", "depth" and
  // "set", and what UCI "go depth", "nodes", "movestogo" and "infinite" leave for the
  // next "go".
  search::StandingLimits standing;
  // What "set ss 1" goes back to: taken with the settings snapshot.
  search::StandingLimits standing_snapshot;
  // Each side's clock in seconds: "go wtime" and "btime" set them, a new game and the
  // console's level reset them, and each move the engine plays is charged to its side.
  float clock[2] = {5.0f, 5.0f};
  // What the last "go movestogo" said.
  int moves_to_go = 0;
  // The root moves the last "go searchmoves" allowed, ending with 0; empty means all.
  position::Move search_moves[position::kMaxMoves] = {};
};

extern KeptLimits kept_limits;

// The moves the clock must last at this point of the game: the whole game's share when
// the level has no move count, what "go movestogo" said under UCI, and on the console the
// moves left until the next control of the level.
int moves_to_go(int moves_played);

// The limits of a search by `side` after `moves_played` half-moves: the standing limits,
// that side's clock (with a fixed time per move, that time) and the kept root moves.
search::Limits game_search_limits(int side, int moves_played);

// A fixed time per move is what the engine's move is charged against: the mover's clock
// is set to it before the search, as "bestmove" and the clock update read it after.
void clock_to_fixed_time(int side);

// Takes what "uci" reports as the option defaults and "set ss 1" restores: the settings
// and the standing limits as they are now.
void take_settings_snapshot();

}  // namespace shell
