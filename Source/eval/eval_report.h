// The evaluation report of the console: where the hand-crafted evaluation of a position
// comes from, group by group and colour by colour, beside the network's value; and the
// listing of every evaluation weight with the piece-square tables, for tuning by eye.
#pragma once

#include "eval/params.h"

namespace position {
struct Position;
}

namespace eval {

struct EvalState;

// The packed value p tapered by the hand-crafted phase f, as the report shows it.
int taper(int32_t packed, float phase);

// Level 1: the breakdown; level 2: the breakdown, then every weight and table. `qscore`
// is the root quiescence score of the last search, shown beside the evaluations. Uses the
// state's accumulator and pawn hash (the root is always worked out afresh).
void show_evaluation(const position::Position& pos, EvalState& state, int qscore, int level);

// One piece-square table under its title: ranks 8 to 1, the middlegame values of files
// a-h, then the endgame values, then an empty line.
void print_pst(const char* title, EvalParam* const (&table)[64]);

}  // namespace eval
