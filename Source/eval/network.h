// The network: its file format, the process-wide weights and the loader. The weights come
// from the network built into the engine ("embedded"), from a file, or are left zero in a
// network of the default shape ("new").
#pragma once

#include <cstddef>
#include <cstdint>

namespace eval {

struct NetHeader {
  int32_t version;         // 752 legacy width, 779 material correction, 781 current
  int32_t output_divisor;
  int32_t weight_width;    // 128 or more: 16-bit weights, else 8-bit
  int32_t output_scale;    // centipawns per unit of network output
  int32_t king_buckets;    // 1, 2 or 3
  int32_t feature_set;     // 1 = Half_KA
  int32_t width;           // accumulator width, both perspectives together
  int32_t hidden1;         // material-layer neurons, 0 = none
  int32_t hidden2;         // second hidden layer neurons, 0 = none
  int32_t output_buckets;  // 1 or more: output row chosen by a material bucket
  int32_t weight_count;    // total weights, as computed from the other fields
};

constexpr int kHeaderBytes = 24;
constexpr int kFeaturesPerBucket = 768;

struct Network {
  NetHeader header;
  int16_t* weights;            // one array holding the seven blocks below, in order
  size_t total;                // number of weights
  int16_t* feature_weights;    // B x 768 rows of H, then 16 per material-layer neuron
  int16_t* material_weights;   // the 16 per material-layer neuron (tail of block 1)
  int16_t* output_weights;     // W x max(h2, 8)
  int16_t* material_output;    // max(h2, 8) x h1
  int16_t* hidden2_output;     // h2 x 8
  int16_t* biases;             // W
  int16_t* material_biases;    // h1
  int16_t* hidden2_biases;     // h2
  uint32_t generation;         // changes with every load, so per-thread buffers can follow
};

extern Network network;

// 1 when a network is loaded and evaluation may use it.
int network_loaded();

// Loads the network named by settings.nn_file ("embedded", "new" or a path). A source that
// cannot be loaded leaves the network in force as it was (none at start-up) and says why:
// a file that cannot be opened, is shorter than the header or ends inside the weights; a
// feature set other than Half_KA; a shape the evaluation cannot run (width not a positive
// multiple of 256, king buckets outside 1..3, a negative hidden layer, both hidden layers,
// output divisor 0); or no memory. "embedded" in a build that carries no network changes
// nothing and says nothing. A successful load bumps network.generation.
void load_network();

// The number of weights an accepted header implies (after the legacy width fix-up).
size_t weights_for(const NetHeader& header);

}  // namespace eval
