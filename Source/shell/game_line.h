// The game the console steps through: the moves from the set-up position, of which the
// board shows the first `undo_index`; those after them were taken back and can be played
// again ("]", "jump"). The line is kept apart from the undo records, which every look-ahead
// on the game's board (perft, the table's variation, the book's draw test) writes over.
#pragma once

#include "position/position.h"

namespace shell {

// Makes a legal move on the game's board; false when it is illegal or the game is full.
// The line's next move keeps the rest of the line; any other move ends the line there.
bool play_game_move(position::Move move);

// The move after the one on the board, or kNoMove at the end of the line.
position::Move next_game_move();

// The line becomes the moves on the board now, with none after them: after a new set-up
// or a loaded game.
void end_game_line();

}  // namespace shell
