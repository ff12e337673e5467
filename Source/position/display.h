// The board diagram and the last-move line of the console.
#pragma once

#include "position/position.h"

namespace position {

// Emits the FEN and an eight-line diagram as one text.
void display_board(const Position& pos);

// "last move was ..." for the console, or an empty text before any move. Needs 64 bytes.
void last_move_line(const Position& pos, char* buffer);

}  // namespace position
