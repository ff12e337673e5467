// The game the shell keeps: the board that "position", the console's commands and the
// driver set up and move on, and its undo records. A search never moves on it; it is
// handed to `think`, which copies it into each search thread.
#pragma once

#include "position/position.h"

namespace shell {

position::Game& game();

// The game's board.
inline position::Position& game_position() { return game().position; }

}  // namespace shell
