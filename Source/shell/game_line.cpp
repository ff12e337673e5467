#include "shell/game_line.h"

#include "position/legality.h"
#include "position/makemove.h"
#include "shell/game.h"

namespace shell {

using position::Move;

namespace {

Move line[position::kMaxGameMoves];
int line_length = 0;

position::GameHistory& history() { return game().history; }

}  // namespace

bool play_game_move(Move move) {
  position::Position& pos = game_position();
  if (history().undo_index >= position::kMaxGameMoves || !position::is_legal_move(pos, move)) return false;
  const int index = history().undo_index;
  position::make_move(pos, move);
  // Compared as recorded: making a move writes it in one form (castling as the king's step).
  if (index >= line_length || line[index] != history().undo[index].move) end_game_line();
  return true;
}

Move next_game_move() {
  int index = history().undo_index;
  return index < line_length ? line[index] : position::kNoMove;
}

void end_game_line() {
  line_length = history().undo_index;
  for (int i = 0; i < line_length; ++i) line[i] = history().undo[i].move;
}

}  // namespace shell
