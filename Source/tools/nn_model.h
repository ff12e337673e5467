// The network the trainer fits, in floating point, and its quantised form as the engine
// runs it. The float network mirrors the engine's: for each perspective an accumulator
// of bias + the feature rows of its men, an activation that keeps positive values and
// divides negative ones by 64, and an output row (chosen by material when the network has
// output buckets) whose first half meets the side to move's accumulator and whose second
// half meets the other side's. Its output y is in logit units: sigmoid(y) is the side to
// move's win probability, y x 200 its centipawn value.
//
// Quantisation: feature weights and biases x kAccumulatorScale, output weights x
// kOutputWeightScale, both rounded to 16 bits; their product is kDivisor squared, so the
// engine's output y = (dot(own) / D + dot(other) / D) / D stays in the same units, and
// the stored output scale of 200 centipawns a unit makes the engine's score the float
// network's centipawns up to rounding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "eval/network.h"
#include "tools/nn_sample.h"

namespace tools {

constexpr int kAccumulatorScale = 1024;
constexpr int kOutputWeightScale = 4096;
constexpr int kDivisor = 2048;
constexpr int kCentipawnsPerUnit = 200;
constexpr int kNetVersion = 781;
constexpr int kOutputRows = 8;  // rows stored in the file; rows 0 .. 5 are used
static_assert(static_cast<long>(kAccumulatorScale) * kOutputWeightScale == static_cast<long>(kDivisor) * kDivisor);

struct NetShape {
  int width = 256;         // both perspectives together
  int king_buckets = 1;    // 1 .. 3
  int output_buckets = 6;  // 1 or 6
};

// Null when the engine can load a network of `shape`, else what is wrong with it.
const char* unloadable_shape(const NetShape& shape);

// Parameters in file order: feature rows (king buckets x 768 rows of width / 2), eight
// output rows of width, biases (white perspective's half, then black's).
struct NetModel {
  NetShape shape;
  int half = 0;
  std::vector<float> params;
  size_t output_offset = 0, bias_offset = 0;

  NetModel() = default;
  // Zero parameters; `shape.width` may be any even number here (tests use tiny ones).
  explicit NetModel(const NetShape& shape);
  // Small random feature and output weights, zero biases.
  void randomise(uint64_t seed);

  const float* feature_row(int feature) const { return params.data() + static_cast<size_t>(feature) * half; }
  const float* output_row(const NetSample& sample) const;
  // The largest magnitude a parameter may take so that its quantised value fits 16 bits.
  float limit(size_t index) const { return index >= output_offset && index < bias_offset ? kOutputLimit : kAccumulatorLimit; }

  static constexpr float kAccumulatorLimit = 32767.0f / kAccumulatorScale;
  static constexpr float kOutputLimit = 32767.0f / kOutputWeightScale;
};

// One position's forward pass, kept for the backward pass.
struct NetPass {
  NetFeatures features;
  std::vector<float> pre;  // 2 x half: white perspective, then black, before activation
  std::vector<float> delta;  // scratch of the backward pass, 2 x half
  float y = 0;
};

// The float network's output y for `sample`.
float forward(const NetModel& model, const NetSample& sample, NetPass& pass);
// Adds dy x d(y)/d(parameter) to `gradient` (one float per parameter), for the sample of
// the last forward pass.
void backward(const NetModel& model, const NetSample& sample, NetPass& pass, float dy, float* gradient);

// The loss the training minimises for one position, the cross-entropy of sigmoid(y)
// against the target, and its derivative by y. Unlike the squared error its slope does
// not vanish for decided positions, so large values are fitted too.
float sample_loss(float y, float target);
float loss_slope(float y, float target);
// The squared error of sigmoid(y) against the target: the figure the reports give, as
// the evaluation tuner does.
float squared_error(float y, float target);

// The network in the engine's file layout, 16-bit weights.
struct QuantisedNet {
  eval::NetHeader header;
  std::vector<int16_t> weights;
};
QuantisedNet quantise(const NetModel& model);

// The engine's network value of `sample`, side to move's view, computed the way its
// evaluation does it from a full accumulator refresh: 16-bit saturating sums in the
// refresh order, 32-bit wrapping dot products, the same divisions and rounding, the
// clamp to -3000 .. 3000.
int quantised_score(const QuantisedNet& net, const NetSample& sample);

// Writes the quantised network to `path`; false when it could not be written.
bool save_network(const NetModel& model, const char* path);

}  // namespace tools
