// Start-up, one run mode, clean-up.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "book/build.h"
#include "eval/kpk.h"
#include "eval/network.h"
#include "eval/params.h"
#include "position/bitboard.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "search/tt.h"
#include "shell/bench.h"
#include "shell/commandline.h"
#include "search/control.h"
#include "shell/driver.h"
#include "shell/options.h"
#include "shell/search_limits.h"
#include "shell/search_report.h"
#include "base/output.h"
#include "base/settings.h"
#include "shell/uci.h"
#include "tablebase/tbfiles.h"
#include "tools/epd_suite.h"
#include "tools/epd_to_training.h"
#include "tools/hce_tuner.h"
#include "tools/filter_training.h"
#include "tools/nn_trainer.h"
#include "tools/tool_files.h"
#include "tools/pgn_scan.h"
#include "tools/progress.h"
#include "tools/prune_network.h"
#include "tools/score_training.h"
#include "tools/selfplay.h"
#include "tools/tool_search.h"
#include "tools/training_features.h"
#include "tools/training_to_epd.h"

namespace {

// Tiny searches need only a small table.
void shrink_hash_for_tiny_searches(const search::StandingLimits& limits, base::EngineSettings& s) {
  if (limits.depth <= 8 || limits.nodes <= 100000) s.hash_mb = 2;
  else if (limits.depth == 9 || limits.nodes <= 200000) s.hash_mb = 4;
}

void release_thread_blocks() {
  search::free_thread(search::main_thread);
  search::main_thread = nullptr;
  for (search::SearchThread*& block : search::thread_blocks) {
    search::free_thread(block);
    block = nullptr;
  }
}

#ifdef NESK_TRAINING
constexpr bool kTrainingBuild = true;
#else
constexpr bool kTrainingBuild = false;
#endif

// What every run mode needs before the command line is read: a random seed, the main
// thread's block, the move and endgame tables, and the default settings.
bool start_up() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  timespec now;
  std::timespec_get(&now, TIME_UTC);
  std::srand(static_cast<unsigned>(now.tv_nsec));

  search::main_thread = search::allocate_thread(0);
  if (!search::main_thread) return false;
  position::init_tables();
  eval::build_kpk_table();

  base::set_default_settings(base::settings);
  search::set_default_control(search::control);
  return true;
}

// The trainers exist only in the build "make train_" makes.
bool mode_is_built(int mode) {
  if ((mode == shell::kModeTrain || mode == shell::kModeTrain2) && !kTrainingBuild) {
    std::printf("Need to compile with 'make train_'\n");
    return false;
  }
  return true;
}

// What the searches evaluate with, once the command line has set the hash table's size:
// the configuration file's settings, the log, the evaluation's parameters, the network and
// the tablebases.
void load_engine_data() {
  using base::settings;
  // What "set ss 1" and the "uci" option defaults go back to: the command line's settings,
  // then those of the configuration file (which takes the snapshot again).
  shell::take_settings_snapshot();
  if (!settings.config_file.empty()) shell::load_config_file();
  if (settings.log) base::open_log();
  eval::register_eval_params();
  eval::load_embedded_params();
  eval::load_network();
  if (settings.syzygy_path.size() > 1 && !tablebase::tb_path_is_current()) tablebase::tb_init();
  if (!eval::network_loaded() && settings.use_nn && !base::quiet())
    base::emit_line("info string no network loaded, evaluating with the hand-crafted evaluation");
}

// Runs the mode the command line chose, with the files and limits it named; returns the
// exit code.
int run_mode(const shell::CommandLine& command_line) {
  using namespace shell;
  using base::settings;
  const tools::ToolFiles files{command_line.input_file, command_line.named_output};
  const search::StandingLimits& limits = command_line.limits;
  switch (command_line.mode) {
    case kModeTrain:
      return tools::run_network_training(files.input.c_str(), settings.train_positions);
    case kModeTrain2:
      return tools::run_hce_tuning(files.input.c_str(), settings.train_positions);
    case kModeEngine:
      calibrate();
      game_driver();
      return 0;
    case kModeBenchmark:
      run_benchmark(command_line.bench_threaded ? 1 : 0);
      return 0;
    case kModeBuildBook:
      return book::build_book(files.input);
    case kModeEpdAnalysis:
      return tools::run_epd_suite(files, tools::kUsualEpdOutput, false, limits);
    case kModePgnScan:
      return tools::scan_pgn_file(files);
    case kModePruneNetwork:
      return tools::prune_network(files, "pruned.bin");
    case kModeSecondBookPass:
      return tools::run_epd_suite(files, tools::kSuiteScratchOutput, true, limits);
    case kModeGenerateTrainingData:
      return tools::generate_selfplay_epd(files.input, command_line.positions_file, settings.train_positions, limits);
    case kModeScoreTrainingData:
      return tools::score_training_file(files, limits);
    case kModeEpdToTraining:
      return tools::epd_to_training_file(files);
    case kModeTrainingToEpd:
      return tools::training_to_epd_file(files);
    case kModeTrainingToText:
      return tools::training_to_feature_file(files);
    case kModeFilterTrainingData:
      return tools::filter_training_file(files);
    default:
      return 0;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using base::settings;
  if (!start_up()) return 1;
  shell::CommandLine command_line = shell::read_command_line(argc, argv);
  if (command_line.failed || !mode_is_built(command_line.mode)) {
    release_thread_blocks();
    return 1;
  }

  tools::progress_quiet = command_line.quiet;
  if (!base::quiet()) {
    char line[64];
    std::snprintf(line, sizeof(line), "info string Hello from %s", shell::kEngineName);
    base::emit_line(line);
  }
  shrink_hash_for_tiny_searches(command_line.limits, settings);
  // The engine and the benchmark keep the command line's limits with the shell's own.
  shell::kept_limits.standing = command_line.limits;
  if (!shell::make_hash_table()) {
    release_thread_blocks();
    return 1;
  }
  load_engine_data();
  tools::set_search_reporter(shell::batch_reporter());
  int exit_code = run_mode(command_line);

  search::free_hash_table();
  base::close_log();
  release_thread_blocks();
  return exit_code;
}
