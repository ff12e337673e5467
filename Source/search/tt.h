// The transposition table shared by all search threads, read and written without locks:
// a check word rejects torn entries and every move is validated before use.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace search {

struct TTEntry {
  uint32_t key_low;
  uint32_t check;
  uint16_t move;
  int16_t eval;
  int16_t score;
  int8_t depth;
  uint8_t flags;  // bits 0-4 age, bits 5-7 bound
};
static_assert(sizeof(TTEntry) == 16);

// Bounds.
constexpr int kUpperBound = 1, kLowerBound = 2, kExactBound = 3;

struct TTProbe {
  int probed;  // 1 when the table was there to look in, hit or miss
  int score;
  int eval;
  int depth;
  position::Move move;
  int bound;
};

// (Re)allocates the table at settings.hash_mb. Returns 1, or 0 when the memory cannot be
// had; then the table in force is kept.
int allocate_hash_table();
void clear_hash_table();
void free_hash_table();

// 1 on a usable hit; mate scores come back relative to the node at `ply`.
int tt_probe(const position::Position& pos, int ply, TTProbe& hit);
void tt_store(const position::Position& pos, int ply, int depth, position::Move move, int eval, int score, int bound);

// The address of the first entry of the position's bucket, for a prefetch.
const TTEntry* tt_bucket(const position::Position& pos);

// Moves the search generation on; called at every search start.
void tt_new_search();
// Samples the fill ratio of the current generation; returns it per mille.
int hashfull_estimate();
// Completes a principal variation from the table, validating what the buffer holds.
void tt_variation(position::Position& pos, int index, position::Move* buffer);

// 1 while the table is allocated and switched on.
int tt_enabled();
int tt_age();
uint64_t tt_entry_count();

// The reason a move cannot be played in the position (0 = none): the codes of the
// invalid-hash-move report.
int hash_move_problem(const position::Position& pos, position::Move move);

}  // namespace search
