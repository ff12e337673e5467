// Making a PolyGlot opening book from the games of a PGN file ("-mkbook file.pgn").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "book/probe.h"

namespace book {

// The file the builder writes, in the working directory.
inline constexpr const char* kBuiltBookFile = "tmp_book.bin";

// Plies a game contributes: a line that starts at or below this ply count is read to its end.
constexpr int kBuildPlies = 35;

// Reads the games of the PGN file `pgn_path` and writes kBuiltBookFile, reporting on
// standard output. Returns the exit status: 0 when the book was written; 1 when it was not
// (a PGN that cannot be read or is no regular file, a book that cannot be written or is
// something other than a regular file, memory run out), the reason then also on standard
// error and an older book left untouched.
int build_book(const std::string& pgn_path);

// What the games did with one move of one position, counted for the side that played it.
struct MoveRecord {
  uint64_t key;     // PolyGlot key of the position before the move
  uint32_t wins, losses, draws;
  uint16_t move;    // PolyGlot encoding
};

// A move earns its place when the games that won or drew with it outnumber both its
// losses and four, so that neither a single lucky game nor a move that loses as often as
// it scores gets in.
bool keeps_move(const MoveRecord& r);
// Wins count four, draws one, losses minus two.
int64_t move_score(const MoveRecord& r);

// The entries of one position: `records` are every move recorded for one key. Kept moves
// with a positive score, weighted by score scaled so that the best is at most 60000,
// best weight first (equal weights in the order the moves were first seen).
std::vector<BookEntry> entries_for_position(const MoveRecord* records, size_t count);

}  // namespace book
