// Opening books in the PolyGlot format, as the game driver sees them: the file's entries,
// the translation of its moves to and from the engine's, and the weighted choice of a
// book move.
#pragma once

#include <cstdint>
#include <cstdio>

#include "position/position.h"

namespace book {

// One 16-byte record of a book file; the file stores every field big-endian and keeps the
// records sorted by key, the records of one key side by side.
struct BookEntry {
  uint64_t key;     // PolyGlot key of the position before the move
  uint16_t move;    // to-file 0-2, to-rank 3-5, from-file 6-8, from-rank 9-11, promotion 12-14
  uint16_t weight;
  uint32_t learn;   // written 0, never read
};

constexpr int kBookEntrySize = 16;
// The moves of one position a probe looks at; more are ignored.
constexpr int kMaxBookMoves = 127;

// Reads the next record of `file` into `entry`: 0, or 1 at the end of the file or on a
// short read (when `entry` is left undefined).
int book_read_entry(std::FILE* file, BookEntry& entry);

// The engine's move for the book move `book_move` in `pos`: castling, which the format
// writes as the king taking its own rook, becomes the king's step with the castling flag.
// The move is not checked for legality.
position::Move book_move_to_move(uint16_t book_move, const position::Position& pos);

// The book form of the engine's `move` in `pos` (the inverse of book_move_to_move).
uint16_t move_to_book_move(const position::Position& pos, position::Move move);

// The weights of `count` entries of one position made into the shares that the choice
// draws from, with the variety setting (0..100, 25 keeps them proportional) tilting them
// by the first entry's weight. Writes one share per entry to `adjusted`; returns their
// sum, or -1 when the weights add up to 0.
int32_t book_shares(const BookEntry* entries, int count, int variety, int32_t* adjusted);

// The index of the entry a draw of `r` (0 <= r < the shares' sum) picks: the last entry of
// weight above 0 whose preceding shares sum below `r`, else the first of weight above 0.
int book_pick(const BookEntry* entries, const int32_t* adjusted, int count, int32_t r);

// A legal move from the book file `file` for `pos`, chosen at random by weight, or 0 when
// the file is missing or unreadable, holds no move for the position or its choice is not
// legal here. Reports the candidates (an "info string" line in UCI mode, a listing on the
// console). The file is opened and closed within the call.
position::Move book_probe(const position::Position& pos, const char* file);

// Sets the state of the choice's random numbers (seeded from the clock at the first probe
// otherwise), so that a run can be repeated.
void set_book_random_state(uint32_t state);

}  // namespace book
