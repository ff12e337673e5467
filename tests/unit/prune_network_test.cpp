// Network pruning: units that never reach the output are the ones dropped, and the
// narrower network evaluates every position exactly as the wide one did.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "network_support.h"
#include "tools/prune_network.h"
#include "tools/training_record.h"

namespace nesk_test {
namespace {

class PruneNetwork : public NetworkTest {};

// Width 3072 (1536 units a side) with a material layer. Every unit is active on every
// position (large positive biases, small feature weights), but only 1280 of them, chosen
// at random, have output weights; the other 256 add nothing. Pruning to 2560 must keep
// exactly the 1280, so the pruned network's values equal the wide network's everywhere.
TEST_F(PruneNetwork, KeepsTheUnitsThatReachTheOutputAndTheValues) {
  const int half = 1536, kept = tools::kPrunedWidth / 2;
  eval::NetHeader h = net_header(781, 2048, 1, 2 * half, 128, 0, 0, 64, 30);
  std::vector<int16_t> w(eval::weights_for(h), 0);
  Random random(7);
  const size_t features = 768 * static_cast<size_t>(half);
  for (size_t i = 0; i < features + 16 * 128; ++i) w[i] = random.symmetric(20);
  std::set<int> useful;
  while (static_cast<int>(useful.size()) < kept) useful.insert(static_cast<int>(random.below(half)));
  const size_t output = features + 16 * 128, outputs = 8;
  for (int j : useful) {
    w[output + j] = static_cast<int16_t>(random.symmetric(40) | 1);
    w[output + half + j] = static_cast<int16_t>(random.symmetric(40) | 1);
  }
  const size_t material_output = output + 2 * half * outputs;
  for (size_t i = 0; i < 128; ++i) w[material_output + i] = random.symmetric(50);
  const size_t biases = material_output + outputs * 128;
  for (size_t i = 0; i < 2 * static_cast<size_t>(half) + 128; ++i) w[biases + i] = static_cast<int16_t>(1000 + i % 7);
  install_network("wide", h, w);

  std::vector<std::string> fens(std::begin(kWalkFens), std::end(kWalkFens));
  fens.push_back("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R b KQ - 4 8");
  std::vector<int> wide_values;
  std::string training = temp_path("prune.bin");
  written_files().push_back(training);
  {
    std::FILE* file = std::fopen(training.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    TestAccumulator acc;
    for (const std::string& fen : fens) {
      Position& pos = set_up(fen.c_str());
      wide_values.push_back(acc.evaluate(1));
      tools::TrainingRecord record = tools::encode_training_record(pos, 0, 0, 0);
      std::fwrite(record.bytes, 1, sizeof record.bytes, file);
    }
    std::fclose(file);
  }

  std::string pruned = temp_path("pruned.bin");
  written_files().push_back(pruned);
  testing::internal::CaptureStdout();
  int result = tools::prune_network({training, ""}, pruned);
  std::string said = testing::internal::GetCapturedStdout();
  ASSERT_EQ(result, 0) << said;
  EXPECT_NE(said.find("Collecting stats ...\n"), std::string::npos) << said;

  ASSERT_EQ(load_named(pruned), "info string loaded " + pruned + "\n");
  EXPECT_EQ(eval::network.header.width, tools::kPrunedWidth);
  EXPECT_EQ(eval::network.header.hidden1, 128);
  TestAccumulator acc;
  for (size_t i = 0; i < fens.size(); ++i) {
    set_up(fens[i].c_str());
    EXPECT_EQ(acc.evaluate(1), wide_values[i]) << fens[i];
  }
}

}  // namespace
}  // namespace nesk_test
