// Feeds console sessions (the protocol for a person at a terminal) line by line against
// one engine. Analysis and engine moves are answered with a small search on this thread;
// the board editor, which waits for lines of its own on standard input, is left out.
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(0);
  int searches = 0;
  for (std::string line : nesk_fuzz::split_lines(data, size)) {
    std::istringstream words(line);
    std::string command, argument;
    words >> command >> argument;
    if (command == "edit" || command == "uci") continue;
    if (command == "perft" && std::atoi(argument.c_str()) > nesk_fuzz::kMaxPerftDepth)
      line = "perft " + std::to_string(nesk_fuzz::kMaxPerftDepth);
    shell::console_command(line.c_str());
    nesk_fuzz::run_requested_search(searches);
    nesk_fuzz::after_line();
  }
  return 0;
}
