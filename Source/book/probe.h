// Opening books as the game driver sees them.
#pragma once

#include "position/position.h"

namespace book {

// A move from the book file for the position, or 0 when the book has none.
position::Move book_move(const position::Position& pos, const char* file);

}  // namespace book
