// Training the network: shuffled mini-batches over the training positions, gradients of
// the cross-entropy on several threads, Adam (AdamW with a weight decay) with a cosine
// learning-rate schedule, and a report after every epoch; the "-train" run mode around it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/nn_model.h"
#include "tools/nn_sample.h"

namespace tools {

struct NetTrainingOptions {
  double learning_rate = 0.001;   // at the start; the schedule ends at kFinalRateShare of it
  int batch = 3000;               // positions a step
  double weight_decay = 0.0;      // AdamW's decoupled decay, a share of the rate a step
  int threads = 1;
  int epochs = 1;
  uint64_t seed = 1;              // of the shuffles
};
constexpr double kFinalRateShare = 0.05;

struct EpochReport {
  int epoch;                  // from 1
  double learning_rate;       // at the epoch's end
  double training_error;      // mean squared error over the epoch's steps, as they were taken
  double seconds;             // of the epoch's training steps
};

// Trains `model` on `samples`; `after_epoch` (when given) runs after each epoch. The
// positions are visited in a new random order every epoch.
void train_network(NetModel& model, const std::vector<NetSample>& samples, const NetTrainingOptions& options,
                   const std::function<void(const EpochReport&)>& after_epoch = {});

// Mean squared error of the float network over `samples`, on `threads` threads.
double mean_error(const NetModel& model, const std::vector<NetSample>& samples, int threads);
// The same for the engine's evaluation of the quantised network: the probability of its
// centipawn score against the target.
double mean_quantised_error(const QuantisedNet& net, const std::vector<NetSample>& samples, int threads);

// The "-train" run: the usable records of `file`, the last tenth held out (whole games,
// as the files are in game order), trained for about `positions` positions (whole
// epochs, at least one) in the shape settings.net_width, net_king_buckets and
// net_output_buckets give, with "-lr", "-mbatch", "-tw" and "-threads". Writes the network
// after every epoch as nn_epochNNN.net and reports the losses. Returns the exit status.
int run_network_training(const char* file, uint64_t positions);

}  // namespace tools
