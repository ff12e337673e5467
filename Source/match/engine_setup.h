// One engine of a match as the command line describes it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "match/time_control.h"

namespace match {

struct EngineSetup {
  std::string name;
  std::vector<std::string> command;  // program and arguments
  std::string directory;             // working directory; empty for the runner's own
  std::vector<std::pair<std::string, std::string>> options;  // UCI options, in order
  Limits limits;
};

}  // namespace match
