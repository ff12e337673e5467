// The network trainer: its gradients against finite differences, a fit of material
// values, and networks it writes evaluating in the engine exactly as its quantised pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "network_support.h"
#include "tools/nn_model.h"
#include "tools/nn_trainer.h"
#include "tools/training_record.h"

namespace nesk_test {
namespace {

using namespace tools;

// Positions of random walks from the walk starts, with random targets.
std::vector<NetSample> walk_samples(int steps_per_start, uint64_t seed) {
  Random random(seed);
  WalkCounts counts;
  std::vector<NetSample> samples;
  for (const char* fen : kWalkFens) {
    random_walk(fen, steps_per_start, random, counts, [&](const Position& pos) {
      NetSample sample;
      if (make_net_sample(pos, static_cast<float>(random.below(1001)) / 1000.0f, sample)) samples.push_back(sample);
    });
  }
  return samples;
}

// Biases spread over both signs, so that the activation's two slopes are both exercised.
void randomise_biases(NetModel& model, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<float> bias(-1.0f, 1.0f);
  for (size_t i = model.bias_offset; i < model.params.size(); ++i) model.params[i] = bias(random);
}

double batch_loss(const NetModel& model, const std::vector<NetSample>& samples) {
  NetPass pass;
  double sum = 0;
  for (const NetSample& s : samples) sum += sample_loss(forward(model, s, pass), s.target);
  return sum / static_cast<double>(samples.size());
}

TEST(NetTrainer, GradientsMatchFiniteDifferences) {
  engine_thread();
  // 64 neurons a side: wide enough for the vector paths.
  NetModel model(NetShape{128, 2, 6});
  model.randomise(3);
  randomise_biases(model, 4);
  std::vector<NetSample> samples = walk_samples(2, 5);
  ASSERT_GE(samples.size(), 8u);

  std::vector<float> gradient(model.params.size(), 0.0f);
  NetPass pass;
  for (const NetSample& s : samples) {
    float y = forward(model, s, pass);
    backward(model, s, pass, loss_slope(y, s.target) / static_cast<float>(samples.size()), gradient.data());
  }
  // One in five parameters with a gradient, one in 200 without (which must stay flat).
  int checked = 0;
  const float epsilon = 2e-3f;
  for (size_t i = 0; i < model.params.size(); ++i) {
    if (i % (gradient[i] != 0 ? 5 : 200) != 0) continue;
    const float saved = model.params[i];
    model.params[i] = saved + epsilon;
    const double up = batch_loss(model, samples);
    model.params[i] = saved - epsilon;
    const double down = batch_loss(model, samples);
    model.params[i] = saved;
    const double numeric = (up - down) / (2 * epsilon);
    EXPECT_NEAR(gradient[i], numeric, 2e-5 + 0.02 * std::fabs(numeric)) << "parameter " << i;
    ++checked;
  }
  EXPECT_GT(checked, 1500);
}

// Boards with the same men on both sides, placed at random, and often one extra man for
// one side; labelled by material alone.
constexpr int kPieceValues[7] = {0, 100, 300, 300, 500, 900, 0};  // kings count nothing

struct MaterialBoard {
  Position pos;
  int balance;  // white's material minus black's
};

void put(MaterialBoard& b, int colour, int type, std::mt19937_64& random) {
  const position::Bitboard taken = b.pos.pieces[0][0] | b.pos.pieces[1][0];
  int square;
  do {
    square = static_cast<int>(type == position::kPawn ? 8 + random() % 48 : random() % 64);
  } while (taken & position::bit(square));
  b.pos.pieces[colour][0] |= position::bit(square);
  b.pos.pieces[colour][type] |= position::bit(square);
  b.balance += (colour == position::kWhite ? 1 : -1) * kPieceValues[type];
}

int random_type(std::mt19937_64& random) { return static_cast<int>(1 + random() % 5); }

MaterialBoard balanced_board(std::mt19937_64& random) {
  MaterialBoard b{};
  b.pos.side = static_cast<uint8_t>(random() % 2);
  for (int colour = 0; colour < 2; ++colour) put(b, colour, position::kKing, random);
  for (int men = static_cast<int>(random() % 10); men > 0; --men) {
    const int type = random_type(random);
    put(b, 0, type, random);
    put(b, 1, type, random);
  }
  return b;
}

NetSample material_sample(const MaterialBoard& b) {
  NetSample sample;
  const int own = b.pos.side == position::kWhite ? b.balance : -b.balance;
  EXPECT_TRUE(make_net_sample(b.pos, static_cast<float>(score_to_prob(own)), sample));
  return sample;
}

TEST(NetTrainer, LearnsPieceValues) {
  engine_thread();
  std::mt19937_64 random(11);
  std::vector<NetSample> samples;
  for (int i = 0; i < 30000; ++i) {
    MaterialBoard b = balanced_board(random);
    if (random() % 4) put(b, static_cast<int>(random() % 2), random_type(random), random);
    samples.push_back(material_sample(b));
  }
  NetModel model(NetShape{16, 1, 1});
  model.randomise(12);
  NetTrainingOptions options;
  options.learning_rate = 0.01;
  options.batch = 64;
  options.epochs = 8;
  options.threads = 2;
  train_network(model, samples, options);

  // A man's value: what adding one for the side to move to a balanced board gives.
  NetPass pass;
  for (int type = position::kPawn; type <= position::kQueen; ++type) {
    double sum = 0;
    const int trials = 300;
    for (int t = 0; t < trials; ++t) {
      MaterialBoard b = balanced_board(random);
      put(b, b.pos.side, type, random);
      sum += static_cast<double>(forward(model, material_sample(b), pass)) * kCentipawnsPerUnit;
    }
    // The queen's label is the most decided (a probability of 0.989), so it is fitted
    // the most slowly.
    EXPECT_NEAR(sum / trials, kPieceValues[type], type == position::kQueen ? 8 : 2) << "piece type " << type;
  }
}

class NetTrainerFile : public NetworkTest {};

// Networks of every king-bucket scheme, with and without output buckets, trained a
// little, written and loaded by the engine: its evaluation (full refreshes at ply 1, incremental updates
// beyond) equals the trainer's quantised pass, which in turn stays close to the float
// network.
TEST_F(NetTrainerFile, EngineEvaluatesAsTheQuantisedPass) {
  const NetShape shapes[] = {{256, 1, 1}, {256, 2, 6}, {512, 3, 6}};
  const std::vector<NetSample> training = walk_samples(100, 51);
  for (const NetShape& shape : shapes) {
    ASSERT_EQ(unloadable_shape(shape), nullptr);
    NetModel model(shape);
    model.randomise(21 + shape.king_buckets);
    randomise_biases(model, 31);
    NetTrainingOptions options;
    options.learning_rate = 0.02;
    options.batch = 50;
    options.epochs = 2;
    train_network(model, training, options);
    const std::string path = temp_path("trained.net");
    written_files().push_back(path);
    ASSERT_TRUE(save_network(model, path.c_str()));
    ASSERT_EQ(load_named(path), "info string loaded " + path + "\n");
    const QuantisedNet net = quantise(model);
    ASSERT_EQ(eval::network.total, net.weights.size());

    TestAccumulator acc;
    Random random(41);
    WalkCounts counts;
    NetPass pass;
    int compared = 0, ply = 0;
    double worst = 0;
    for (const char* fen : kWalkFens) {
      random_walk(fen, 120, random, counts, [&](const Position& pos) {
        NetSample sample;
        ASSERT_TRUE(make_net_sample(pos, 0.5f, sample));
        const int expected = quantised_score(net, sample);
        ASSERT_EQ(acc.evaluate(1 + 2 * (ply++ % 2)), expected) << "shape " << shape.width << "/" << shape.king_buckets;
        worst = std::max(worst, std::fabs(static_cast<double>(forward(model, sample, pass)) * kCentipawnsPerUnit - expected));
        ++compared;
      });
    }
    EXPECT_GT(compared, 500);
    EXPECT_LT(worst, 2.0) << "float and quantised networks differ by up to " << worst << " centipawns";
  }
}

}  // namespace
}  // namespace nesk_test
