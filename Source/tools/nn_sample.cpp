#include "tools/nn_sample.h"

#include "eval/accumulator.h"
#include "eval/inference.h"
#include "position/bitboard.h"
#include "tools/training_file.h"
#include "tools/training_record.h"

namespace tools {

using namespace position;

bool make_net_sample(const Position& pos, float target, NetSample& sample) {
  if (popcount(pos.pieces[kWhite][0] | pos.pieces[kBlack][0]) > kMaxSampleMen ||
      popcount(pos.pieces[kWhite][kKing]) != 1 || popcount(pos.pieces[kBlack][kKing]) != 1)
    return false;
  sample = NetSample{};
  int counts[2][5];
  for (int type = kPawn; type <= kKing; ++type) {
    for (int colour = kWhite; colour <= kBlack; ++colour) {
      Bitboard men = pos.pieces[colour][type];
      if (type < kKing) counts[colour][type - 1] = popcount(men);
      while (men) {
        int square = pop_lsb(men);
        sample.square[sample.count] = static_cast<uint8_t>(square);
        sample.piece[sample.count] = static_cast<uint8_t>(type + 8 * colour);
        ++sample.count;
        if (type == kKing) sample.king[colour] = static_cast<uint8_t>(square);
      }
    }
  }
  sample.side = pos.side;
  sample.bucket = static_cast<uint8_t>(eval::material_bucket(eval::material_units(counts[kWhite]),
                                                             eval::material_units(counts[kBlack])));
  sample.target = target;
  return true;
}

void net_features(const NetSample& sample, int king_buckets, NetFeatures& features) {
  const eval::Perspective white = eval::perspective_of(kWhite, sample.king[kWhite], king_buckets);
  const eval::Perspective black = eval::perspective_of(kBlack, sample.king[kBlack], king_buckets);
  features.count = sample.count;
  for (int i = 0; i < sample.count; ++i) {
    const int colour = sample.piece[i] >> 3, type = sample.piece[i] & 7, square = sample.square[i];
    features.index[kWhite][i] = static_cast<uint16_t>(eval::feature_index(white, kWhite, colour, type, square));
    features.index[kBlack][i] = static_cast<uint16_t>(eval::feature_index(black, kBlack, colour, type, square));
  }
}

bool load_net_samples(const char* file, std::vector<NetSample>& samples) {
  std::vector<TrainingRecord> records;
  if (load_training_file(file, records) != 0) return false;
  samples.clear();
  samples.reserve(records.size());
  Position pos{};
  for (const TrainingRecord& record : records) {
    float target;
    NetSample sample;
    if (decode_training_record(record, pos, target) && make_net_sample(pos, target, sample)) samples.push_back(sample);
  }
  return true;
}

}  // namespace tools
