#include "tools/training_features.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "position/bitboard.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/training_file.h"

namespace tools {

using namespace position;

namespace {

constexpr int kOtherBase = 384;
constexpr int kMirrorFiles = 7;
constexpr int kFlipRanks = 56;

}  // namespace

void feature_indexes(const Position& pos, uint16_t (&features)[kFeatureSlots]) {
  int own = pos.side;
  int flip = (file_of(pos.king_square[own]) < 4 ? kMirrorFiles : 0) ^ (own == kBlack ? kFlipRanks : 0);
  int slot = 0;
  for (Bitboard men = pos.occupancy(); men && slot < kFeatureSlots;) {
    int square = pop_lsb(men), code = pos.board[square];
    int base = colour_of(code) == own ? 0 : kOtherBase;
    features[slot++] = static_cast<uint16_t>(base + 64 * (type_of(code) - 1) + (square ^ flip));
  }
  for (; slot < kFeatureSlots; ++slot) features[slot] = kNoFeature;
}

void encode_feature_record(const uint16_t (&features)[kFeatureSlots], float target, uint8_t* out) {
  for (int i = 0; i < kFeatureSlots; ++i) {
    out[2 * i] = static_cast<uint8_t>(features[i] & 0xFF);
    out[2 * i + 1] = static_cast<uint8_t>(features[i] >> 8);
  }
  uint32_t bits;
  std::memcpy(&bits, &target, sizeof bits);
  for (int i = 0; i < 4; ++i) out[2 * kFeatureSlots + i] = static_cast<uint8_t>(bits >> (8 * i));
}

int training_to_feature_file(const ToolFiles& files) {
  const std::string& input = files.input;
  OutputChoice output = choose_output(files, derived_name(input, ".bin", ".ptb"));
  if (output.path.empty())
    return base::report_failure("cannot name the output of %s: its file name holds no .bin (name one with -o)",
                          input.c_str());
  OutputFile out;
  if (!out.open(output, input)) return base::report_failure("%s", out.failure().c_str());
  std::vector<TrainingRecord> records;
  if (load_training_file(input, records) != 0) return base::kToolFailed;

  size_t written = 0;
  {
    Progress progress("positions", records.size());
    Position pos;
    uint16_t features[kFeatureSlots];
    uint8_t bytes[kFeatureRecordSize];
    for (size_t i = 0; i < records.size(); ++i) {
      float target;
      if (decode_training_record(records[i], pos, target)) {
        feature_indexes(pos, features);
        encode_feature_record(features, target, bytes);
        out.write(bytes, sizeof bytes);
        ++written;
      }
      progress.update(i + 1);
    }
  }
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  std::printf("wrote %zu positions to %s, left out %zu\n", written, output.path.c_str(), records.size() - written);
  return base::kToolSucceeded;
}

}  // namespace tools
