// Data compiled into the engine: the evaluation parameter text and, when the build found
// one in data/, the network.
#pragma once

#include <cstddef>

namespace eval {

// The parameter text, NUL-terminated.
const char* embedded_params_text();

// The network file image, or null with size 0 when the engine was built without one.
const unsigned char* embedded_network(size_t& size);

}  // namespace eval
