// The PolyGlot position key: the key every PolyGlot book file is sorted by, so that a book
// made by any tool finds its positions here.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace book {

// The format's 781 random numbers: 768 piece-square entries (index 64 * kind + square,
// kind 0 black pawn, 1 white pawn, 2 black knight, ... 11 white king), then the four
// castling rights, the eight en-passant files and the side-to-move entry.
extern const uint64_t kRandom64[781];

constexpr int kCastlingKeys = 768;
constexpr int kEnPassantKeys = 772;
constexpr int kWhiteToMoveKey = 780;

// The PolyGlot key of `pos`. The en-passant file counts only when a pawn of the side to
// move stands ready to capture there.
uint64_t book_key(const position::Position& pos);

}  // namespace book
