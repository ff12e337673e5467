// Endgame tablebases as the search sees them.
#pragma once

#include "position/position.h"

namespace tablebase {

// WDL + 2 of the position (0 loss .. 4 win, side to move's view), or -1 when the tables
// cannot answer: too many pieces, too shallow, or no tables loaded.
int tb_probe_search(const position::Position& pos, int depth);

}  // namespace tablebase
