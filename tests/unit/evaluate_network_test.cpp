// The evaluation entry point on the network path: drawish opposite-coloured bishops.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "network_support.h"

namespace {

using nesk_test::NetworkTest;

// A network whose value ignores the pieces: zero feature weights, the first accumulator
// neuron of each half biased to 1000 and weighted by `weight` in the side to move's half.
// Its raw sum is trunc(1000 * weight / 2048) and its score round(300 * sum / 2048).
void install_constant_network(int16_t weight) {
  eval::NetHeader h = nesk_test::net_header(781, 2048, 1, 256, 0, 0, 0);
  std::vector<int16_t> w(eval::weights_for(h), 0);
  const size_t output_row = 768 * 128;
  const size_t biases = output_row + 256 * 8;
  w[output_row] = weight;
  w[biases] = 1000;
  w[biases + 128] = 1000;
  nesk_test::install_network("constant.nnue", h, w);
}

class EvaluateNetwork : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    eval::build_kpk_table();
  }
  int evaluate(const char* fen) {
    search::SearchThread& thread = nesk_test::engine_thread();
    nesk_test::set_up(fen);
    eval::EvalContext network_on;
    return eval::evaluate(thread.position, thread.eval, network_on, thread.position.side, 1, 0);
  }
};

TEST_F(EvaluateNetwork, OppositeColouredBishopsLoseAQuarter) {
  const char* opposite = "4k3/p7/6b1/8/8/8/P7/2B1K3 w - - 0 1";     // c1 dark, g6 light
  const char* same_colour = "4k3/p7/7b/8/8/8/P7/2B1K3 w - - 0 1";  // c1 and h6 both dark
  const char* with_rooks = "r3k3/p7/6b1/8/8/8/P7/R1B1K3 w - - 0 1";

  install_constant_network(1399);  // 1000 * 1399 / 2048 = 683, 300 * 683 / 2048 = 100.05
  EXPECT_EQ(evaluate(same_colour), 100);
  EXPECT_EQ(evaluate(opposite), 75);
  EXPECT_EQ(evaluate(with_rooks), 100);

  install_constant_network(-1413);  // -689 raw, -100.9 rounds to -101; -101 - (-25) = -76
  EXPECT_EQ(evaluate(same_colour), -101);
  EXPECT_EQ(evaluate(opposite), -76);
}

}  // namespace
