// Reading the command line into the settings and choosing the run mode.
#pragma once

namespace shell {

enum RunMode { kModeEngine = 1 };

// Reads argv into the live settings. Returns the run mode, or -1 when an option lacks
// its values (the program then ends with status 1).
int read_command_line(int argc, char** argv);

}  // namespace shell
