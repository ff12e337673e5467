// Writing a network file: the 24-byte header, then every weight in the width the header
// says, little-endian, as the engine's loader reads it.
#pragma once

#include <cstdint>
#include <vector>

#include "eval/network.h"
#include "tools/output_file.h"

namespace tools {

// Writes `weights` (all seven blocks, in file order) under `header` into `out`; the
// header's weight count is taken from the weights. A legacy (752) header is written with
// the per-perspective width that format stores.
void write_network(OutputFile& out, eval::NetHeader header, const std::vector<int16_t>& weights);

// The same into `path`, completely or not at all, replacing a file there (the trainer's
// networks of each epoch). False when the file could not be written.
bool write_network_file(const char* path, eval::NetHeader header, const std::vector<int16_t>& weights);

}  // namespace tools
