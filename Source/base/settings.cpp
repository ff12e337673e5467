#include "base/settings.h"

namespace base {

EngineSettings settings;
EngineSettings settings_snapshot;

void set_default_settings(EngineSettings& s) {
  s = EngineSettings{};
  s.learning_rate = 0.001f;
  s.train_positions = 400000000;
  s.mini_batch = 3000;
  s.net_width = 256;
  s.net_king_buckets = 1;
  s.net_output_buckets = 6;
  s.uci_mode = 1;
  s.moves_per_control = 1;
  s.base_time = 5.0f;
  s.hash_mb = 64;
  s.threads = 1;
  s.use_nn = 1;
  s.move_overhead = 50;
  s.multipv = 1;
  s.own_book = 1;
  s.book_variety = 25;
  s.book_depth = 24;
  s.nn_file = "embedded";
  s.book_file = "nesk_book.bin";
  s.syzygy_probe_depth = 1;
  s.syzygy_probe_depth7 = 7;
  s.selectivity = 100;
  static constexpr int16_t kPruningDepths[7] = {15, 0, 3, 3, 4, 6, 3};
  for (int i = 0; i < 7; ++i) s.pruning_depth[i] = kPruningDepths[i];
}

}  // namespace base
