// The per-thread accumulator: incremental updates against full rebuilds, the vector path
// against the scalar path, the choice between the two updates, and saturation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "network_support.h"

namespace nesk_test {
namespace {

struct Layout {
  const char* name;
  eval::NetHeader header;
};

// Every shape the loader accepts, at a small width.
const Layout kLayouts[] = {
    {"v781_16bit_b2_buckets", net_header(781, 2048, 2, 512)},
    {"v781_8bit_b1_no_buckets", net_header(781, 64, 1, 512, 0, 0, 0)},
    {"v779_16bit_b3_buckets", net_header(779, 2048, 3, 512)},
    {"v752_8bit_b2_legacy", net_header(752, 100, 2, 256, 0, 0, 6, 2048, 300, 0)},
    {"v781_16bit_b2_hidden1", net_header(781, 2048, 2, 512, 128)},
    {"v781_8bit_b3_hidden1_odd", net_header(781, 8, 3, 256, 5, 0, 0)},
    {"v781_16bit_b3_hidden2", net_header(781, 2048, 3, 512, 0, 16)},
    {"v781_8bit_b1_hidden2_small", net_header(781, 8, 1, 256, 0, 4, 0, 512, 200)},
};

class AccumulatorLayouts : public NetworkTest, public testing::WithParamInterface<Layout> {};

// Along random games, three accumulators follow the same positions: two update
// incrementally (one per path), one is rebuilt at ply 1 every time. Outputs, work
// halves and saved sums must agree exactly; the loader must also hand back the weights
// as written.
TEST_P(AccumulatorLayouts, IncrementalMatchesRebuildOnBothPaths) {
  const Layout& layout = GetParam();
  std::vector<int16_t> weights = random_weights(layout.header, 0x5EED);
  install_network(layout.name, layout.header, weights);
  ASSERT_EQ(eval::network.total, weights.size());
  ASSERT_TRUE(std::equal(weights.begin(), weights.end(), eval::network.weights));

  TestAccumulator vector_acc, scalar_acc, rebuilt;
  Random random(0xC0FFEE);
  WalkCounts counts;
  int compared = 0;
  for (const char* fen : kWalkFens) {
    // Evaluations are skipped now and then, so the snapshot may lag several plies behind.
    random_walk(fen, 160, random, counts, [&](Position&) {
      if (random.below(3) == 0) return;
      int expected, vector_score, scalar_score;
      {
        PathGuard path(compared % 2 == 0);
        expected = rebuilt.evaluate(1);
      }
      {
        PathGuard path(true);
        vector_score = vector_acc.evaluate(3 + compared % 5);
      }
      {
        PathGuard path(false);
        scalar_score = scalar_acc.evaluate(3);
      }
      ASSERT_EQ(vector_score, expected) << fen << " step " << compared;
      ASSERT_EQ(scalar_score, expected) << fen << " step " << compared;
      ASSERT_EQ(vector_acc.work(), rebuilt.work()) << fen << " step " << compared;
      ASSERT_EQ(scalar_acc.work(), rebuilt.work()) << fen << " step " << compared;
      ASSERT_EQ(vector_acc.saved(), rebuilt.saved()) << fen << " step " << compared;
      ASSERT_EQ(scalar_acc.saved(), rebuilt.saved()) << fen << " step " << compared;
      ASSERT_EQ(vector_acc.acc.raw_output, rebuilt.acc.raw_output);
      ++compared;
    });
  }
  EXPECT_GT(compared, 300);
  EXPECT_GT(counts.captures, 0);
  EXPECT_GT(counts.castlings, 0);
  EXPECT_GT(counts.promotions, 0);
  EXPECT_GT(counts.king_file_crossings, 0);
  EXPECT_GT(counts.unmakes, 0);
}

INSTANTIATE_TEST_SUITE_P(Shapes, AccumulatorLayouts, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<Layout>& shape) { return std::string(shape.param.name); });

// Evaluates the current position at `ply` after spoiling the saved sums, then tells
// whether the result ignored them, that is, whether the update rebuilt from the biases.
bool rebuilds(TestAccumulator& acc, int ply) {
  for (int j = 0; j < acc.lanes() / 2; ++j) {
    acc.acc.snapshot->white_half[j] = static_cast<int16_t>(acc.acc.snapshot->white_half[j] + 7);
    acc.acc.snapshot->black_half[j] = static_cast<int16_t>(acc.acc.snapshot->black_half[j] - 5);
  }
  acc.evaluate(ply);
  TestAccumulator fresh;
  fresh.evaluate(1);
  return acc.work() == fresh.work();
}

class AccumulatorChoice : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    eval::NetHeader h = net_header(781, 2048, 2, 256);
    install_network("choice", h, random_weights(h, 77));
  }
  TestAccumulator acc;
};

TEST_F(AccumulatorChoice, SamePositionTwiceAtPlyThreeAppliesNothing) {
  set_up("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  acc.evaluate(3);
  std::vector<int16_t> first = acc.work(), first_saved = acc.saved();
  acc.evaluate(3);
  EXPECT_EQ(acc.work(), first);
  EXPECT_EQ(acc.saved(), first_saved);
  EXPECT_FALSE(rebuilds(acc, 3));
}

TEST_F(AccumulatorChoice, PliesOneAndTwoAlwaysRebuild) {
  set_up("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  acc.evaluate(3);
  EXPECT_TRUE(rebuilds(acc, 1));
  EXPECT_TRUE(rebuilds(acc, 2));
  EXPECT_FALSE(rebuilds(acc, 3));
}

TEST_F(AccumulatorChoice, KingMovesRebuildOnlyWhenTheTransformChanges) {
  Position& pos = set_up("4k3/8/8/8/8/4K3/8/8 w - -");
  acc.evaluate(3);
  position::make_move(pos, mv("e3f3"));  // same side of the board, same bucket
  EXPECT_FALSE(rebuilds(acc, 3));
  position::make_move(pos, mv("e8d8"));  // black king crosses to the d file
  EXPECT_TRUE(rebuilds(acc, 3));
  position::make_move(pos, mv("f3f4"));  // white king reaches rank 4: the other bucket
  EXPECT_TRUE(rebuilds(acc, 3));
  position::make_move(pos, mv("d8d7"));
  EXPECT_FALSE(rebuilds(acc, 3));
  position::make_move(pos, mv("f4e4"));
  EXPECT_FALSE(rebuilds(acc, 3));
  position::make_move(pos, mv("d7d6"));
  position::make_move(pos, mv("e4d4"));  // white king to the d file
  EXPECT_TRUE(rebuilds(acc, 3));
}

TEST_F(AccumulatorChoice, SevenChangedSquaresOfOneColourRebuild) {
  set_up("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - -");
  acc.evaluate(3);
  set_up("4k3/pppppppp/8/8/8/PPPPPP2/6PP/4K3 w - -");  // six white pawns moved: 12 squares
  EXPECT_TRUE(rebuilds(acc, 3));
  set_up("4k3/pppppppp/8/8/8/PPP5/3PPPPP/4K3 w - -");  // back three pawns: 6 squares
  EXPECT_FALSE(rebuilds(acc, 3));
  set_up("4k3/pppppppp/8/8/8/8/PPPPPPP1/4K3 w - -");  // 7 squares
  EXPECT_TRUE(rebuilds(acc, 3));
  set_up("4k3/pppppppp/8/8/8/P7/1PPPPPPP/4K3 w - -");  // 3 squares
  EXPECT_FALSE(rebuilds(acc, 3));
  set_up("4k3/pppppppp/8/8/8/8/PPPPPPPP/3K4 w - -");  // 4 squares and the king crossing
  EXPECT_TRUE(rebuilds(acc, 3));
  set_up("4k3/pppppppp/8/8/8/8/PPPPPPPP/3K4 w - -");
  acc.evaluate(3);
  set_up("4k3/8/8/8/8/8/PPPPPPPP/3K4 w - -");  // eight black squares
  EXPECT_TRUE(rebuilds(acc, 3));
  set_up("4k3/8/8/8/8/2p5/PPPPPPPP/3K4 w - -");  // one black square
  EXPECT_FALSE(rebuilds(acc, 3));
  set_up("4k3/4r3/5q2/8/2bn4/2p5/PPPPPPPP/1n1K1n1r w - -");  // seven black squares
  EXPECT_TRUE(rebuilds(acc, 3));
}

// A network whose buffers were sized for another network are sized again on the next
// evaluation, which then rebuilds.
TEST_F(AccumulatorChoice, NewNetworkReallocatesTheBuffers) {
  set_up("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  acc.evaluate(3);
  eval::NetHeader wider = net_header(781, 2048, 3, 768, 0, 0, 0);
  install_network("wider", wider, random_weights(wider, 78));
  acc.evaluate(3);
  EXPECT_EQ(acc.acc.generation, eval::network.generation);
  TestAccumulator fresh;
  fresh.evaluate(1);
  EXPECT_EQ(acc.work(), fresh.work());
  EXPECT_EQ(acc.work().size(), 768u);
}

// Sums clamp to the 16-bit range at every step; later steps start from the clamped value,
// so a sum that saturated does not come back to where a rebuild would put it. The
// accumulator's first white-perspective neuron gets +20000 per white pawn and the second
// -20000; the output row is all 32767 for the side to move, so the 32-bit output sum
// wraps around as well.
class AccumulatorSaturation : public NetworkTest {};

TEST_F(AccumulatorSaturation, ClampsAtEveryStepAndWrapsTheOutputSum) {
  eval::NetHeader h = net_header(781, 2048, 1, 256, 0, 0, 0, 1, 1);
  std::vector<int16_t> w(eval::weights_for(h), 0);
  const int half = 128;
  // White perspective, white king on e1 (no mirror): white pawn on square s is feature 64 + s.
  for (int s = 8; s < 56; ++s) {
    w[static_cast<size_t>(64 + s) * half + 0] = 20000;
    w[static_cast<size_t>(64 + s) * half + 1] = -20000;
  }
  int16_t* output = w.data() + 768 * half;
  for (int j = 0; j < half; ++j) output[j] = 32767;
  install_network("saturation", h, w);

  for (bool vector : {true, false}) {
    PathGuard path(vector);
    TestAccumulator acc;
    set_up("4k3/8/8/8/8/8/3PP3/4K3 w - -");
    acc.evaluate(1);
    EXPECT_EQ(acc.acc.snapshot->white_half[0], 32767);
    EXPECT_EQ(acc.acc.snapshot->white_half[1], -32768);
    EXPECT_EQ(acc.acc.white_half[0], 32767);
    EXPECT_EQ(acc.acc.white_half[1], -512);
    // Output sum: 32767 * 32767 + (-512) * 32767 = 1056899585, no wrap yet.
    EXPECT_EQ(acc.acc.raw_output, 1056899585.0f);

    set_up("4k3/8/8/8/8/8/3P4/4K3 w - -");  // one pawn fewer: incremental at ply 3
    acc.evaluate(3);
    EXPECT_EQ(acc.acc.snapshot->white_half[0], 12767);   // 32767 - 20000, not 20000
    EXPECT_EQ(acc.acc.snapshot->white_half[1], -12768);  // -32768 + 20000
    EXPECT_EQ(acc.acc.white_half[1], -199);              // -12768 / 64 = -199.5, toward zero

    // Every white-perspective neuron at 32767: 128 * 32767^2 = 2^37 - 2^23 + 128, which
    // wraps in 32 bits to -2^23 + 128.
    for (int j = 0; j < half; ++j) acc.acc.snapshot->white_half[j] = 32767;
    acc.evaluate(3);
    EXPECT_EQ(acc.acc.raw_output, -8388480.0f) << (vector ? "vector" : "scalar");

    // A pawn move takes the old square's row away before adding the new one's, so from
    // 32767: neuron 0 goes 12767 then back to 32767, neuron 1 stays at 32767 then drops
    // to 12767. The other order would give 12767 and 32767.
    set_up("4k3/8/8/8/8/3P4/8/4K3 w - -");
    acc.evaluate(3);
    EXPECT_EQ(acc.acc.snapshot->white_half[0], 32767);
    EXPECT_EQ(acc.acc.snapshot->white_half[1], 12767);
  }
}

}  // namespace
}  // namespace nesk_test
