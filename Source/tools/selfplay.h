// "-gentraindata": training positions from games the engine plays against itself, each
// labelled with its search score ("ce") and the game's result for the side to move ("gr").
// Games start from a collection of opening positions, searches have a little evaluation
// noise so that no two games from one opening are alike, and only quiet positions are
// kept: no capture found, no check, no capture sequence pending at the root.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/limits.h"

namespace tools {

// The openings the generator reads from the working directory when the command line
// names no other file.
inline constexpr const char* kOpeningsFile = "mybook_6mv.epd";

// What one search makes of the game: whether it ends here, and the result for the side
// to move when it does (1 won, 0 lost, 0.5 drawn or undecided). `average` is the running
// average of the absolute scores before this one, `plies` the moves played so far.
struct Adjudication {
  bool ends = false;
  double mover_result = 0.5;
};
Adjudication adjudicate(int score, int average, int plies);

// One searched position of a game: its line ("FEN ce score;"), empty when the position
// was not quiet, and the side to move.
struct SelfplayPly {
  std::string record;
  int side = 0;
};

// The lines a finished game gives: from the ninth ply on, each recorded position with
// probability one half (`coin` returns a number whose value mod 100 decides), with
// " gr result;" added for the side to move, at most `limit` lines. Nothing for games of
// fewer than 20 plies, whose few positions lean on their opening.
std::string selfplay_game_lines(const std::vector<SelfplayPly>& plies, const double (&result)[2], uint64_t limit,
                                uint32_t (*coin)());

// Plays games, searching within the `standing` limits, until `count` positions are written to `output`, which must not exist yet,
// appending each finished game at once, so that a run stopped early (Ctrl-C, or a kill)
// keeps every game it finished and no line in part. The openings come from `openings`,
// kOpeningsFile when that is empty. Returns the run's exit code: a run stopped by Ctrl-C succeeds with what it wrote; one that cannot read its
// openings, write its output or find games worth keeping fails.
int generate_selfplay_epd(const std::string& openings, const std::string& output, uint64_t count,
                          const search::StandingLimits& standing);

}  // namespace tools
