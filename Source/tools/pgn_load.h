// One game of a PGN file onto a board, as the console's "load" does it: the game is found
// by a text of one of its header lines, read from that header on, and replayed move by
// move so that the moves can be stepped through afterwards.
#pragma once

#include <cstdio>
#include <string>

#include "tools/pgn_scan.h"

namespace position {
struct Position;
}

namespace tools {

// Gathers the text of the first game that has a header line (a line starting with "[")
// containing `tag`: that line and the lines after it, joined with blanks, up to the next
// game's first header line. Lines are read whole, so the tail of a long line can never
// pass for a header, but only their first 1 MiB is kept; a game's text is cut at 1 MiB.
// Empty when no header line holds the tag.
std::string read_tagged_game(std::FILE* file, const char* tag);

// Sets `pos` (which needs a game history) from the game's FEN tag when it has one longer
// than 10 characters, else from the start position, and plays its moves until one cannot
// be read ("can't parse move ..." is printed) or the history is full. Returns the number
// of moves made, or -1 when the FEN tag is no playable position (`pos` is then left
// unchanged).
int replay_pgn_game(const PgnGame& game, position::Position& pos);

}  // namespace tools
