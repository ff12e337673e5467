// The network forward pass: a network worked out by hand, a plain re-statement of the
// forward pass for every shape (output buckets included), the material correction and
// the clamp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "network_support.h"

namespace nesk_test {
namespace {

class NetworkOutput : public NetworkTest {};

// Width 256 (128 neurons a side), one king bucket, no output buckets, divisor 16, scale 4.
// Position: white Ke1, Pe2; black Ke8. Both kings sit on files e-h, so the white
// perspective uses squares as they are and the black one turns the board upside down.
//   White perspective: own king e1 -> feature 4; own pawn e2 -> 64 + 12 = 76;
//                      other king e8 -> 384 + 60 = 444.
//   Black perspective: own king e8 -> 60 ^ 56 = 4; other pawn e2 -> 384 + 64 + (12 ^ 56) = 500;
//                      other king e1 -> 384 + (4 ^ 56) = 444.
// Weights (neurons 0 and 1, all others zero): biases 100, -200 in both halves; row 4:
// (50, 0); row 76: (300, 1000); row 500: (-500, -1000).
//   White half: 100 + 50 + 300 = 450, -200 + 1000 = 800 (activated: unchanged).
//   Black half: 100 + 50 - 500 = -350 -> -350/64 = -5; -200 - 1000 = -1200 -> -18.
// Output row 0: (3, 2) for the side to move's half, (7, -4) for the other half.
//   White to move: 450*3 + 800*2 = 2950 -> 2950/16 = 184; -5*7 + -18*-4 = 37 -> 2;
//                  y = 186/16 = 11.625; 4y = 46.5 -> 47 (halves away from zero).
//   Black to move: -5*3 + -18*2 = -51 -> -3; 450*7 + 800*-4 = -50 -> -3;
//                  y = -6/16 = -0.375; 4y = -1.5 -> -2.
TEST_F(NetworkOutput, HandComputedNetwork) {
  install_hand_worked_network("hand");

  for (bool vector : {true, false}) {
    PathGuard path(vector);
    TestAccumulator acc;
    set_up("4k3/8/8/8/8/8/4P3/4K3 w - -");
    EXPECT_EQ(acc.evaluate(1), 47);
    EXPECT_EQ(acc.acc.raw_output, 11.625f);
    EXPECT_EQ(acc.acc.white_half[0], 450);
    EXPECT_EQ(acc.acc.white_half[1], 800);
    EXPECT_EQ(acc.acc.black_half[0], -5);
    EXPECT_EQ(acc.acc.black_half[1], -18);
    EXPECT_EQ(acc.acc.snapshot->black_half[1], -1200);
    set_up("4k3/8/8/8/8/8/4P3/4K3 b - -");
    EXPECT_EQ(acc.evaluate(3), -2);
    EXPECT_EQ(acc.acc.raw_output, -0.375f);
  }
}

// The forward pass written out plainly from the rules: a mailbox scan, wide integers, no
// saturation. It is only valid while no sum leaves 16 bits (accumulator) or 32 bits
// (output), which it checks.
int reference_output(const Position& pos, float& raw) {
  const eval::Network& net = eval::network;
  const eval::NetHeader& h = net.header;
  const int half = h.width / 2, d = h.output_divisor;
  static const int three_buckets[8][8] = {{0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 0},
                                          {0, 0, 0, 0, 2, 1, 1, 1}, {0, 0, 0, 0, 2, 2, 1, 1}, {0, 0, 0, 0, 2, 2, 2, 1},
                                          {0, 0, 0, 0, 2, 2, 2, 2}, {0, 0, 0, 0, 2, 2, 2, 2}};
  std::vector<int64_t> halves[2];
  int count[2][7] = {};
  for (int c = 0; c < 2; ++c) {
    int king = pos.king_square[c];
    int mirror = (position::file_of(king) <= 3 ? 7 : 0) + (c == 1 ? 56 : 0);
    int bucket = 0;
    if (h.king_buckets == 2) bucket = c == 0 ? position::rank_of(king) >= 3 : position::rank_of(king) <= 4;
    if (h.king_buckets == 3) bucket = three_buckets[position::rank_of(king ^ mirror)][position::file_of(king ^ mirror)];
    halves[c].assign(net.biases + c * half, net.biases + (c + 1) * half);
    for (int s = 0; s < 64; ++s) {
      int code = pos.board[s];
      if (!code) continue;
      int type = position::type_of(code), colour = position::colour_of(code);
      if (c == 0) ++count[colour][type];
      int plane = type == position::kKing ? 0 : 64 * type;
      int feature = 768 * bucket + (colour != c ? 384 : 0) + plane + (s ^ mirror);
      for (int j = 0; j < half; ++j) halves[c][j] += net.feature_weights[static_cast<size_t>(feature) * half + j];
    }
    for (int64_t& v : halves[c]) {
      EXPECT_TRUE(v >= -32768 && v <= 32767) << "the reference does not model saturation";
      if (v < 0) v /= 64;
    }
  }
  int units[2];
  for (int c = 0; c < 2; ++c) {
    int base = 3 * (count[c][2] + count[c][3]) + 5 * count[c][4];
    units[c] = base + (base > 0 ? 10 : 6) * count[c][5];
  }
  int bucket = h.output_buckets > 0 ? 5 - std::min(5, static_cast<int>(std::round(0.2 * std::max(units[0], units[1])))) : 0;
  int us = pos.side, them = 1 - us;
  auto dot = [&](const std::vector<int64_t>& a, const int16_t* row) {
    int64_t s = 0;
    for (int j = 0; j < half; ++j) s += a[j] * row[j];
    EXPECT_TRUE(s >= INT32_MIN && s <= INT32_MAX) << "the reference does not model wrap-around";
    return s;
  };
  if (h.hidden2 == 0) {
    const int16_t* row = net.output_weights + bucket * h.width;
    int64_t sum = dot(halves[us], row) / d + dot(halves[them], row + half) / d;
    if (h.hidden1 > 0) {
      int64_t material = 0;
      for (int i = 0; i < h.hidden1; ++i) {
        const int16_t* m = net.material_weights + 16 * i;
        int64_t s = net.material_biases[i];
        for (int t = 1; t <= 5; ++t) s += m[t - 1] * count[us][t] + m[t + 4] * count[them][t];
        EXPECT_TRUE(s >= -32768 && s <= 32767);
        if (s < 0) s /= 64;
        material += s * net.material_output[bucket * h.hidden1 + i];
      }
      sum += material / d;
    }
    raw = static_cast<float>(static_cast<double>(sum) / d);
  } else {
    float sum = 0;
    for (int j = 0; j < h.hidden2; ++j) {
      const int16_t* row = net.output_weights + j * h.width;
      int64_t v = (dot(halves[us], row) / d + dot(halves[them], row + half) / d + net.hidden2_biases[j]) / 4;
      v = std::clamp<int64_t>(v, -32000, 32000);
      if (v < 0) v /= 64;
      sum += static_cast<float>(v * net.hidden2_output[bucket * h.hidden2 + j]);
    }
    raw = 4.0f / static_cast<float>(d) * sum;
  }
  int score = static_cast<int>(std::round(static_cast<double>(h.output_scale) * raw));
  if (h.version == 779) score += 32 * ((count[us][1] - count[them][1]) + 2 * (units[us] - units[them]));
  return std::clamp(score, -3000, 3000);
}

TEST_F(NetworkOutput, AgreesWithThePlainForwardPassForEveryShape) {
  const eval::NetHeader shapes[] = {
      net_header(781, 2048, 2, 512),           net_header(779, 2048, 3, 256, 0, 0, 6, 1024, 300),
      net_header(752, 16, 1, 128, 0, 0, 0),    net_header(781, 2048, 2, 256, 128, 0, 6, 256, 300),
      net_header(781, 2048, 3, 256, 0, 16, 6), net_header(781, 2048, 1, 256, 0, 3, 6, 64, 250),
  };
  int index = 0, nonzero = 0;
  bool seen[6] = {};
  for (const eval::NetHeader& h : shapes) {
    install_network("plain" + std::to_string(index), h, random_weights(h, 900 + index));
    TestAccumulator acc;
    Random random(index++);
    WalkCounts counts;
    for (const char* fen : kWalkFens) {
      random_walk(fen, 60, random, counts, [&](Position& pos) {
        float expected_raw = 0;
        int expected = reference_output(pos, expected_raw);
        ASSERT_EQ(acc.evaluate(3), expected) << fen;
        ASSERT_EQ(acc.acc.raw_output, expected_raw) << fen;
        nonzero += expected != 0;
        seen[acc.acc.output_bucket] = true;
      });
    }
  }
  EXPECT_GT(nonzero, 1000);  // the comparison is not between zeros
  for (int b = 0; b < 6; ++b) EXPECT_TRUE(seen[b]) << "output bucket " << b << " never used";
}

// With all weights zero the network says 0, so only the correction remains.
TEST_F(NetworkOutput, MaterialCorrectionOfVersion779AndTheClamp) {
  eval::NetHeader h = net_header(779, 2048, 1, 256);
  install_network("v779_zero", h, std::vector<int16_t>(eval::weights_for(h), 0));
  TestAccumulator acc;
  // White: two pawns and a rook (5 units); black: a pawn and a knight (3 units).
  // 32 x ((2 - 1) + 2 x (5 - 3)) = 160 for white to move.
  set_up("4k3/p7/8/8/8/7n/PP6/R3K3 w - -");
  EXPECT_EQ(acc.evaluate(1), 160);
  set_up("4k3/p7/8/8/8/7n/PP6/R3K3 b - -");
  EXPECT_EQ(acc.evaluate(3), -160);
  // All pieces and four promoted queens against a bare king: 72 units, 32 x 2 x 72 = 4608.
  set_up("1k6/8/8/8/8/8/2QQQQ2/RNBQKBNR w - -");
  EXPECT_EQ(acc.evaluate(1), 3000);
  set_up("1k6/8/8/8/8/8/2QQQQ2/RNBQKBNR b - -");
  EXPECT_EQ(acc.evaluate(1), -3000);

  eval::NetHeader current = net_header(781, 2048, 1, 256);
  install_network("v781_zero", current, std::vector<int16_t>(eval::weights_for(current), 0));
  EXPECT_EQ(acc.evaluate(1), 0);
}

TEST_F(NetworkOutput, DisplayValueUsesTheThreadsOwnAccumulator) {
  eval::NetHeader h = net_header(781, 2048, 2, 256);
  install_network("display", h, random_weights(h, 8));
  search::SearchThread& thread = engine_thread();
  set_up("r3k2r/pppq1ppp/2npbn2/4p3/4P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq -");
  TestAccumulator acc;
  int expected = acc.evaluate(1);
  EXPECT_EQ(eval::evaluate_for_display(thread.position, thread.eval.accumulator), expected);
  EXPECT_EQ(thread.eval.accumulator.position, &thread.position);
  EXPECT_EQ(thread.eval.accumulator.generation, eval::network.generation);
}

}  // namespace
}  // namespace nesk_test
