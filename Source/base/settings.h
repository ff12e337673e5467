// Every tunable behaviour of the engine lives in one global record. A second record of
// the same layout, the snapshot, holds the values "uci" reports as option defaults.
#pragma once

#include <cstdint>
#include <string>

namespace base {

struct EngineSettings {
  uint8_t quit;
  float noise;
  float learning_rate;
  uint64_t train_positions;
  int32_t mini_batch;
  float train_weight;
  // The shape of a network "-train" makes: accumulator width (both perspectives), king
  // buckets (1 to 3) and output buckets (1, or 6 chosen by material).
  int16_t net_width;
  int8_t net_king_buckets;
  int8_t net_output_buckets;
  uint8_t console_debug;
  uint8_t uci_mode;
  float calibration_nps;
  float max_elo;
  int16_t moves_per_control;
  float base_time;
  float increment;
  int32_t hash_mb;
  int16_t threads;
  uint8_t use_nn;
  int16_t move_overhead;
  int16_t ponder;
  uint8_t chess960;
  uint8_t multipv;
  uint8_t limit_strength;
  int16_t uci_elo;
  uint8_t log;
  uint8_t own_book;
  uint8_t book_variety;
  uint8_t book_depth;
  uint8_t book2_depth;
  int8_t eval_noise;
  std::string nn_file;
  std::string config_file;
  std::string book_file;
  std::string book2_file;
  std::string syzygy_path;
  int8_t syzygy_probe_depth;
  int8_t syzygy_probe_depth7;
  int16_t contempt;
  int16_t selectivity;
  int16_t pruning_depth[7];

  bool operator==(const EngineSettings&) const = default;
};

// Indexes of the named pruning depths.
enum PruningDepth { kSepDepth = 2, kNmpDepth = 3, kFpDepth = 4, kLmpDepth = 5, kLmrDepth = 6 };

extern EngineSettings settings;
extern EngineSettings settings_snapshot;

// `noise` is how many seconds a search stays silent before its information lines; this
// much means never, and then the greetings and load reports are left out too. "-quiet",
// the benchmark and the tools set it so that only their own results are printed.
constexpr float kQuietNoise = 99999;

inline bool quiet() { return settings.noise >= kQuietNoise; }
inline void set_quiet() { settings.noise = kQuietNoise; }

// Puts every built-in default into `s`.
void set_default_settings(EngineSettings& s);

}  // namespace base
