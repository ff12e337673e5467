// One training position as the network trainer keeps it: its men in the order in which
// the engine's accumulator adds them, the side to move, the output bucket and the target.
// The input features of both perspectives are worked out from it when it is used.
#pragma once

#include <cstdint>
#include <vector>

#include "position/position.h"

namespace tools {

constexpr int kMaxSampleMen = 32;

struct NetSample {
  uint8_t square[kMaxSampleMen];
  uint8_t piece[kMaxSampleMen];  // piece code: type + 8 x colour
  uint8_t count;
  uint8_t side;                  // side to move
  uint8_t king[2];               // white and black king squares
  uint8_t bucket;                // output row by material, 0 .. 5
  float target;                  // win probability for the side to move
};

// The sample of `pos`; false when it has more than 32 men or not one king a side. The men
// follow the order of a full accumulator refresh: pawns .. kings, for each type the white
// men then the black ones, lowest square first.
bool make_net_sample(const position::Position& pos, float target, NetSample& sample);

// The active input features of a sample, for the white perspective and the black one
// (each man gives one to each), in the order of the sample's men.
struct NetFeatures {
  uint16_t index[2][kMaxSampleMen];
  int count;
};
void net_features(const NetSample& sample, int king_buckets, NetFeatures& features);

// The usable records of a training file (as decode_training_record judges them), in file
// order. Returns false when the file cannot be read.
bool load_net_samples(const char* file, std::vector<NetSample>& samples);

}  // namespace tools
