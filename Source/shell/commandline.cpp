#include "shell/commandline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "search/control.h"
#include "search/timeman.h"
#include "shell/options.h"
#include "tools/prune_network.h"
#include "tools/selfplay.h"
#include "base/settings.h"

namespace shell {

using namespace base;
using namespace search;

namespace {

int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

uint64_t read_count(const char* text) {
  long long value = std::atoll(text);
  return value < 0 ? 0 : static_cast<uint64_t>(value);
}

constexpr const char* kDefaultLargeTablebases = "syzygy/6-piece;syzygy/7-piece";

class Reader {
 public:
  Reader(int argc, char** argv) : argc_(argc), argv_(argv) {}
  bool done() const { return index_ >= argc_; }
  const char* current() const { return argv_[index_]; }
  void skip() { ++index_; }
  // True when the current argument is `name` and `count` values follow it; the option and
  // its values are then consumed. A missing value is remembered.
  bool take(const char* name, int count = 0) {
    if (done() || std::strcmp(current(), name) != 0) return false;
    if (index_ + count >= argc_) {
      result.failed = true;
      index_ = argc_;
      return false;
    }
    values_ = argv_ + index_ + 1;
    index_ += 1 + count;
    return true;
  }
  const char* value(int n) const { return values_[n]; }
  bool has_more() const { return index_ < argc_; }

  CommandLine result;

 private:
  int argc_;
  char** argv_;
  int index_ = 1;
  char** values_ = nullptr;
};

bool read_setting(Reader& r) {
  EngineSettings& s = settings;
  if (r.take("-uci")) return s.uci_mode = 1, true;
  if (r.take("-c")) return s.uci_mode = 0, true;
  if (r.take("-log")) return s.log = 2, true;
  if (r.take("-noise", 1)) return s.noise = static_cast<float>(std::atof(r.value(0))), true;
  if (r.take("-quiet")) {
    r.result.quiet = true;
    set_quiet();
    s.log = 0;
    return true;
  }
  if (r.take("-cfg", 1)) return (s.config_file = r.value(0)), true;
  if (r.take("-t", 1)) {
    s.base_time = static_cast<float>(std::atof(r.value(0)));
    s.moves_per_control = 1;
    r.result.limits.depth = 79;
    return true;
  }
  if (r.take("-d", 1)) {
    r.result.limits.depth = static_cast<int16_t>(std::min(std::atoi(r.value(0)), 79));
    s.base_time = 10000;
    s.moves_per_control = 1;
    return true;
  }
  if (r.take("-n", 1)) {
    r.result.limits.nodes = read_count(r.value(0));
    s.base_time = 10000;
    r.result.limits.depth = 79;
    s.moves_per_control = 1;
    return true;
  }
  if (r.take("-md", 1)) {
    r.result.limits.node_depth_cap = static_cast<int16_t>(std::atoi(r.value(0)));
    s.base_time = 10000;
    s.moves_per_control = 1;
    return true;
  }
  if (r.take("-mn", 1)) {
    r.result.limits.min_nodes = read_count(r.value(0));
    s.base_time = 1000;
    s.moves_per_control = 1;
    return true;
  }
  if (r.take("-nps", 1)) {
    double rate = std::atof(r.value(0));
    double usable = clamp_rate(rate);
    if (usable != rate) std::printf("-nps takes %.0f to %.0f nodes per second: using %.0f\n", kLowestRate, kHighestRate, usable);
    control.target_nps = static_cast<float>(usable);
    s.limit_strength = 1;
    s.uci_elo = static_cast<int16_t>(elo_from_nps(control.target_nps));
    std::printf("Elo= %d\n", s.uci_elo);
    return true;
  }
  if (r.take("-hash", 1)) return s.hash_mb = clamp(std::atoi(r.value(0)), 0, 65536), true;
  if (r.take("-threads", 1)) return s.threads = static_cast<int16_t>(clamp(std::atoi(r.value(0)), 1, 512)), true;
  if (r.take("-book", 1)) return (s.book_file = r.value(0)), true;
  if (r.take("-tbpath", 1)) return (s.syzygy_path = r.value(0)), true;
  if (r.take("-tbx")) {
    // The 6- and 7-men folders: a directory list may follow, else the usual layout under
    // the working directory.
    if (r.has_more() && r.current()[0] != '-') {
      s.syzygy_path = r.current();
      r.skip();
    } else {
      s.syzygy_path = kDefaultLargeTablebases;
    }
    return true;
  }
  if (r.take("-use_hce")) return s.use_nn = 0, true;
  if (r.take("-use_nn")) return s.use_nn = 1, true;
  if (r.take("-o", 1)) return (r.result.named_output = r.value(0)), true;
  if (r.take("-mpv", 1)) return s.multipv = static_cast<uint8_t>(clamp(std::atoi(r.value(0)), 1, 255)), true;
  if (r.take("-ss", 1)) return s.selectivity = static_cast<int16_t>(clamp(std::atoi(r.value(0)), 10, 200)), true;
  if (r.take("-lr", 1)) return s.learning_rate = static_cast<float>(std::atof(r.value(0))), true;
  if (r.take("-mbatch", 1)) return s.mini_batch = std::atoi(r.value(0)), true;
  if (r.take("-tw", 1)) return s.train_weight = static_cast<float>(std::atof(r.value(0))), true;
  // The trainer checks these against the shapes the engine can load.
  if (r.take("-nnwidth", 1)) return s.net_width = static_cast<int16_t>(clamp(std::atoi(r.value(0)), 0, 32767)), true;
  if (r.take("-nnkb", 1)) return s.net_king_buckets = static_cast<int8_t>(clamp(std::atoi(r.value(0)), 0, 127)), true;
  if (r.take("-nnob", 1)) return s.net_output_buckets = static_cast<int8_t>(clamp(std::atoi(r.value(0)), 0, 127)), true;
  return false;
}

bool read_training_option(Reader& r, const char* name, int mode) {
  if (!r.take(name, 2)) return false;
  EngineSettings& s = settings;
  r.result.input_file = r.value(0);
  // A count below one million, beyond what 64 bits hold, or not a number fails.
  double millions = std::atof(r.value(1));
  if (millions >= 1 && millions <= 1e12) s.train_positions = static_cast<uint64_t>(millions * 1000000);
  else r.result.failed = true;
  if (r.has_more() && (r.current()[0] == '0' || r.current()[0] == '1')) r.skip();
  s.hash_mb = 0;
  r.result.mode = mode;
  return true;
}

bool read_mode(Reader& r) {
  EngineSettings& s = settings;
  CommandLine& result = r.result;
  auto mode = [&result](int m) { return result.mode = m, true; };
  if (r.take("-anepd", 1)) {
    result.input_file = r.value(0);
    set_quiet();
    return mode(kModeEpdAnalysis);
  }
  if (!r.done() && std::strstr(r.current(), "-scan_pgn")) {
    if (!r.take(r.current(), 1)) return false;
    result.input_file = r.value(0);
    return mode(kModePgnScan);
  }
  if (r.take("-bench")) return result.bench_threaded = true, mode(kModeBenchmark);
  if (r.take("-pbench")) return result.bench_threaded = false, mode(kModeBenchmark);
  if (r.take("-mkconfig")) return mode(kModeMakeConfig);
  if (r.take("-mkbook", 1)) return (result.input_file = r.value(0)), mode(kModeBuildBook);
  if (r.take("-mkbook2", 1)) return (result.input_file = r.value(0)), mode(kModeSecondBookPass);
  if (r.take("-epd2bin", 1)) return (result.input_file = r.value(0)), mode(kModeEpdToTraining);
  if (r.take("-bin2epd", 1)) return (result.input_file = r.value(0)), mode(kModeTrainingToEpd);
  if (r.take("-bin2ptb", 1)) return (result.input_file = r.value(0)), mode(kModeTrainingToText);
  if (r.take("-prune_nn")) {
    // The training file: one named next, else the usual one in the working directory.
    bool named = r.has_more() && r.current()[0] != '-';
    result.input_file = named ? r.current() : tools::kDefaultPruneInput;
    if (named) r.skip();
    return mode(kModePruneNetwork);
  }
  if (r.take("-filtertraindata", 1)) return (result.input_file = r.value(0)), mode(kModeFilterTrainingData);
  if (r.take("-gentraindata", 2)) {
    result.positions_file = r.value(0);
    long long positions = std::atoll(r.value(1));
    if (positions < 100) result.failed = true;
    s.train_positions = static_cast<uint64_t>(positions);
    s.book_variety = 75;
    set_quiet();
    // The openings: a file named next, else the usual one in the working directory.
    if (r.has_more() && r.current()[0] != '-') {
      result.input_file = r.current();
      r.skip();
    } else {
      result.input_file = tools::kOpeningsFile;
    }
    return mode(kModeGenerateTrainingData);
  }
  // The tablebases are those of "-tbpath" or the configuration file.
  if (r.take("-scoretraindata", 1)) return (result.input_file = r.value(0)), mode(kModeScoreTrainingData);
  if (read_training_option(r, "-train", kModeTrain)) return true;
  return read_training_option(r, "-train2", kModeTrain2);
}

}  // namespace

CommandLine read_command_line(int argc, char** argv) {
  Reader reader(argc, argv);
  while (!reader.done() && !reader.result.failed) {
    if (!read_setting(reader) && !read_mode(reader) && !reader.done()) reader.skip();
  }
  return reader.result;
}

}  // namespace shell
