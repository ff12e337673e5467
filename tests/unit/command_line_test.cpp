// Reading the command line into the live settings and choosing the run mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "shell/commandline.h"
#include "search/control.h"
#include "base/settings.h"

namespace {

using search::control;
using base::settings;
using Args = std::vector<std::string>;

class CommandLineOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    base::set_default_settings(settings);
    search::set_default_control(control);
    base::settings_snapshot = settings;
  }

  // Reads `arguments` as if given after the program name.
  shell::CommandLine read(const Args& arguments) {
    storage_ = arguments;
    storage_.insert(storage_.begin(), "nesk");
    pointers_.clear();
    for (std::string& a : storage_) pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
    return shell::read_command_line(static_cast<int>(storage_.size()), pointers_.data());
  }

  // Reads `arguments` into freshly defaulted settings.
  shell::CommandLine fresh(const Args& arguments) {
    SetUp();
    return read(arguments);
  }

  static base::EngineSettings defaults() {
    base::EngineSettings s;
    base::set_default_settings(s);
    return s;
  }

 private:
  Args storage_;
  std::vector<char*> pointers_;
};

using CommandLineModes = CommandLineOptions;

bool same_settings(const base::EngineSettings& a, const base::EngineSettings& b) {
  return a == b;
}

TEST_F(CommandLineOptions, UnknownArgumentsChangeNothing) {
  shell::CommandLine result = read({"hello", "-x", "--hash", "16", "-HASH", "8", "-cc"});
  EXPECT_EQ(result.mode, shell::kModeEngine);
  EXPECT_FALSE(result.failed);
  EXPECT_TRUE(same_settings(settings, defaults()));
  EXPECT_TRUE(same_settings(base::settings_snapshot, defaults()));
  EXPECT_TRUE(result.limits == search::StandingLimits{});
}

TEST_F(CommandLineOptions, ProtocolAndOutputSwitches) {
  read({"-c"});
  EXPECT_EQ(settings.uci_mode, 0);
  fresh({"-c", "-uci"});
  EXPECT_EQ(settings.uci_mode, 1);

  fresh({"-log"});
  EXPECT_EQ(settings.log, 2);
  EXPECT_EQ(settings.noise, 0.0f);
  fresh({"-quiet"});
  EXPECT_EQ(settings.noise, 99999.0f);
  EXPECT_EQ(settings.log, 0);
  fresh({"-log", "-quiet"});
  EXPECT_EQ(settings.log, 0);
  fresh({"-quiet", "-log"});
  EXPECT_EQ(settings.log, 2);
  EXPECT_EQ(settings.noise, 99999.0f);

  fresh({"-noise", "3.5"});
  EXPECT_EQ(settings.noise, 3.5f);
  // Still taken (older scripts pass it) and changes nothing.
  EXPECT_FALSE(fresh({"-numa"}).failed);
  EXPECT_TRUE(same_settings(settings, defaults()));
}

TEST_F(CommandLineOptions, SearchLimits) {
  settings.moves_per_control = 7;
  shell::CommandLine r = read({"-t", "2"});
  EXPECT_EQ(settings.base_time, 2.0f);
  EXPECT_EQ(settings.moves_per_control, 1);
  EXPECT_EQ(r.limits.depth, 79);

  // The later option decides what both set.
  r = fresh({"-t", "2", "-d", "12"});
  EXPECT_EQ(settings.base_time, 10000.0f);
  EXPECT_EQ(r.limits.depth, 12);
  r = fresh({"-d", "12", "-t", "2"});
  EXPECT_EQ(settings.base_time, 2.0f);
  EXPECT_EQ(r.limits.depth, 79);

  EXPECT_EQ(fresh({"-d", "100"}).limits.depth, 79);
  EXPECT_EQ(fresh({"-d", "5"}).limits.depth, 5);

  SetUp();
  settings.moves_per_control = 7;
  r = read({"-n", "150000"});
  EXPECT_EQ(r.limits.nodes, 150000u);
  EXPECT_EQ(settings.base_time, 10000.0f);
  EXPECT_EQ(r.limits.depth, 79);
  EXPECT_EQ(settings.moves_per_control, 1);

  SetUp();
  settings.moves_per_control = 7;
  r = read({"-md", "7"});
  EXPECT_EQ(r.limits.node_depth_cap, 7);
  EXPECT_EQ(settings.base_time, 10000.0f);
  EXPECT_EQ(r.limits.depth, 80);
  EXPECT_EQ(settings.moves_per_control, 1);
}

TEST_F(CommandLineOptions, NodeRateLimitsStrength) {
  // 850 + 250 L - 5 L^2, truncated: L = 9.210340 gives 2728.43, L = 13.815511 gives
  // 3349.54, L = 7.824046 gives 2499.93.
  const std::vector<std::pair<std::string, int>> cases = {{"10000", 2728}, {"1000000", 3349}, {"2500", 2499}};
  for (const auto& [rate, elo] : cases) {
    SCOPED_TRACE(rate);
    SetUp();
    testing::internal::CaptureStdout();
    read({"-nps", rate});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Elo= " + std::to_string(elo) + "\n");
    EXPECT_EQ(control.target_nps, std::stof(rate));
    EXPECT_EQ(settings.limit_strength, 1);
    EXPECT_EQ(settings.uci_elo, elo);
  }
  // Rates the curve cannot take (0 has no logarithm, 1e30 no 16-bit Elo) are brought to
  // its ends, with a word: ln 10 gives 1399.14, ln 10^7 gives 3580.56.
  const std::vector<std::tuple<std::string, float, int>> outside = {
      {"0", 10.0f, 1399}, {"-5", 10.0f, 1399}, {"nan", 10.0f, 1399}, {"1e30", 1e7f, 3580}, {"inf", 1e7f, 3580}};
  for (const auto& [rate, used, elo] : outside) {
    SCOPED_TRACE(rate);
    SetUp();
    testing::internal::CaptureStdout();
    read({"-nps", rate});
    char note[96];
    std::snprintf(note, sizeof(note), "-nps takes 10 to 10000000 nodes per second: using %.0f\n", used);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), note + ("Elo= " + std::to_string(elo) + "\n"));
    EXPECT_EQ(control.target_nps, used);
    EXPECT_EQ(settings.uci_elo, elo);
  }
}

TEST_F(CommandLineOptions, SizesAreClamped) {
  const std::vector<std::pair<std::string, int>> hash = {{"70000", 65536}, {"-3", 0}, {"128", 128}, {"65536", 65536}};
  for (const auto& [value, expected] : hash) {
    fresh({"-hash", value});
    EXPECT_EQ(settings.hash_mb, expected) << value;
  }
  const std::vector<std::pair<std::string, int>> threads = {{"0", 1}, {"-4", 1}, {"600", 512}, {"8", 8}};
  for (const auto& [value, expected] : threads) {
    fresh({"-threads", value});
    EXPECT_EQ(settings.threads, expected) << value;
  }
  const std::vector<std::pair<std::string, int>> selectivity = {{"5", 10}, {"300", 200}, {"50", 50}};
  for (const auto& [value, expected] : selectivity) {
    fresh({"-ss", value});
    EXPECT_EQ(settings.selectivity, expected) << value;
  }
  // MultiPV keeps to 1..255, as the option does: 0 lines would mean no search at all.
  const std::vector<std::pair<std::string, int>> lines = {{"0", 1}, {"-4", 1}, {"256", 255}, {"3", 3}};
  for (const auto& [value, expected] : lines) {
    fresh({"-mpv", value});
    EXPECT_EQ(settings.multipv, expected) << value;
  }
}

TEST_F(CommandLineOptions, FilesAndPaths) {
  shell::CommandLine named = read({"-cfg", "my.cfg", "-book", "b.bin", "-tbpath", "/tb/a;/tb/b", "-o", "out.epd"});
  EXPECT_EQ(settings.config_file, "my.cfg");
  EXPECT_EQ(settings.book_file, "b.bin");
  EXPECT_EQ(settings.syzygy_path, "/tb/a;/tb/b");
  EXPECT_EQ(named.named_output, "out.epd");
  fresh({"-tbx"});
  EXPECT_EQ(settings.syzygy_path, "syzygy/6-piece;syzygy/7-piece");
  fresh({"-tbx", "/tb/6:/tb/7", "-hash", "2"});
  EXPECT_EQ(settings.syzygy_path, "/tb/6:/tb/7");
  EXPECT_EQ(settings.hash_mb, 2);

  // File names and directory lists are kept whole, however long.
  const std::string long_name(5000, 'f');
  fresh({"-cfg", long_name, "-book", long_name, "-tbpath", long_name});
  EXPECT_EQ(settings.config_file, long_name);
  EXPECT_EQ(settings.book_file, long_name);
  EXPECT_EQ(settings.syzygy_path, long_name);
  EXPECT_EQ(fresh({"-mkbook", long_name}).input_file, long_name);
}

TEST_F(CommandLineOptions, EachArgumentIsExaminedOnceInAnyOrder) {
  // "-ss" right after the value of "-mpv" is still read.
  read({"-mpv", "2", "-ss", "50"});
  EXPECT_EQ(settings.multipv, 2);
  EXPECT_EQ(settings.selectivity, 50);
  fresh({"-ss", "50", "-mpv", "2"});
  EXPECT_EQ(settings.multipv, 2);
  EXPECT_EQ(settings.selectivity, 50);

  // A value is a value even when it looks like an option.
  fresh({"-hash", "-threads", "4"});
  EXPECT_EQ(settings.hash_mb, 0);
  EXPECT_EQ(settings.threads, 1);
  fresh({"-cfg", "-c"});
  EXPECT_EQ(settings.config_file, "-c");
  EXPECT_EQ(settings.uci_mode, 1);

  // Every order of the same options gives the same settings.
  std::vector<Args> groups = {{"-c"}, {"-book", "x.bin"}, {"-hash", "32"}, {"-threads", "4"}, {"-use_hce"}};
  std::vector<int> order = {0, 1, 2, 3, 4};
  int orders = 0;
  do {
    Args arguments;
    for (int i : order) arguments.insert(arguments.end(), groups[i].begin(), groups[i].end());
    shell::CommandLine result = fresh(arguments);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(settings.uci_mode, 0);
    EXPECT_EQ(settings.book_file, "x.bin");
    EXPECT_EQ(settings.hash_mb, 32);
    EXPECT_EQ(settings.threads, 4);
    EXPECT_EQ(settings.use_nn, 0);
    ++orders;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(orders, 120);
}

TEST_F(CommandLineOptions, MissingValuesFail) {
  const std::vector<Args> cases = {
      {"-noise"},
      {"-cfg"},
      {"-t"},
      {"-d"},
      {"-n"},
      {"-md"},
      {"-mn"},
      {"-nps"},
      {"-hash"},
      {"-threads"},
      {"-book"},
      {"-tbpath"},
      {"-o"},
      {"-mpv"},
      {"-ss"},
      {"-lr"},
      {"-mbatch"},
      {"-tw"},
      {"-nnwidth"},
      {"-nnkb"},
      {"-nnob"},
      {"-anepd"},
      {"-scan_pgn"},
      {"-mkbook"},
      {"-mkbook2"},
      {"-epd2bin"},
      {"-bin2epd"},
      {"-bin2ptb"},
      {"-filtertraindata"},
      {"-gentraindata", "f.bin"},
      {"-scoretraindata"},
      {"-train", "f.bin"},
      {"-train2", "f.bin"},
      {"-train"},
  };
  for (const Args& tail : cases) {
    Args arguments = {"-c", "-hash", "16"};
    arguments.insert(arguments.end(), tail.begin(), tail.end());
    SCOPED_TRACE(tail.front());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(fresh(arguments).failed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_FALSE(fresh({"-c", "-hash", "16"}).failed);
}

TEST_F(CommandLineModes, EachModeOption) {
  struct Case {
    Args arguments;
    int mode;
  };
  const std::vector<Case> cases = {
      {{}, shell::kModeEngine},
      {{"-bench"}, shell::kModeBenchmark},
      {{"-pbench"}, shell::kModeBenchmark},
      {{"-mkconfig"}, shell::kModeMakeConfig},
      {{"-anepd", "suite.epd"}, shell::kModeEpdAnalysis},
      {{"-scan_pgn", "games.pgn"}, shell::kModePgnScan},
      {{"-mkbook", "games.pgn"}, shell::kModeBuildBook},
      {{"-mkbook2", "book.epd"}, shell::kModeSecondBookPass},
      {{"-epd2bin", "a.epd"}, shell::kModeEpdToTraining},
      {{"-bin2epd", "a.bin"}, shell::kModeTrainingToEpd},
      {{"-bin2ptb", "a.bin"}, shell::kModeTrainingToText},
      {{"-prune_nn"}, shell::kModePruneNetwork},
      {{"-filtertraindata", "a.bin"}, shell::kModeFilterTrainingData},
      {{"-gentraindata", "out.bin", "500"}, shell::kModeGenerateTrainingData},
      {{"-scoretraindata", "a.bin"}, shell::kModeScoreTrainingData},
      {{"-train", "data.bin", "5"}, shell::kModeTrain},
      {{"-train2", "data.bin", "5"}, shell::kModeTrain2},
      // The last mode option wins.
      {{"-bench", "-mkconfig"}, shell::kModeMakeConfig},
      {{"-mkconfig", "-anepd", "x.epd", "-hash", "8"}, shell::kModeEpdAnalysis},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "none" : c.arguments.front());
    shell::CommandLine result = fresh(c.arguments);
    EXPECT_EQ(result.mode, c.mode);
    EXPECT_FALSE(result.failed);
  }
  EXPECT_TRUE(fresh({"-bench"}).bench_threaded);
  EXPECT_FALSE(fresh({"-pbench"}).bench_threaded);
}

TEST_F(CommandLineModes, ToolOptionsWithSideEffects) {
  EXPECT_EQ(read({"-anepd", "suite.epd"}).input_file, "suite.epd");
  EXPECT_EQ(settings.noise, 99999.0f);

  // Any argument containing the option's name will do, and its value is taken as it stands.
  shell::CommandLine scan = fresh({"x-scan_pgn.exe", "more.pgn"});
  EXPECT_EQ(scan.mode, shell::kModePgnScan);
  EXPECT_EQ(scan.input_file, "more.pgn");
  scan = fresh({"-scan_pgn", "-bench"});
  EXPECT_EQ(scan.mode, shell::kModePgnScan);
  EXPECT_EQ(scan.input_file, "-bench");

  // The tablebases stay those given, before or after the option.
  EXPECT_EQ(fresh({"-tbpath", "/tb/6", "-scoretraindata", "e.bin"}).input_file, "e.bin");
  EXPECT_EQ(settings.syzygy_path, "/tb/6");
  fresh({"-scoretraindata", "e.bin"});
  EXPECT_EQ(settings.syzygy_path, "");

  // The openings: the file named after the count, else the usual one.
  shell::CommandLine games = fresh({"-gentraindata", "out.bin", "500", "/data/open.epd", "-d", "3"});
  EXPECT_EQ(games.mode, shell::kModeGenerateTrainingData);
  EXPECT_EQ(games.input_file, "/data/open.epd");
  EXPECT_EQ(games.limits.depth, 3);
  games = fresh({"-anepd", "s.epd", "-gentraindata", "out.bin", "500", "-d", "3"});
  EXPECT_EQ(games.input_file, "mybook_6mv.epd");
  EXPECT_EQ(games.limits.depth, 3);
  EXPECT_EQ(games.positions_file, "out.bin");
  EXPECT_EQ(settings.train_positions, 500u);
  EXPECT_EQ(settings.book_variety, 75);
  EXPECT_EQ(settings.noise, 99999.0f);
  EXPECT_FALSE(fresh({"-gentraindata", "out.bin", "100"}).failed);
  EXPECT_TRUE(fresh({"-gentraindata", "out.bin", "99"}).failed);

  // The records that measure the network: the file named next, else the usual one.
  shell::CommandLine prune = fresh({"-prune_nn", "/data/n.bin", "-d", "3"});
  EXPECT_EQ(prune.mode, shell::kModePruneNetwork);
  EXPECT_EQ(prune.input_file, "/data/n.bin");
  EXPECT_EQ(prune.limits.depth, 3);
  prune = fresh({"-prune_nn", "-quiet"});
  EXPECT_TRUE(prune.quiet);
  EXPECT_EQ(prune.input_file, "2024_n10k.bin");
}

TEST_F(CommandLineModes, TrainingOptions) {
  shell::CommandLine result = read({"-train", "data.bin", "5"});
  EXPECT_FALSE(result.failed);
  EXPECT_EQ(result.input_file, "data.bin");
  EXPECT_EQ(settings.train_positions, 5000000u);
  EXPECT_EQ(settings.hash_mb, 0);

  fresh({"-train2", "data.bin", "2.5", "1"});
  EXPECT_EQ(settings.train_positions, 2500000u);

  // The table size is zeroed when the option is read; a later "-hash" still counts.
  fresh({"-hash", "16", "-train", "data.bin", "5"});
  EXPECT_EQ(settings.hash_mb, 0);
  fresh({"-train", "data.bin", "5", "-hash", "16"});
  EXPECT_EQ(settings.hash_mb, 16);
  fresh({"-train", "data.bin", "5", "0", "-hash", "16"});
  EXPECT_EQ(settings.hash_mb, 16);

  // The shape of the network "-train" makes.
  EXPECT_EQ(settings.net_width, 256);
  fresh({"-nnwidth", "512", "-nnkb", "2", "-nnob", "1", "-train", "data.bin", "5"});
  EXPECT_EQ(settings.net_width, 512);
  EXPECT_EQ(settings.net_king_buckets, 2);
  EXPECT_EQ(settings.net_output_buckets, 1);

  EXPECT_TRUE(fresh({"-train", "data.bin", "0.5"}).failed);
  EXPECT_TRUE(fresh({"-train2", "data.bin", "0"}).failed);
  // Counts no unsigned number holds are refused, and leave the setting as it was.
  for (const char* millions : {"-8", "1e300", "nan"}) {
    EXPECT_TRUE(fresh({"-train", "data.bin", millions}).failed) << millions;
    EXPECT_EQ(settings.train_positions, defaults().train_positions) << millions;
  }
}

}  // namespace
