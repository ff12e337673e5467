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
#include "base/output.h"
#include "base/settings.h"
#include "shell/uci.h"
#include "tablebase/tbfiles.h"
#include "tools/epd_suite.h"
#include "tools/epd_to_training.h"
#include "tools/hce_tuner.h"
#include "tools/filter_training.h"
#include "tools/nn_trainer.h"
#include "tools/output_file.h"
#include "tools/pgn_scan.h"
#include "tools/progress.h"
#include "tools/prune_network.h"
#include "tools/score_training.h"
#include "tools/selfplay.h"
#include "tools/training_features.h"
#include "tools/training_to_epd.h"

namespace {

// Tiny searches need only a small table.
void shrink_hash_for_tiny_searches(base::EngineSettings& s) {
  if (s.depth_limit <= 8 || s.node_limit <= 100000) s.hash_mb = 2;
  else if (s.depth_limit == 9 || s.node_limit <= 200000) s.hash_mb = 4;
}

void release_thread_blocks() {
  search::free_thread(search::main_thread);
  search::main_thread = nullptr;
  for (search::SearchThread*& block : search::thread_blocks) {
    search::free_thread(block);
    block = nullptr;
  }
}

}  // namespace

#ifdef NESK_TRAINING
constexpr bool kTrainingBuild = true;
#else
constexpr bool kTrainingBuild = false;
#endif

int main(int argc, char** argv) {
  using namespace base;
  using namespace search;
  using namespace shell;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  timespec now;
  std::timespec_get(&now, TIME_UTC);
  std::srand(static_cast<unsigned>(now.tv_nsec));

  main_thread = search::allocate_thread(0);
  if (!search::main_thread) return 1;
  position::init_tables();
  eval::build_kpk_table();

  set_default_settings(settings);
  set_default_control(control);

  CommandLine command_line = read_command_line(argc, argv);
  if (command_line.failed) {
    release_thread_blocks();
    return 1;
  }
  // The trainers exist only in the build "make train_" makes.
  if ((command_line.mode == kModeTrain || command_line.mode == kModeTrain2) && !kTrainingBuild) {
    std::printf("Need to compile with 'make train_'\n");
    release_thread_blocks();
    return 1;
  }

  tools::progress_quiet = command_line.quiet;
  if (command_line.output_named) tools::named_output = settings.tool_output_file;
  if (!quiet()) {
    char line[64];
    std::snprintf(line, sizeof(line), "info string Hello from %s", kEngineName);
    emit_line(line);
  }
  shrink_hash_for_tiny_searches(settings);
  if (!search::allocate_hash_table()) {
    release_thread_blocks();
    return 1;
  }
  // What "set ss 1" and the "uci" option defaults go back to: the command line's settings,
  // then those of the configuration file (which takes the snapshot again).
  settings_snapshot = settings;
  if (!settings.config_file.empty()) load_config_file();
  if (settings.log) open_log();
  eval::register_eval_params();
  eval::load_embedded_params();
  eval::load_network();
  if (settings.syzygy_path.size() > 1 && !tablebase::tb_path_is_current()) tablebase::tb_init();
  if (!eval::network_loaded() && settings.use_nn && !quiet())
    emit_line("info string no network loaded, evaluating with the hand-crafted evaluation");

  int exit_code = 0;
  switch (command_line.mode) {
    case kModeTrain:
      exit_code = tools::run_network_training(settings.training_file.c_str(), settings.train_positions);
      break;
    case kModeTrain2:
      exit_code = tools::run_hce_tuning(settings.training_file.c_str(), settings.train_positions);
      break;
    case kModeEngine:
      calibrate();
      game_driver();
      break;
    case kModeBenchmark:
      run_benchmark(command_line.bench_threaded ? 1 : 0);
      break;
    case kModeBuildBook:
      exit_code = book::build_book();
      break;
    case kModeEpdAnalysis:
      exit_code = tools::run_epd_suite(settings.tool_output_file, false);
      break;
    case kModePgnScan:
      exit_code = tools::scan_pgn_file();
      break;
    case kModePruneNetwork:
      exit_code = tools::prune_network(settings.training_file, "pruned.bin");
      break;
    case kModeSecondBookPass:
      exit_code = tools::run_epd_suite("junk.epd", true);
      break;
    case kModeGenerateTrainingData:
      exit_code = tools::generate_selfplay_epd(settings.train_positions);
      break;
    case kModeScoreTrainingData:
      exit_code = tools::score_training_file();
      break;
    case kModeEpdToTraining:
      exit_code = tools::epd_to_training_file();
      break;
    case kModeTrainingToEpd:
      exit_code = tools::training_to_epd_file();
      break;
    case kModeTrainingToText:
      exit_code = tools::training_to_feature_file();
      break;
    case kModeFilterTrainingData:
      exit_code = tools::filter_training_file();
      break;
    default:
      break;
  }

  search::free_hash_table();
  close_log();
  release_thread_blocks();
  return exit_code;
}
