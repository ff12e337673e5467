// Reading the command line into the settings and choosing the run mode.
#pragma once

#include <string>

#include "search/limits.h"

namespace shell {

enum RunMode {
  kModeEngine = 1,
  kModeEpdAnalysis = 2,
  kModePgnScan = 3,
  kModeBenchmark = 5,
  kModeBuildBook = 6,
  kModeMakeConfig = 7,
  kModeTrain2 = 8,
  kModeTrain = 9,
  kModeGenerateTrainingData = 10,
  kModeScoreTrainingData = 11,
  kModeFilterTrainingData = 12,
  kModeEpdToTraining = 13,
  kModeTrainingToEpd = 14,
  kModeTrainingToText = 15,
  kModePruneNetwork = 16,
  kModeSecondBookPass = 17,
};

struct CommandLine {
  int mode = kModeEngine;
  bool failed = false;           // an option lacked its values: the program ends with 1
  bool bench_threaded = true;    // "-bench" (threads) rather than "-pbench"
  bool quiet = false;            // "-quiet": the tools show no progress either
  // The files of a tool mode. Each mode option names its own, so the last one wins here too.
  std::string input_file;       // what the mode reads (the openings for "-gentraindata")
  std::string positions_file;   // where "-gentraindata" writes: its own argument, not "-o"'s
  std::string named_output;     // "-o": an output the tools may replace; empty when none
  // -d, -n, -md and -mn: the limits every search of the run starts from. "-t" and "-n" set
  // depth 79, which keeps the benchmark's own depth away while the tools see no depth given.
  search::StandingLimits limits;
};

// Reads argv into the live settings and the returned record, left to right; the last
// mode option wins.
CommandLine read_command_line(int argc, char** argv);

}  // namespace shell
