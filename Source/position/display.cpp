#include "position/display.h"

#include <cstdio>
#include <cstring>

#include "position/notation.h"
#include "search/thread.h"
#include "shell/output.h"

namespace position {

void display_board(const Position& pos) {
  char text[512];
  write_fen(pos, text, 1);
  char* out = text + std::strlen(text);
  *out++ = '\n';
  for (int rank = 7; rank >= 0; --rank) {
    *out++ = ' ';
    for (int file = 0; file < 8; ++file) {
      int code = pos.board[make_square(file, rank)];
      *out++ = ' ';
      if (code) *out++ = (colour_of(code) == kWhite ? "-PNBRQK" : "-onbrqk")[type_of(code)];
      else *out++ = (rank % 2 == file % 2) ? '+' : '-';
    }
    *out++ = '\n';
  }
  std::strcpy(out, pos.side == kWhite ? "white\n" : "black\n");
  shell::emit_line(text);
}

void last_move_line(const Position& pos, char* buffer) {
  buffer[0] = 0;
  const search::SearchThread& thread = *pos.thread;
  if (thread.undo_index <= 0) return;
  Move move = thread.undo[thread.undo_index - 1].move;
  std::snprintf(buffer, 64, pos.side == kBlack ? "last move was %d. %s%s\n" : "last move was %d... %s%s\n",
                (thread.undo_index + 1) / 2, kSquareNames[move_from(move)], kSquareNames[move_to(move)]);
}

}  // namespace position
