#include "tools/prune_network.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "base/output.h"
#include "eval/accumulator.h"
#include "eval/inference.h"
#include "eval/network.h"
#include "eval/score.h"
#include "position/position.h"
#include "tools/network_file.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/training_file.h"

namespace tools {

namespace {

using eval::network;

// Adds, per unit j of each half, |activation x output weight| x 1e-6 for one evaluated
// position. With a second hidden layer a unit feeds every neuron of it, so all of its
// weights count.
void collect(const eval::Accumulator& acc, int side, double* white_stats, double* black_stats) {
  const eval::NetHeader& h = network.header;
  const int half = h.width / 2;
  const int rows = h.hidden2 > 0 ? h.hidden2 : 1;
  const int first_row = h.hidden2 > 0 ? 0 : acc.output_bucket;
  for (int r = 0; r < rows; ++r) {
    const int16_t* row = network.output_weights + static_cast<size_t>(first_row + r) * h.width;
    // The side to move's half meets the row's first H weights.
    const int16_t* white_row = row + (side == position::kWhite ? 0 : half);
    const int16_t* black_row = row + (side == position::kWhite ? half : 0);
    for (int j = 0; j < half; ++j) {
      white_stats[j] += std::fabs(static_cast<double>(acc.white_half[j]) * white_row[j]) * 0.000001;
      black_stats[j] += std::fabs(static_cast<double>(acc.black_half[j]) * black_row[j]) * 0.000001;
    }
  }
}

// The units to keep, strongest first: each pick takes the largest mean of the two
// perspectives' statistics (the first of equals) and clears it.
std::vector<int> strongest_units(std::vector<double>& white, std::vector<double>& black, int keep) {
  std::vector<int> chosen;
  std::vector<char> taken(white.size(), 0);
  for (int n = 0; n < keep; ++n) {
    int best = -1;
    double best_mean = 0;
    for (size_t j = 0; j < white.size(); ++j) {
      double mean = 0.5 * (white[j] + black[j]);
      if (!taken[j] && (best < 0 || mean > best_mean)) best = static_cast<int>(j), best_mean = mean;
    }
    taken[best] = 1;
    white[best] = black[best] = 0;
    chosen.push_back(best);
  }
  return chosen;
}

// The weights of a network whose first layer holds only the chosen units, in their order.
std::vector<int16_t> narrowed(const eval::NetHeader& h, const eval::NetHeader& narrow, const std::vector<int>& units) {
  const size_t half = static_cast<size_t>(h.width / 2), new_half = units.size();
  std::vector<int16_t> w(eval::weights_for(narrow));
  int16_t* out = w.data();
  const size_t rows = static_cast<size_t>(h.king_buckets) * eval::kFeaturesPerBucket;
  for (size_t f = 0; f < rows; ++f)
    for (size_t i = 0; i < new_half; ++i) *out++ = network.feature_weights[f * half + units[i]];
  // Material-layer inputs, then after the output block the blocks that do not depend on
  // the width, are copied as they are.
  out = std::copy_n(network.material_weights, 16 * static_cast<size_t>(h.hidden1), out);
  const size_t outputs = h.hidden2 > 8 ? h.hidden2 : 8;
  auto copy_pairs = [&](const int16_t* from) {  // a row of W: both perspectives' units
    for (size_t i = 0; i < new_half; ++i) out[i] = from[units[i]];
    for (size_t i = 0; i < new_half; ++i) out[new_half + i] = from[half + units[i]];
    out += 2 * new_half;
  };
  for (size_t r = 0; r < outputs; ++r) copy_pairs(network.output_weights + r * h.width);
  out = std::copy_n(network.material_output, outputs * h.hidden1, out);
  out = std::copy_n(network.hidden2_output, 8 * static_cast<size_t>(h.hidden2), out);
  copy_pairs(network.biases);
  out = std::copy_n(network.material_biases, static_cast<size_t>(h.hidden1), out);
  std::copy_n(network.hidden2_biases, static_cast<size_t>(h.hidden2), out);
  return w;
}

}  // namespace

int prune_network(const ToolFiles& files, const std::string& usual_output) {
  if (!eval::network_loaded()) return base::report_failure("no network loaded");
  const std::string& training_file = files.input;
  OutputChoice output = choose_output(files, usual_output);
  OutputFile out;
  if (!out.open(output, training_file)) return base::report_failure("%s", out.failure().c_str());
  std::vector<TrainingRecord> records;
  if (load_training_file(training_file, records) != 0) return base::kToolFailed;

  const eval::NetHeader h = network.header;
  const int half = h.width / 2;
  std::vector<double> white_stats, black_stats;
  try {
    white_stats.assign(half, 0.0);
    black_stats.assign(half, 0.0);
  } catch (const std::bad_alloc&) {
    return base::report_failure("alloc for stats failed");
  }

  base::emit_line("Collecting stats ...\n");
  position::Position pos{};
  eval::Accumulator acc{};
  uint64_t usable = 0;
  {
    Progress progress("positions", records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      float target;
      if (decode_training_record(records[i], pos, target)) {
        if (eval::evaluate_for_display(pos, acc) == eval::kNoScore) break;
        collect(acc, pos.side, white_stats.data(), black_stats.data());
        ++usable;
      }
      progress.update(i + 1);
    }
  }
  eval::free_accumulators(acc);

  base::emit_line(("Writing pruned net to " + output.path + " ...\n").c_str());
  eval::NetHeader narrow = h;
  std::vector<int16_t> weights;
  try {
    if (h.width > kPruneThreshold) {
      std::vector<int> units = strongest_units(white_stats, black_stats, kPrunedWidth / 2);
      narrow.width = kPrunedWidth;
      weights = narrowed(h, narrow, units);
    } else {
      weights.assign(network.weights, network.weights + network.total);
    }
  } catch (const std::bad_alloc&) {
    return base::report_failure("alloc for tmpW failed");
  }
  narrow.weight_count = static_cast<int32_t>(weights.size());
  write_network(out, narrow, weights);
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  std::printf("measured %llu positions, wrote %s with width %d\n", static_cast<unsigned long long>(usable),
              output.path.c_str(), narrow.width);
  return base::kToolSucceeded;
}

}  // namespace tools
