#include "shell/console.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "position/bitboard.h"
#include "position/display.h"
#include "position/exchange.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/perft.h"
#include "search/thread.h"
#include "shell/control.h"
#include "shell/input.h"
#include "shell/output.h"
#include "shell/settings.h"

namespace shell {

using namespace position;

namespace {

constexpr int kMaxArguments = 10;
constexpr int kWordSize = 128;

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

Position& board() { return search::main_thread->position; }
search::SearchThread& game() { return *search::main_thread; }

void show_board() {
  if (settings.console_debug) {
    char line[64];
    last_move_line(board(), line);
    if (line[0]) print_plain("%s", line);
  }
  display_board(board());
}

void reset_clocks() { control.clock[0] = control.clock[1] = settings.base_time; }

void set_up(const char* fen) {
  if (set_position(board(), fen) != 0) {
    report("invalid FEN, position unchanged");
    return;
  }
  show_board();
}

// The move stored after the current one, if the game was taken back; 0 when none.
Move redo_move() {
  return game().undo_index < search::kMaxGameMoves ? game().undo[game().undo_index].move : kNoMove;
}

// Makes a move that came from outside the search; a move that differs from the stored
// redo move ends the redo line there.
bool play(Move move) {
  if (game().undo_index >= search::kMaxGameMoves || !is_legal_move(board(), move)) return false;
  bool replay = move == redo_move();
  make_move(board(), move);
  if (!replay) game().undo[game().undo_index].move = kNoMove;
  return true;
}

void take_back_all() {
  while (game().undo_index > 0) unmake_move(board());
}

// The squares a coordinate word names, for the refusal message; the word itself otherwise.
std::string refusal(const char* word) {
  auto is_square = [](const char* s) { return s[0] >= 'a' && s[0] <= 'h' && s[1] >= '1' && s[1] <= '8'; };
  if (std::strlen(word) >= 4 && is_square(word) && is_square(word + 2)) return std::string(word, 4);
  return word;
}

void bare_move(const char* word) {
  Move move;
  if (!text_to_move(board(), word, move)) {
    print_plain("invalid: %s\n", refusal(word).c_str());
    return;
  }
  char text[16];
  move_to_text(board(), board().side, move, text);
  char line[64];
  std::snprintf(line, sizeof(line), "%d. move %s", game().undo_index / 2 + 1, text);
  emit_line(line);
  if (!play(move)) {
    report("game too long, move not made");
    return;
  }
  show_board();
}

void redo() {
  Move move = redo_move();
  if (!move || !is_legal_move(board(), move)) return;
  char text[16];
  move_to_text(board(), board().side, move, text);
  char line[64];
  std::snprintf(line, sizeof(line), "%d%s move %s", game().undo_index / 2 + 1, board().side == kWhite ? "." : "...",
                text);
  emit_line(line);
  bare_move(text);
}

void jump(int move_number) {
  take_back_all();
  for (int half_moves = 2 * move_number - 2; game().undo_index < half_moves;) {
    Move move = redo_move();
    if (!move || !play(move)) break;
  }
  show_board();
}

void run_perft(const char* argument) {
  int depth = std::atoi(argument);
  if (depth < 1) depth = 1;
  if (depth > 20) depth = 20;
  search_timer(1);
  uint64_t nodes = perft_count(game(), depth);
  search_timer(0);
  char line[128];
  std::snprintf(line, sizeof(line), "visited %0.0f nodes in %0.3f seconds, nps= %0.0f", static_cast<double>(nodes),
                control.elapsed, static_cast<double>(nodes) / (control.elapsed + 0.001));
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

// Writes the placement field of a board of piece codes.
void write_placement(const uint8_t* squares, char* out) {
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      int code = squares[make_square(file, rank)];
      if (!code) {
        ++empty;
        continue;
      }
      if (empty) *out++ = static_cast<char>('0' + empty);
      empty = 0;
      *out++ = (colour_of(code) == kWhite ? " PNBRQK" : " pnbrqk")[type_of(code)];
    }
    if (empty) *out++ = static_cast<char>('0' + empty);
    if (rank) *out++ = '/';
  }
  *out = 0;
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

}  // namespace

void console_command(const char* line) {
  Words words = split_words(line);
  const char* command = words.command;
  const char* argument = words.argument[0];
  if (!std::strcmp(command, "quit")) {
    settings.quit = 1;
    return;
  }
  if (!std::strcmp(command, ".")) {
    control.abort = 1;
    return;
  }
  if (control.state) return;

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
    if (game().undo_index > 0) unmake_move(board());
    show_board();
  } else if (!std::strcmp(command, "]")) {
    redo();
  } else if (!std::strcmp(command, "jump")) {
    jump(std::atoi(argument));
  } else if (!std::strcmp(command, "edit")) {
    edit_board();
  } else if (!std::strcmp(command, "perft")) {
    run_perft(argument);
  } else if (!std::strcmp(command, "swap")) {
    list_exchanges();
  } else if (!std::strcmp(command, "reverse")) {
    reverse_board();
  } else if (!std::strcmp(command, "move")) {
    bare_move(argument);
  } else {
    bare_move(command);
  }
}

}  // namespace shell
