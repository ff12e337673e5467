// Feeds console sessions of game commands (moves, "undo", "[", "]", "jump", "perft", the
// engine's own moves, analysis, "pv", "save" and "load", in any order) and checks after
// every step that the board is the game's set-up position with the game's moves replayed,
// and that the move "]" would replay is the one a model of the game's line expects: the
// moves played, the later ones kept while they are only taken back and replayed, cut off
// by any other move.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "position/makemove.h"
#include "shell/game_line.h"

namespace {

using position::Move;
using position::Position;

constexpr int kSearchDepth = 2;
constexpr uint64_t kSearchNodes = 2000;
constexpr int kMaxSearches = 4;  // per input: self-play would otherwise go on to the end
constexpr int kMaxPvLines = 12;  // "set multipv" beyond this is cut to it
constexpr const char* kGameFile = "tmp.pgn";

// "save" and "load" use files in the working directory: they run in one of this process's
// own, and everything else where the fuzzer was started (its corpus and crash files).
std::string& start_directory() {
  static std::string path;
  return path;
}
std::string& file_directory() {
  static std::string path;
  return path;
}

void console_command_in(const std::string& directory, const std::string& line) {
  if (chdir(directory.c_str()) != 0) std::abort();
  shell::console_command(line.c_str());
  if (chdir(start_directory().c_str()) != 0) std::abort();
}

// What the console's game should be: the position it was set up from and every move of
// its line, of which the first `at` are on the board.
struct Model {
  Position setup;
  std::vector<Move> line;
  size_t at = 0;
};

Position& board() { return shell::game_position(); }
position::GameHistory& history() { return shell::game().history; }

// A move played on the board: the line goes on when it is the line's next move, else it
// ends after it.
void play(Model& model, Move move) {
  if (model.at < model.line.size() && model.line[model.at] == move) {
    ++model.at;
    return;
  }
  model.line.resize(model.at);
  model.line.push_back(move);
  ++model.at;
}

// The console set the game up afresh (a new position, a loaded game): the model starts
// from the board's own set-up position and the moves made from it.
void start_from_board(Model& model) {
  static position::GameHistory scratch;
  scratch = history();
  Position rewound = board();
  rewound.game = &scratch;
  while (scratch.undo_index > 0) position::unmake_move(rewound);
  model.setup = rewound;
  model.line.clear();
  for (int i = 0; i < history().undo_index; ++i) model.line.push_back(history().undo[i].move);
  model.at = model.line.size();
}

std::string fen_of(const Position& pos) {
  char fen[128];
  position::write_fen(pos, fen, 1);
  return fen;
}

void check(const Model& model, const char* after) {
  const position::GameHistory& game = history();
  if (static_cast<size_t>(game.undo_index) != model.at)
    nesk_fuzz::fail("moves on the board", std::to_string(game.undo_index) + " not " + std::to_string(model.at) +
                                              " after " + after);
  static position::GameHistory scratch;
  Position replayed = model.setup;
  replayed.game = &scratch;
  scratch.undo_index = 0;
  scratch.ply = 1;
  scratch.last_move = position::kNoMove;
  for (size_t i = 0; i < model.at; ++i) {
    if (game.undo[i].move != model.line[i]) nesk_fuzz::fail("a move of the game differs after", after);
    if (!position::is_legal_move(replayed, model.line[i])) nesk_fuzz::fail("the game does not replay after", after);
    position::make_move(replayed, model.line[i]);
  }
  if (replayed.key != board().key || replayed.pawn_key != board().pawn_key ||
      replayed.touched != board().touched || fen_of(replayed) != fen_of(board()))
    nesk_fuzz::fail("the board is not the game replayed",
                    fen_of(board()) + " / " + fen_of(replayed) + " after " + after);
  Move next = model.at < model.line.size() ? model.line[model.at] : position::kNoMove;
  if (shell::next_game_move() != next) nesk_fuzz::fail("the move to replay differs after", after);
}

// The command word and the first argument as the console splits them: at blanks and tabs,
// each word cut to 127 characters.
std::vector<std::string> console_words(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (words.size() < 2) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    size_t end = at;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    words.push_back(line.substr(at, std::min<size_t>(end - at, 127)));
    at = end;
  }
  return words;
}

bool is_command(const std::string& word) {
  static const char* const commands[] = {"quit", ".",    "new",  "fen",     "bd",   "undo", "[",    "]",  "jump",
                                         "load", "save", "edit", "tag",     "perft", "book", "swap", "reverse",
                                         "mv",   "go",   "an",   "self",    "pv",   "get",  "trace", "ev",  "ev2",
                                         "sp",   "lmr",  "set",  "move"};
  return std::find(std::begin(commands), std::end(commands), word) != std::end(commands);
}

// The searches the console asked for, small, each engine move played as the game driver
// plays it and checked.
void run_searches(Model& model, int& searches, const char* after) {
  using search::control;
  base::EngineSettings& s = base::settings;
  while (control.state & search::kSearchRequested) {
    if (++searches > kMaxSearches) {
      control.state = 0;
      shell::set_console_play(false, false);
      return;
    }
    search::StandingLimits& standing = shell::kept_limits.standing;
    standing.depth = std::min(standing.depth, kSearchDepth);
    standing.nodes = std::min<uint64_t>(standing.nodes, kSearchNodes);
    s.multipv = static_cast<uint8_t>(std::min<int>(s.multipv, kMaxPvLines));
    s.threads = 1;
    s.limit_strength = 0;  // the throttle sleeps
    const search::Limits limits = shell::game_search_limits(board().side, history().undo_index);
    Move best = shell::run_search(search::kThinking, board(), limits, 0).best_move;
    control.state = 0;
    control.abort = 0;
    bool playable = best && position::is_legal_move(board(), best) && model.at < position::kMaxGameMoves;
    const int before = history().undo_index;
    shell::play_engine_move(best);
    // Only "mv" and "self" play the move; the board tells whether they were on.
    if (history().undo_index != before && playable) play(model, best);
    check(model, after);
  }
}

// One console line, with what it should do to the game.
void step(Model& model, std::string line, int& searches) {
  std::vector<std::string> words = console_words(line);
  const std::string& command = words[0];
  const std::string& argument = words[1];
  if (command == "edit" || command == "get" || command == "uci") return;
  if (command == "load" && (argument.find('/') != std::string::npos || nesk_fuzz::names_device_file(argument)))
    return;
  if (command == "perft" && std::atoi(argument.c_str()) > nesk_fuzz::kMaxPerftDepth)
    line = "perft " + std::to_string(nesk_fuzz::kMaxPerftDepth);

  const int side_before = board().side;
  bool set_up = command == "new" || command == "load";
  if (command == "fen") {
    const char* fen = std::strstr(line.c_str(), "fen") + 3;
    while (*fen == ' ') ++fen;
    // Set up on a copy of the board: a FEN may leave fields as the board has them.
    static position::GameHistory scratch;
    Position trial = board();
    trial.game = &scratch;
    set_up = position::set_position(trial, fen) == 0;
  }
  Move typed = position::kNoMove;
  const bool move_word = !is_command(command) || command == "move";
  const std::string& word = command == "move" ? argument : command;
  if (move_word && !position::text_to_move(board(), word.c_str(), typed, shell::move_style())) typed = position::kNoMove;

  if (command == "save" || command == "load") console_command_in(file_directory(), line);
  else shell::console_command(line.c_str());

  if (set_up || (command == "reverse" && board().side != side_before)) {
    start_from_board(model);
  } else if (move_word) {
    if (typed && model.at < position::kMaxGameMoves) play(model, typed);
  } else if (command == "undo" || command == "[") {
    if (model.at > 0) --model.at;
  } else if (command == "]") {
    if (model.at < model.line.size()) ++model.at;
  } else if (command == "jump") {
    int number = std::clamp(std::atoi(argument.c_str()), 1, position::kMaxGameMoves / 2 + 1);
    model.at = std::min<size_t>(2 * number - 2, model.line.size());
  }
  check(model, line.c_str());
  run_searches(model, searches, line.c_str());
  nesk_fuzz::after_line();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  char here[4096];
  if (!getcwd(here, sizeof here)) std::abort();
  start_directory() = here;
  file_directory() = "/tmp/nesk_fuzz_" + std::to_string(getpid()) + "_game";
  if (mkdir(file_directory().c_str(), 0700) != 0 && errno != EEXIST) std::abort();
  std::atexit([] {
    std::remove((file_directory() + "/" + kGameFile).c_str());
    rmdir(file_directory().c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(0);
  std::remove((file_directory() + "/" + kGameFile).c_str());
  Model model;
  start_from_board(model);
  int searches = 0;
  for (const std::string& line : nesk_fuzz::split_lines(data, size)) step(model, line, searches);
  return 0;
}
