#include "shell/console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "book/probe.h"
#include "eval/eval_report.h"
#include "eval/network_report.h"
#include "position/bitboard.h"
#include "position/display.h"
#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/perft.h"
#include "search/params.h"
#include "search/timeman.h"
#include "search/thread.h"
#include "search/tt.h"
#include "search/control.h"
#include "search/think.h"
#include "tools/append_file.h"
#include "tools/pgn_load.h"
#include "tools/pgn_scan.h"
#include "shell/driver.h"
#include "shell/game.h"
#include "shell/game_line.h"
#include "shell/options.h"
#include "shell/input.h"
#include "shell/search_limits.h"
#include "base/output.h"
#include "base/settings.h"

namespace shell {

using namespace base;
using namespace search;

using namespace position;

namespace {

constexpr int kMaxArguments = 10;
constexpr int kWordSize = 128;
constexpr int kMaxVariation = 77;  // moves "pv" shows, as far as the table's walk goes

struct Words {
  char command[kWordSize];
  char argument[kMaxArguments][kWordSize];
};

// Splits at blanks into a command word and up to ten arguments; missing words are empty.
Words split_words(const char* line) {
  Words words{};
  const char* p = line;
  for (int index = -1; index < kMaxArguments; ++index) {
    while (*p == ' ' || *p == '\t') ++p;
    char* word = index < 0 ? words.command : words.argument[index];
    int length = 0;
    for (; *p && *p != ' ' && *p != '\t'; ++p)
      if (length < kWordSize - 1) word[length++] = *p;
    word[length] = 0;
  }
  return words;
}

Position& board() { return game_position(); }
position::GameHistory& history() { return game().history; }

// "ev": the last move, a depth-0 search for the root quiescence score, then the
// evaluation breakdown (level 1) or the breakdown and every weight (level 2).
void evaluation_report(int level) {
  char line[64];
  last_move_line(board(), line);
  if (line[0]) print_plain("%s", line);
  const EngineSettings saved = settings;
  base::set_quiet();
  settings.threads = 1;
  settings.multipv = 1;
  search::Limits limits = game_search_limits(board().side, history().undo_index);
  limits.depth = 0;
  limits.search_moves[0] = kNoMove;
  // In check or without a move the search runs no root quiescence search: the report then
  // shows the score the search gave, not one left over from an earlier position.
  constexpr int kNotSearched = -999999;
  search::root_qscore = kNotSearched;
  search::Result result = run_search(kFixedSearch, board(), limits, 0);
  if (search::root_qscore == kNotSearched) search::root_qscore = result.score;
  control.state = 0;
  control.abort = 0;
  settings = saved;
  eval::show_evaluation(board(), search::main_thread->eval, search::root_qscore, level);
}

void show_board() {
  if (settings.console_debug) evaluation_report(1);
  display_board(board());
}

void reset_clocks() { kept_limits.clock[0] = kept_limits.clock[1] = settings.base_time; }

void set_up(const char* fen) {
  if (set_position(board(), fen) != 0) {
    report("invalid FEN, position unchanged");
    return;
  }
  end_game_line();
  show_board();
}

void take_back_all() {
  while (history().undo_index > 0) unmake_move(board());
}

// The squares a coordinate word names, for the refusal message; the word itself otherwise.
std::string refusal(const char* word) {
  auto is_square = [](const char* s) { return s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8'; };
  if (std::strlen(word) >= 4 && is_square(word) && is_square(word + 2)) return std::string(word, 4);
  return word;
}

// Announces and makes a move of the side to move, then shows the board.
void play_announced(Move move) {
  char text[16];
  move_to_text(board(), board().side, move, text, move_style());
  char line[64];
  std::snprintf(line, sizeof(line), "%d. move %s", history().undo_index / 2 + 1, text);
  emit_line(line);
  if (!play_game_move(move)) {
    report("game too long, move not made");
    return;
  }
  show_board();
}

void bare_move(const char* word) {
  Move move;
  if (!text_to_move(board(), word, move, move_style())) {
    print_plain("invalid: %s\n", refusal(word).c_str());
    return;
  }
  play_announced(move);
}

// The stored move is played as it stands: its coordinate text can name another move too
// (in Chess960 with the option off, d1c1 is also the king's step).
void redo() {
  Move move = next_game_move();
  if (!move || !is_legal_move(board(), move)) return;
  char text[16];
  move_to_text(board(), board().side, move, text, move_style());
  char line[64];
  std::snprintf(line, sizeof(line), "%d%s move %s", history().undo_index / 2 + 1, board().side == kWhite ? "." : "...",
                text);
  emit_line(line);
  play_announced(move);
}

void jump(int move_number) {
  take_back_all();
  move_number = std::clamp(move_number, 1, search::kMaxGameMoves / 2 + 1);
  for (int half_moves = 2 * move_number - 2; history().undo_index < half_moves;) {
    Move move = next_game_move();
    if (!move || !play_game_move(move)) break;
  }
  show_board();
}

void run_perft(const char* argument) {
  int depth = std::atoi(argument);
  if (depth < 1) depth = 1;
  if (depth > 20) depth = 20;
  search_timer(1);
  uint64_t nodes = perft(board(), depth);
  search_timer(0);
  char line[128];
  double elapsed = control.elapsed;
  std::snprintf(line, sizeof(line), "visited %0.0f nodes in %0.3f seconds, nps= %0.0f", static_cast<double>(nodes),
                elapsed, static_cast<double>(nodes) / (elapsed + 0.001));
  emit_line(line);
}

// Every piece that the other side attacks, with the exchange that capturing it starts.
void list_exchanges() {
  const Position& pos = board();
  for (int square = 0; square < 64; ++square) {
    int code = pos.board[square];
    if (!code) continue;
    int attacker = colour_of(code) ^ 1;
    if (!square_attacked(pos, square, attacker)) continue;
    print_plain("sq= %s, swap1= %4d\n", kSquareNames[square], see(pos, attacker, kNoSquare, square));
  }
}

// The moves both books hold for the position, each list closed by an empty line.
void list_book_moves() {
  for (const char* file : {settings.book_file.c_str(), settings.book2_file.c_str()}) {
    book::book_probe(board(), file);
    print_plain("\n");
  }
}

void reverse_board() {
  const Position& pos = board();
  uint8_t mirrored[64];
  for (int square = 0; square < 64; ++square) {
    int code = pos.board[square ^ 56];
    mirrored[square] = static_cast<uint8_t>(code ? code ^ 8 : 0);
  }
  char fen[128];
  write_placement(mirrored, fen);
  int ep = pos.ep_square == kNoSquare ? kNoSquare : pos.ep_square ^ 56;
  std::snprintf(fen + std::strlen(fen), 48, " %c - %s %d", pos.side == kWhite ? 'b' : 'w', kSquareNames[ep],
                pos.rule50);
  set_up(fen);
}

// Places the pieces of words such as "Pa2" for one colour on the editor's board.
void place_words(uint8_t* squares, int colour, const char* line) {
  Words words = split_words(line);
  for (const char* word : words.argument) {
    if (std::strlen(word) != 3 || word[1] < 'a' || word[1] > 'h' || word[2] < '1' || word[2] > '8') continue;
    const char* letter = std::strchr("PNBRQK", word[0] & ~0x20);
    if (!letter || !*letter) continue;
    int type = static_cast<int>(letter - "PNBRQK") + 1;
    squares[make_square(word[1] - 'a', word[2] - '1')] = static_cast<uint8_t>(piece_code(colour, type));
  }
}

void edit_board() {
  emit_line(".                    end edit");
  emit_line("#                    clear board");
  emit_line("w  Pa2 Pb2 Kc2       white, pieces");
  emit_line("b  Pa7 Pb7 Kc7       black, pieces");
  uint8_t squares[64];
  std::memcpy(squares, board().board, 64);
  char line[kMaxLineLength + 1];
  while (wait_for_line(line)) {
    if (!std::strcmp(line, ".")) break;
    if (!std::strcmp(line, "#")) std::memset(squares, 0, sizeof(squares));
    if (line[0] == 'w' && (line[1] == ' ' || !line[1])) place_words(squares, kWhite, line);
    if (line[0] == 'b' && (line[1] == ' ' || !line[1])) place_words(squares, kBlack, line);
  }
  char fen[128];
  write_placement(squares, fen);
  std::snprintf(fen + std::strlen(fen), 16, " %c KQkq -", board().side == kWhite ? 'w' : 'b');
  set_up(fen);
}

// "go" and "an": analyse until stopped, or to the given depth.
void analyse(const char* depth) {
  settings.own_book = 0;
  settings.base_time = 99999;
  settings.moves_per_control = 1;
  kept_limits.standing.depth = depth[0] ? std::clamp(std::atoi(depth), 0, 80) : 80;
  if (control.tt_enabled < 2) search::clear_hash_table();
  control.state = kSearchRequested;
}

// The principal variation in SAN, and the board at its end: the line the last search found
// when it searched this position (the table holds no entry for the root), followed as far
// as the table goes.
void show_table_variation() {
  Position& pos = board();
  Move line[search::kMaxPly + 2] = {};
  const search::Result& last = last_search();
  if (last.pv_key == pos.key)
    for (int i = 0; i < kMaxVariation && last.pv[i]; ++i) line[i] = last.pv[i];
  search::tt_variation(pos, 0, line);
  std::string text;
  int made = 0;
  for (; made < kMaxVariation && line[made] && is_legal_move(pos, line[made]); ++made) {
    char forms[4][24];
    san_forms(pos, line[made], forms[0], forms[1], forms[2], forms[3], move_style());
    if (made) text += ' ';
    text += forms[1];
    make_move(pos, line[made]);
  }
  print_plain("PV: %s\n\n", text.c_str());
  display_board(pos);
  while (made-- > 0) unmake_move(pos);
}

// "get": the first position of "test.epd" whose id is `id`; lines starting with ';' or a
// blank are comments.
void get_test_position(const char* id) {
  std::ifstream file("test.epd", std::ios::binary);
  if (!file) return;
  const std::string wanted = "id \"" + std::string(id) + "\"";
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == ' ' || line.find(wanted) == std::string::npos) continue;
    emit_line(line.c_str());
    set_up(line.c_str());
    search::clear_hash_table();
    return;
  }
}

// The games read by "load" in this session: the count its messages quote.
tools::PgnGame loaded_game;

// "load": the game of a PGN file that has a header line containing `tag`, replayed from
// its set-up position so that it can be stepped through with "[", "]" and "jump".
void load_game(const char* name, const char* tag) {
  print_plain("loading %s, tag %s\n", name, tag);
  std::FILE* file = std::strstr(name, ".pgn") && std::strlen(tag) >= 3 ? std::fopen(name, "rb") : nullptr;
  if (file) {
    std::string text = tools::read_tagged_game(file, tag);
    std::fclose(file);
    if (text.size() >= 21) {
      tools::parse_pgn_game(loaded_game, text);
      if (tools::replay_pgn_game(loaded_game, board()) < 0) report("invalid FEN, position unchanged");
    }
    print_plain("read %d games\n\n", loaded_game.number);
  }
  end_game_line();
  display_board(board());
  reset_clocks();
}

// The shortest text of a move that reads back as that move alone.
std::string readable_san(const Position& pos, Move move) {
  char forms[4][16];
  san_forms(pos, move, forms[0], forms[1], forms[2], forms[3], move_style());
  for (const char* form : {forms[1], forms[2], forms[3]}) {
    Move read;
    if (text_to_move(pos, form, read, move_style()) && read == move) return form;
  }
  return forms[0];
}

// "save": the game from its set-up position to the current one, appended to "tmp.pgn". A
// game that did not start from the start position carries its FEN, so that it loads again;
// the unknown result "*" ends it, as PGN readers expect.
void save_game() {
  Position& pos = board();
  const int made = history().undo_index;
  Move moves[search::kMaxGameMoves];
  for (int i = 0; i < made; ++i) moves[i] = history().undo[i].move;
  take_back_all();
  char fen[128];
  write_fen(pos, fen, 0);
  std::string text = "[Event \"Unknown\"]\n";
  if (std::strcmp(fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -") != 0)
    text += "[SetUp \"1\"]\n[FEN \"" + std::string(fen) + "\"]\n";
  for (int i = 0; i < made; ++i) {
    if (i > 0) text += i % 11 == 0 ? '\n' : ' ';
    text += readable_san(pos, moves[i]);
    make_move(pos, moves[i]);
  }
  text += made ? " *\n\n" : "*\n\n";
  if (int error = tools::append_whole("tmp.pgn", text))
    report(("game not saved: tmp.pgn: " + std::string(std::strerror(error))).c_str());
}

void announce_setting(const char* name, int value) {
  char line[96];
  std::snprintf(line, sizeof(line), "%s set to %d", name, value);
  emit_line(line);
}

// "level moves time inc": time as seconds or minutes:seconds.
void set_level(const char* moves, const char* time, const char* increment) {
  const char* colon = std::strchr(time, ':');
  float seconds = colon ? 60.0f * static_cast<float>(std::atof(time)) + static_cast<float>(std::atof(colon + 1))
                        : static_cast<float>(std::atof(time));
  settings.moves_per_control = static_cast<int16_t>(std::atoi(moves));
  settings.base_time = seconds;
  settings.increment = static_cast<float>(std::atof(increment));
  reset_clocks();
  char line[128];
  std::snprintf(line, sizeof(line), "set level to %d moves in %0.2f seconds, inc %0.2f", settings.moves_per_control,
                settings.base_time, settings.increment);
  emit_line(line);
}

void set_value(const Words& words) {
  const char* name = words.argument[0];
  const char* value = words.argument[1];
  int n = std::atoi(value);
  EngineSettings& s = settings;
  struct Named {
    const char* name;
    int16_t* field;
  };
  const Named named[] = {{"NMP_depth", &s.pruning_depth[kNmpDepth]}, {"SEP_depth", &s.pruning_depth[kSepDepth]},
                         {"FP_depth", &s.pruning_depth[kFpDepth]},   {"LMP_depth", &s.pruning_depth[kLmpDepth]},
                         {"LMR_depth", &s.pruning_depth[kLmrDepth]}, {"Selectivity", &s.selectivity},
                         {"contempt", &s.contempt},                  {"ponder", &s.ponder}};
  if (!std::strcmp(name, "hash")) {
    control.tt_enabled = static_cast<uint8_t>(n);
  } else if (!std::strcmp(name, "noise")) {
    s.noise = static_cast<float>(std::atof(value));
  } else if (std::strstr(name, "multipv")) {
    s.multipv = static_cast<uint8_t>(std::clamp(n, 1, 255));
  } else if (!std::strcmp(name, "debug")) {
    s.console_debug = static_cast<uint8_t>(n);
  } else if (!std::strcmp(name, "frc")) {
    s.chess960 = static_cast<uint8_t>(n);
  } else if (!std::strcmp(name, "level")) {
    set_level(value, words.argument[2], words.argument[3]);
  } else if (!std::strcmp(name, "depth")) {
    kept_limits.standing.depth = static_cast<int16_t>(std::min(n, 80));
  } else if (!std::strcmp(name, "nodes")) {
    kept_limits.standing.nodes = static_cast<uint64_t>(std::max(0LL, std::atoll(value)));
    kept_limits.standing.depth = 80;
  } else if (!std::strcmp(name, "target_nps")) {
    control.target_nps = static_cast<float>(clamp_rate(std::atof(value)));
    s.limit_strength = 1;
    s.uci_elo = static_cast<int16_t>(elo_from_nps(control.target_nps));
    char line[96];
    std::snprintf(line, sizeof(line), "target_nps set to %.0f, Elo= %d", control.target_nps, s.uci_elo);
    emit_line(line);
  } else if (!std::strcmp(name, "ss")) {
    if (n == 1) {
      s = settings_snapshot;
      kept_limits.standing = kept_limits.standing_snapshot;
      emit_line("set default Settings");
    } else {
      s.pruning_depth[kSepDepth] = 0;
      s.pruning_depth[kNmpDepth] = 99;
      s.pruning_depth[kLmpDepth] = 0;
      s.pruning_depth[kLmrDepth] = 99;
      emit_line("selectivity set to OFF");
    }
  } else {
    for (const Named& entry : named) {
      if (std::strcmp(name, entry.name)) continue;
      *entry.field = static_cast<int16_t>(n);
      announce_setting(entry.name, n);
    }
  }
}

// "quit" and "." (stop the search), taken at any time; false for the other commands.
bool stop_command(const char* command) {
  if (!std::strcmp(command, "quit")) {
    settings.quit = 1;
    return true;
  }
  if (!std::strcmp(command, ".")) {
    control.abort = 1;
    return true;
  }
  return false;
}

}  // namespace

void console_command_while_searching(const char* line) { stop_command(split_words(line).command); }

void console_command(const char* line) {
  Words words = split_words(line);
  const char* command = words.command;
  const char* argument = words.argument[0];
  if (stop_command(command) || control.state) return;

  if (!std::strcmp(command, "new")) {
    set_up(kStartFen);
    reset_clocks();
  } else if (!std::strcmp(command, "fen")) {
    const char* fen = std::strstr(line, "fen") + 3;
    while (*fen == ' ') ++fen;
    set_up(fen);
  } else if (!std::strcmp(command, "bd")) {
    show_board();
  } else if (!std::strcmp(command, "undo") || !std::strcmp(command, "[")) {
    if (history().undo_index > 0) unmake_move(board());
    show_board();
  } else if (!std::strcmp(command, "]")) {
    redo();
  } else if (!std::strcmp(command, "jump")) {
    jump(std::atoi(argument));
  } else if (!std::strcmp(command, "load")) {
    load_game(argument, words.argument[1]);
  } else if (!std::strcmp(command, "save")) {
    save_game();
  } else if (!std::strcmp(command, "edit")) {
    edit_board();
  } else if (!std::strcmp(command, "tag") || !std::strcmp(command, "trace")) {
    // Left from debugging aids that are gone: still taken, so that a script sending them
    // is not answered with "invalid".
  } else if (!std::strcmp(command, "perft")) {
    run_perft(argument);
  } else if (!std::strcmp(command, "book")) {
    list_book_moves();
  } else if (!std::strcmp(command, "swap")) {
    list_exchanges();
  } else if (!std::strcmp(command, "reverse")) {
    reverse_board();
  } else if (!std::strcmp(command, "mv")) {
    set_console_play(true, false);
    settings.own_book = 1;
    control.state = kSearchRequested;
  } else if (!std::strcmp(command, "go") || !std::strcmp(command, "an")) {
    analyse(argument);
  } else if (!std::strcmp(command, "self")) {
    settings.ponder = 0;
    set_console_play(false, true);
    control.state = kSearchRequested;
  } else if (!std::strcmp(command, "pv")) {
    show_table_variation();
  } else if (!std::strcmp(command, "get")) {
    get_test_position(argument);
  } else if (!std::strcmp(command, "ev")) {
    evaluation_report(1);
  } else if (!std::strcmp(command, "ev2")) {
    eval::show_network_contributions(board(), search::main_thread->eval.accumulator);
  } else if (!std::strcmp(command, "sp")) {
    eval::show_evaluation(board(), search::main_thread->eval, search::root_qscore, 2);
  } else if (!std::strcmp(command, "lmr")) {
    search::print_search_tables();
  } else if (!std::strcmp(command, "set")) {
    set_value(words);
  } else if (!std::strcmp(command, "move")) {
    bare_move(argument);
  } else {
    bare_move(command);
  }
}

}  // namespace shell
