// Perft: counts the leaf nodes of the legal move tree, to test generation and make/unmake.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace position {

// The number of legal move paths of `depth` plies (at least 1) from `pos`, which needs a
// history with room for `depth` more moves. Every promotion counts; the position comes
// back as it was.
uint64_t perft(Position& pos, int depth);

}  // namespace position
