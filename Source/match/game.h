// One game between two engines from an opening, refereed move by move: the clocks, the
// legality of every move, crashes, hangs, the rules' ends and adjudication.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "match/config.h"
#include "match/openings.h"
#include "match/uci_engine.h"

namespace match {

enum class GameResult { kWhiteWins, kBlackWins, kDraw, kUnfinished };

struct PlayedMove {
  std::string san;
  std::string comment;  // "+0.35/12 1.2s", "book"
};

struct GameRecord {
  std::string white, black;
  std::string start_fen;     // the position before the first (book) move
  int first_fullmove = 1;
  bool black_starts = false;
  std::vector<PlayedMove> moves;
  GameResult result = GameResult::kUnfinished;
  std::string reason;        // "White mates", "Black loses on time", ...
  std::string termination;   // the PGN Termination value
  std::string time_control;
  int64_t round = 0;         // from 1
  int64_t game_number = 0;   // from 1
};

// The result text of PGN: "1-0", "0-1", "1/2-1/2", "*".
const char* result_text(GameResult result);

// Plays `opening` with `white` and `black`, both started and told of the new game.
// Stops early, unfinished, when `stop` becomes true.
GameRecord play_game(UciEngine& white, UciEngine& black, const Opening& opening, const MatchConfig& config,
                     const std::atomic<bool>& stop);

// The move comment of an engine's report: "+0.35/12 1.2s", "-M3/20 0.05s".
std::string move_comment(const EngineScore& score, int64_t elapsed_ms);

}  // namespace match
