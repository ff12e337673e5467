#include "shell/commandline.h"

#include <cstring>

#include "shell/settings.h"

namespace shell {

int read_command_line(int argc, char** argv) {
  int mode = kModeEngine;
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (!std::strcmp(option, "-uci")) settings.uci_mode = 1;
    if (!std::strcmp(option, "-c")) settings.uci_mode = 0;
    if (!std::strcmp(option, "-log")) settings.log = 2;
    if (!std::strcmp(option, "-quiet")) {
      settings.noise = 99999;
      settings.log = 0;
    }
  }
  return mode;
}

}  // namespace shell
