// "-scan_pgn": the games of a PGN file as EPD positions labelled for training, each with
// the evaluation its move's comment gives ("ce", from the side to move's view) and the
// game's result for the side to move ("gr").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/tool_files.h"

namespace tools {

constexpr int kMaxPgnMoves = 591;

struct PgnGame {
  int number = 0;        // games parsed so far, this one included
  int result = 0;        // +1 white won, -1 black won, 0 otherwise
  int eval_flag = 0;     // from "eval=" in an Annotator tag; kept for later games until set again
  bool skipped = false;  // a Termination tag said the game did not end at the board
  std::string fen;       // the FEN tag, empty when there is none
  std::vector<std::string> moves;  // move text without "+", "#" and "="
  std::vector<int> evaluations;    // centipawns, per move
};

// The evaluation a comment gives its move, from the text inside the braces:
// "+0.35/12 1.2s" is 35, "-M7/30" is -9900, a book move or a comment without "/" 0.
int comment_evaluation(std::string_view comment);

// Reads one game's text (its lines joined with blanks) into `game`.
void parse_pgn_game(PgnGame& game, std::string_view text);

// The game's positions as EPD lines, from the 21st position on (the 9th after a FEN tag),
// at most up to the 240th ply; appended to `out`. False when a move could not be read
// (the message is printed, the positions before it kept) or the FEN tag is no position.
bool pgn_game_to_epd(const PgnGame& game, std::string& out);

// Converts the input (its name must contain ".pgn") into the output named with -o, else
// kUsualEpdOutput (either must contain ".epd"). Returns the run's exit code.
int scan_pgn_file(const ToolFiles& files);

}  // namespace tools
