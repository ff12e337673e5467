// Reading the command line into the settings and choosing the run mode.
#pragma once

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
  bool output_named = false;     // "-o": the tools may replace a file under that name
};

// Reads argv into the live settings, left to right; the last mode option wins.
CommandLine read_command_line(int argc, char** argv);

}  // namespace shell
