#include "eval/embedded.h"

// The build passes the files' paths; the assembler copies their bytes in.
__asm__(
    ".section .rodata\n"
    ".balign 64\n"
    "nesk_params_text:\n"
    ".incbin \"" NESK_PARAMS_FILE "\"\n"
    ".byte 0\n"
#ifdef NESK_NETWORK_FILE
    ".balign 64\n"
    "nesk_network:\n"
    ".incbin \"" NESK_NETWORK_FILE "\"\n"
    "nesk_network_end:\n"
#endif
    ".previous\n");

extern "C" const char nesk_params_text[];
#ifdef NESK_NETWORK_FILE
extern "C" const unsigned char nesk_network[];
extern "C" const unsigned char nesk_network_end[];
#endif

namespace eval {

const char* embedded_params_text() { return nesk_params_text; }

const unsigned char* embedded_network(size_t& size) {
#ifdef NESK_NETWORK_FILE
  size = static_cast<size_t>(nesk_network_end - nesk_network);
  return nesk_network;
#else
  size = 0;
  return nullptr;
#endif
}

}  // namespace eval
