// Tuning the hand-crafted evaluation's parameters on labelled positions: each position's
// evaluation is taken apart once into the weight every parameter has in it (by nudging
// the parameter and evaluating again, so the evaluation's own terms are measured, not
// re-derived), then a logistic fit of that linear model to the targets runs with Adam.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "position/position.h"

namespace tools {

// How much one parameter moves one position's packed score, side to move's view: the
// change of the middlegame and endgame halves when the parameter grows by kNudge.
struct ParamWeight {
  uint16_t param;
  int16_t mg;
  int16_t eg;
};

constexpr int kNudge = 256;

struct TuningSet {
  std::vector<ParamWeight> weights;
  std::vector<uint32_t> first;   // position i's weights are [first[i], first[i + 1])
  std::vector<float> phase;      // middlegame share of the taper
  std::vector<float> scale;      // drawish-ending scale, fixed at the starting parameters
  std::vector<float> offset_mg;  // what the weights leave unexplained (rounding), per half
  std::vector<float> offset_eg;
  std::vector<float> target;     // probability the labels give, side to move's view
  size_t size() const { return target.size(); }
};

// Takes every position apart, on `threads` threads. The evaluation's parameters are back
// as they were afterwards.
TuningSet build_tuning_set(const std::vector<position::Position>& positions, const std::vector<float>& targets,
                           int threads);

// Parameter values as the fit holds them, in registry order.
struct ParamValues {
  std::vector<float> mg, eg;
};
ParamValues current_param_values();
void apply_param_values(const ParamValues& values);

// Centipawns of position i under `values`, side to move's view.
float model_value(const TuningSet& set, size_t i, const ParamValues& values);
// Mean squared error of sigmoid(k * value) against the targets over positions [begin, end).
double model_loss(const TuningSet& set, const ParamValues& values, double k, size_t begin, size_t end, int threads);
// The k that fits the current values best.
double fit_scale(const TuningSet& set, const ParamValues& values, size_t begin, size_t end, int threads);

struct TuningOptions {
  int epochs = 400;
  double learning_rate = 1.0;  // centipawns a step, before Adam's scaling
  int threads = 1;
};
// Adam over every parameter but the frozen ones (the pawn's material value sets the
// scale); positions [0, train_end) are fitted. Returns the values reached.
ParamValues tune(const TuningSet& set, ParamValues values, double k, size_t train_end, const TuningOptions& options);

// Parameter text in the form the engine embeds (data/eval_params.txt).
std::string params_text(const ParamValues& values);

// The "-train2" run: records of `file`, at most `max_positions`, the last tenth held out;
// writes "tuned_eval_params.txt" and reports the losses. Returns the exit status.
int run_hce_tuning(const char* file, uint64_t max_positions);

}  // namespace tools
