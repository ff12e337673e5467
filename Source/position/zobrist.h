// Zobrist keys: entry code * 64 + square for pieces; entries 0..15 double as castling
// keys (indexed by the rights) and entries 16..47 as en-passant keys (by the square).
#pragma once

#include <cstdint>

namespace position {

extern uint64_t zobrist[1024];

// Fills the table from a fixed generator, so every run gets the same keys. Idempotent.
void init_zobrist();

}  // namespace position
