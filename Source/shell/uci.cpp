#include "shell/uci.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "position/legality.h"
#include "position/makemove.h"
#include "position/position.h"
#include "search/params.h"
#include "search/thread.h"
#include "search/tt.h"
#include "search/control.h"
#include "shell/game.h"
#include "shell/input.h"
#include "shell/options.h"
#include "shell/search_limits.h"
#include "base/output.h"
#include "base/settings.h"

namespace shell {

using namespace base;
using namespace search;

using namespace position;

namespace {

constexpr int kTokenSize = 128;
constexpr float kNoTimeLimit = 1e7f;
constexpr double kMaxMs = 1e10;  // clock values beyond this are taken as this (over 100 days)
constexpr double kMaxMovesToGo = 10000;
constexpr double kLowestDepth = -100;  // any depth below 1 means the root's quiescence answer

bool command_echo = true;

// A command that arrived during a search and waits for its end (at most one: once a stop
// is requested no more input is read until the result is out).
char deferred[kMaxLineLength + 1];
bool has_deferred = false;

// Skips leading blanks and copies the next word (at most 127 characters).
const char* next_token(const char* text, char* token) {
  while (*text == ' ') ++text;
  int length = 0;
  while (text[length] && text[length] != '\n' && text[length] != '\r' && text[length] != ' ' &&
         length < kTokenSize - 1) {
    token[length] = text[length];
    ++length;
  }
  token[length] = 0;
  return token;
}

void send_identification() {
  char line[64];
  std::snprintf(line, sizeof(line), "id name %s", kEngineName);
  emit_line(line);
  std::snprintf(line, sizeof(line), "id author %s", kEngineAuthor);
  emit_line(line);
  send_option_list();
  emit_line("uciok");
}

void parse_setoption(const char* arguments) {
  // Name and value are kept whole: a value is often a path or a list of directories.
  std::string name, value;
  const char* name_at = std::strstr(arguments, "name");
  if (name_at) {
    const char* value_at = std::strstr(name_at, "value");
    size_t length = std::strlen(name_at);
    if (value_at) length = static_cast<size_t>(value_at - name_at) - 1;
    if (length > 5) name.assign(name_at + 5, length - 5);
    if (value_at && std::strlen(value_at) > 6) value = value_at + 6;
  }
  set_option(name.c_str(), value.c_str());
  take_settings_snapshot();
}

void new_game() {
  settings.moves_per_control = 0;
  settings.base_time = 60.0f;
  settings.increment = 0.0f;
  kept_limits.clock[kWhite] = kept_limits.clock[kBlack] = 60.0f;
  game().history.undo_index = 0;
  search::clear_hash_table();
  control.tt_age = 0;
}

// A move word in coordinate form, as the protocol sends it; castling either as the king's
// two-square step or as the king taking its own rook. Returns 0 for a malformed word.
Move read_coordinate_move(const Position& pos, const char* word) {
  size_t length = std::strlen(word);
  if (length != 4 && length != 5) return kNoMove;
  auto file_ok = [](char c) { return c >= 'a' && c <= 'h'; };
  auto rank_ok = [](char c) { return c >= '1' && c <= '8'; };
  if (!file_ok(word[0]) || !rank_ok(word[1]) || !file_ok(word[2]) || !rank_ok(word[3])) return kNoMove;
  int from = (word[0] - 'a') + 8 * (word[1] - '1');
  int to = (word[2] - 'a') + 8 * (word[3] - '1');
  Move flags = 0;
  int side = pos.side;
  int home_rank = side == kWhite ? 0 : 7;
  if (pos.board[from] == piece_code(side, kKing) && rank_of(from) == home_rank && rank_of(to) == home_rank) {
    bool long_step = file_of(to) - file_of(from) > 1 || file_of(from) - file_of(to) > 1;
    if (long_step || pos.board[to] == piece_code(side, kRook)) {
      flags = to > from ? kFlagKingSide : kFlagQueenSide;
      to = make_square(to > from ? 6 : 2, home_rank);  // the generator's form: the king's destination
    }
  }
  if (length == 5) {
    const char* promotion = std::strchr("qnbr", word[4]);
    if (!promotion || !word[4]) return kNoMove;
    static constexpr Move kPromotionFlags[4] = {kFlagQueen, kFlagKnight, kFlagBishop, kFlagRook};
    flags = kPromotionFlags[promotion - "qnbr"];
  } else if (pos.board[from] == piece_code(side, kPawn) && relative_rank(side, to) == 7) {
    flags = kFlagQueen;  // a promotion without its letter is to a queen
  }
  return make_move_code(from, to, flags);
}

void play_move_list(const char* text) {
  Position& board = game_position();
  GameHistory& history = game().history;
  char word[kTokenSize];
  while (*next_token(text, word)) {
    while (*text == ' ') ++text;
    text += std::strlen(word);
    char line[300];
    if (history.undo_index >= search::kMaxGameMoves) {
      std::snprintf(line, sizeof(line), "too many moves, %s and the rest ignored", word);
      report(line);
      return;
    }
    Move move = read_coordinate_move(board, word);
    if (!is_legal_move(board, move)) {
      std::snprintf(line, sizeof(line), "illegal move %s, the rest ignored", word);
      report(line);
      return;
    }
    make_move(board, move);
  }
}

void set_up_position(const char* arguments) {
  char text[5000];
  std::snprintf(text, sizeof(text), "%s", arguments);
  char* moves = std::strstr(text, "moves");
  if (moves) {
    if (moves == text) return;
    moves[-1] = 0;
  }
  Position& board = game_position();
  GameHistory& history = game().history;
  const char* fen = nullptr;
  if (std::strstr(text, "startpos")) {
    fen = kStartFen;
  } else if (const char* fen_at = std::strstr(text, "fen")) {
    fen = fen_at + 3;
    while (*fen == ' ') ++fen;
  } else {
    return;
  }
  if (set_position(board, fen) != 0) {
    report("invalid FEN, position unchanged");
    return;
  }
  if (moves) play_move_list(moves + 5);
  if (history.undo_index < search::kUndoCapacity) history.undo[history.undo_index].move = kNoMove;
}

// `value` inside [low, high]; what is not a number counts as `low`.
double bounded(double value, double low, double high) {
  if (!(value >= low)) return low;
  return value > high ? high : value;
}

// The number after `key` in `text`, or nothing when the key is absent.
bool find_number(const char* text, const char* key, double& number) {
  const char* at = std::strstr(text, key);
  if (!at) return false;
  at += std::strlen(key);
  if (*at) ++at;
  char token[kTokenSize];
  number = std::atof(next_token(at, token));
  return true;
}

// The moves after "searchmoves", up to the first word that is not a move; words that are
// moves but not legal here are reported and left out.
void read_search_moves(const char* arguments) {
  Move* allowed = kept_limits.search_moves;
  allowed[0] = kNoMove;
  const char* at = std::strstr(arguments, "searchmoves");
  if (!at) return;
  at += std::strlen("searchmoves");
  const Position& board = game_position();
  int count = 0;
  char word[kTokenSize];
  while (*next_token(at, word)) {
    while (*at == ' ') ++at;
    at += std::strlen(word);
    Move move = read_coordinate_move(board, word);
    if (!move) break;
    if (!is_legal_move(board, move)) {
      char line[200];
      std::snprintf(line, sizeof(line), "searchmoves: %s is not a legal move, left out", word);
      report(line);
      continue;
    }
    if (count < search::kMaxMoves - 1) allowed[count++] = move;
  }
  allowed[count] = kNoMove;
}

// What a "go" names changes the standing limits of the settings record, and they last: a
// later "go" that names no depth keeps this one's. The clocks, the moves to go and the
// root moves are kept apart; the search gets them all in a fresh record when it starts.
void start_go(const char* arguments) {
  EngineSettings& s = settings;
  int side = game_position().side;
  read_search_moves(arguments);
  // Every number is brought inside what its field can hold before it is converted.
  double value;
  s.moves_per_control = 0;
  if (find_number(arguments, "wtime", value)) kept_limits.clock[kWhite] = static_cast<float>(bounded(value, 0, kMaxMs) / 1000);
  if (find_number(arguments, "btime", value)) kept_limits.clock[kBlack] = static_cast<float>(bounded(value, 0, kMaxMs) / 1000);
  if (find_number(arguments, "winc", value) && side == kWhite)
    s.increment = static_cast<float>(bounded(value, -kMaxMs, kMaxMs) / 1000);
  if (find_number(arguments, "binc", value) && side == kBlack)
    s.increment = static_cast<float>(bounded(value, -kMaxMs, kMaxMs) / 1000);
  if (find_number(arguments, "movestogo", value)) {
    kept_limits.standing.depth = kUnlimitedDepth;
    s.moves_per_control = 40;
    kept_limits.standing.nodes = kNoNodeLimit;
    kept_limits.moves_to_go = static_cast<int>(bounded(value, 0, kMaxMovesToGo));
  }
  if (find_number(arguments, "depth", value)) {
    kept_limits.standing.depth = static_cast<int>(bounded(value, kLowestDepth, kUnlimitedDepth));
    s.moves_per_control = 1;
    s.base_time = kNoTimeLimit;
  }
  if (find_number(arguments, "nodes", value)) {
    kept_limits.standing.nodes = static_cast<uint64_t>(bounded(value, 0, static_cast<double>(kNoNodeLimit)));
    s.moves_per_control = 1;
    s.base_time = kNoTimeLimit;
  }
  if (find_number(arguments, "movetime", value)) {
    value = bounded(value, -kMaxMs, kMaxMs);
    s.moves_per_control = 1;
    s.increment = 0;
    s.base_time = static_cast<float>(value / 1000);
  }
  if (std::strstr(arguments, "infinite")) {
    s.base_time = kNoTimeLimit;
    s.increment = 0;
    kept_limits.standing.depth = kUnlimitedDepth;
    s.moves_per_control = 1;
    kept_limits.standing.nodes = kNoNodeLimit;
  }
  control.state = std::strstr(arguments, "ponder") ? kPonderRequested : kSearchRequested;
}

bool is(const char* word, const char* command) { return std::strcmp(word, command) == 0; }

// A command line split into its first word and the rest.
struct Command {
  char word[kTokenSize];
  const char* arguments;
};

Command split_command(const char* text) {
  Command command;
  next_token(text, command.word);
  const char* start = text;
  while (*start == ' ') ++start;
  command.arguments = start + std::strlen(command.word);
  if (*command.arguments) ++command.arguments;
  return command;
}

// The commands that never wait: they answer at once or set a flag of the running search.
void execute_at_once(const char* word) {
  if (is(word, "uci")) {
    settings.uci_mode = 1;
    send_identification();
  }
  if (is(word, "isready")) emit_line("readyok");
  if (is(word, "debug")) command_echo = true;
  if (is(word, "_show")) search::print_search_tables();
  if (is(word, "ponderhit")) ponder_hit();
  if (is(word, "stop") && control.state) {
    control.abort = 1;
    add_state(kStopRequested);
  }
  if (is(word, "quit")) settings.quit = 1;
}

bool changes_game(const char* word) {
  return is(word, "setoption") || is(word, "ucinewgame") || is(word, "position") || is(word, "go");
}

// GUIs send the commands that change the game without waiting for "bestmove" (a user
// stepping through a game during analysis): the search stops, answers, and then the
// command is carried out.
void defer(const char* text) {
  std::snprintf(deferred, sizeof(deferred), "%s", text);
  has_deferred = true;
  control.abort = 1;
  add_state(kStopRequested);
}

void execute(const char* text) {
  Command command = split_command(text);
  const char* word = command.word;
  execute_at_once(word);
  if (!changes_game(word)) return;
  if (control.state) {
    defer(text);
    return;
  }
  if (is(word, "setoption")) parse_setoption(command.arguments);
  if (is(word, "ucinewgame")) new_game();
  if (is(word, "position")) set_up_position(command.arguments);
  if (is(word, "go")) start_go(command.arguments);
}

void execute_while_searching(const char* text) {
  Command command = split_command(text);
  execute_at_once(command.word);
  if (changes_game(command.word)) defer(text);
}

// The line without its line end, echoed to the log; false for an empty line.
bool take_line(const char* line, char* text) {
  std::snprintf(text, kMaxLineLength + 1, "%s", line);
  text[std::strcspn(text, "\n")] = 0;
  if (!text[0]) return false;
  if (command_echo && settings.log) {
    char echo[kMaxLineLength + 8];
    std::snprintf(echo, sizeof(echo), "CMD: %s", text);
    log_line(echo);
  }
  return true;
}

}  // namespace

void uci_command(const char* line) {
  char text[kMaxLineLength + 1];
  if (take_line(line, text)) execute(text);
}

void uci_command_while_searching(const char* line) {
  char text[kMaxLineLength + 1];
  if (take_line(line, text)) execute_while_searching(text);
}

void run_deferred_command() {
  if (!has_deferred) return;
  has_deferred = false;
  char text[kMaxLineLength + 1];
  std::memcpy(text, deferred, sizeof(text));
  execute(text);
}

}  // namespace shell
