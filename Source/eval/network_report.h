// The console's look inside the network: which hidden units of a position move its value
// the most, and the range of the hidden values (to see whether a layer saturates).
#pragma once

namespace position {
struct Position;
}

namespace eval {

struct Accumulator;

// Evaluates `pos` through `accumulator` and lists every first-layer and material-layer
// unit whose share of the output exceeds 20 centipawns, then the shares' sums and the
// smallest and largest hidden values.
void show_network_contributions(const position::Position& pos, Accumulator& accumulator);

}  // namespace eval
