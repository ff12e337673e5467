#include "position/display.h"

#include <cstdio>
#include <cstring>

#include "position/notation.h"
#include "base/output.h"

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
  base::emit_line(text);
}

void last_move_line(const Position& pos, char* buffer) {
  buffer[0] = 0;
  int made = moves_made(pos);
  if (made <= 0) return;
  Move move = pos.game->undo[made - 1].move;
  std::snprintf(buffer, 64, pos.side == kBlack ? "last move was %d. %s%s\n" : "last move was %d... %s%s\n",
                (made + 1) / 2, kSquareNames[move_from(move)], kSquareNames[move_to(move)]);
}

}  // namespace position
