// Moves as text: coordinate form for the protocol (with the king-takes-rook form of
// castling when Chess960 notation is on) and SAN for people; input accepts either.
#pragma once

#include "position/position.h"

namespace position {

extern const char* const kSquareNames[65];

// How coordinate text spells the moves the conventions disagree on. The caller says which
// it speaks: the protocol and the game variant are the shell's to know.
struct MoveStyle {
  bool chess960 = false;  // castling as the king taking its own rook ("e1h1")
  bool uci = true;        // a promotion as UCI's letter ("e7e8q"), else as SAN ends it ("e7e8=Q")
};

// Coordinate text of a move of `side` ("e2e4", "e7e8q"); move 0 is "null". Needs 8 bytes.
void move_to_text(const Position& pos, int side, Move move, char* buffer, MoveStyle style);

// Four text forms of a move of the side to move: coordinate, SAN, file-disambiguated and
// rank-disambiguated. Each buffer needs 16 bytes.
void san_forms(const Position& pos, Move move, char* coordinate, char* san, char* file_form, char* rank_form,
               MoveStyle style);

// 1 and the move when `text` names exactly one legal move of `pos`, else 0. Prints
// "ambiguous move" when it names several.
int text_to_move(const Position& pos, const char* text, Move& move, MoveStyle style);

}  // namespace position
