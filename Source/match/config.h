// Everything a match run is told on its command line, and the reading of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "match/engine_setup.h"
#include "match/openings.h"
#include "match/stats.h"

namespace match {

// Resign when one engine has reported at most -score for `move_count` moves in a row
// and, when two-sided, its opponent at least +score for as many.
struct ResignRule {
  int move_count = 0;  // 0: off
  int score = 0;       // centipawns
  bool two_sided = true;
};

// A draw when, from move `move_number` on, both engines have reported scores within
// +-score for `move_count` moves in a row each.
struct DrawRule {
  int move_number = 0;
  int move_count = 0;  // 0: off
  int score = 0;
};

struct MatchConfig {
  EngineSetup engines[2];
  OpeningSource openings;
  int games_per_round = 2;  // 2: each opening with both colours, a game pair
  int64_t rounds = 1;
  int concurrency = 1;
  bool sprt_on = false;
  SprtSetup sprt;
  ResignRule resign;
  DrawRule draw;
  int max_moves = 0;           // a draw after this many full moves; 0: no limit
  std::string tb_paths;        // tablebase folders for adjudication; empty: none
  int tb_men = 0;              // most men to adjudicate by tables; 0: as many as loaded
  std::string pgn_file;
  std::string event = "Nesk match";
  int64_t grace_ms = 5000;     // waited past an engine's clock before it hangs
  int64_t no_limit_ms = 60000; // a move's wait without clock or move time, before the grace
  int rating_interval = 10;    // games between Elo reports; 0: only at the end
};

// Reads the arguments (without the program name). False with `error` set when they do
// not make a match.
bool parse_command_line(const std::vector<std::string>& arguments, MatchConfig& config, std::string& error);

// The command-line summary printed for -help and after a bad argument.
const char* usage_text();

}  // namespace match
