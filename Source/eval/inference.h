// The network forward pass.
#pragma once

#include "eval/accumulator.h"
#include "eval/score.h"

namespace position {
struct Position;
}

namespace eval {

// Material units of one colour from its counts of pawns .. queens: knights and bishops
// count 3, rooks 5, a queen 10, or 6 when it stands alone.
int material_units(const int counts[5]);
// The output row of a network with output buckets: 0 with much material (the starting
// position) .. 5 with none (pawn endings), from the larger of the two colours' units.
int material_bucket(int white_units, int black_units);

// The network's value for the accumulator's position, side to move's view, clamped to
// -kEvalLimit .. kEvalLimit. The accumulator's position and ply must be set; its buffers
// are (re)allocated when missing or sized for another network. kNoScore when no network
// is loaded or the buffers cannot be allocated.
int network_output(Accumulator& accumulator);

// The network value of `pos` alone, for displays and tools, through the given accumulator
// (its ply is left as the last evaluation set it). kNoScore when no network is loaded, and
// with the message "error initializing NN!" when no buffers can be had.
int evaluate_for_display(const position::Position& pos, Accumulator& accumulator);

}  // namespace eval
