// The network forward pass.
#pragma once

#include "eval/accumulator.h"

namespace search {
struct SearchThread;
}

namespace eval {

// The network's value for the accumulator's position, side to move's view, clamped to
// -3000 .. 3000.
int network_output(Accumulator& accumulator);

// The network value alone, for displays and tools; -10001 when no buffers can be had.
int evaluate_for_display(search::SearchThread& thread);

}  // namespace eval
