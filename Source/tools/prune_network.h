// "-prune_nn": a narrower network from the loaded one, keeping the first-layer units that
// move the output the most over a training file's positions.
#pragma once

#include <string>

#include "tools/tool_files.h"

namespace tools {

// The training file read when the command line names none.
constexpr const char* kDefaultPruneInput = "2024_n10k.bin";

// The width a pruned network gets, both perspectives together; networks no wider than
// kPruneThreshold are written back unchanged.
constexpr int kPrunedWidth = 2560;
constexpr int kPruneThreshold = 2561;

// Measures every first-layer unit over the usable records of the input (the mean
// of |activation x output weight| over both perspectives), keeps the kPrunedWidth / 2
// strongest units of each half, and writes the network in the network file format to the
// output named with -o, else `usual_output` (completely or not at all, and not over a file
// already there). Returns the run's exit code.
int prune_network(const ToolFiles& files, const std::string& usual_output);

}  // namespace tools
