// Loading networks: files of both weight widths, the legacy width, "new" and "embedded",
// and every refusal, which must leave the network in force untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "eval/embedded.h"
#include "network_support.h"

namespace nesk_test {
namespace {

class NetworkLoader : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    eval::NetHeader h = net_header(781, 2048, 1, 256);
    previous_ = random_weights(h, 1);
    install_network("previous", h, previous_);
    generation_ = eval::network.generation;
    weights_ = eval::network.weights;
    header_ = eval::network.header;
  }

  // The network loaded by SetUp is still the one in force, weights and all.
  testing::AssertionResult unchanged() const {
    if (eval::network.generation != generation_) return testing::AssertionFailure() << "generation changed";
    if (eval::network.weights != weights_) return testing::AssertionFailure() << "weight array replaced";
    if (std::memcmp(&eval::network.header, &header_, sizeof header_) != 0)
      return testing::AssertionFailure() << "header changed";
    if (eval::network.total != previous_.size() || !std::equal(previous_.begin(), previous_.end(), weights_))
      return testing::AssertionFailure() << "weights changed";
    return testing::AssertionSuccess();
  }

  std::vector<int16_t> previous_;
  uint32_t generation_ = 0;
  const int16_t* weights_ = nullptr;
  eval::NetHeader header_{};
};

TEST_F(NetworkLoader, FailuresSayWhyAndKeepThePreviousNetwork) {
  std::string missing = temp_path("does_not_exist.net");
  EXPECT_EQ(load_named(missing), "info string can't open " + missing + "\n");
  EXPECT_TRUE(unchanged());

  eval::NetHeader good = net_header(781, 2048, 2, 256);
  std::vector<int16_t> weights = random_weights(good, 2);
  std::string path = write_network("short.net", good, weights, 23);
  EXPECT_EQ(load_named(path), "info string " + path + " is too short for a network header\n");
  EXPECT_TRUE(unchanged());

  path = write_network("empty.net", good, weights, 0);
  EXPECT_EQ(load_named(path), "info string " + path + " is too short for a network header\n");
  EXPECT_TRUE(unchanged());

  eval::NetHeader other_features = net_header(781, 2048, 2, 256, 0, 0, 6, 2048, 300, 2);
  path = write_network("features.net", other_features, weights);
  EXPECT_EQ(load_named(path), "net does not use Half_KA!\n");
  EXPECT_TRUE(unchanged());

  long full16 = 24 + 2 * static_cast<long>(weights.size());
  path = write_network("cut16.net", good, weights, full16 - 1);
  EXPECT_EQ(load_named(path), "info string " + path + " ends inside the weights, not loaded\n");
  EXPECT_TRUE(unchanged());
  path = write_network("header_only.net", good, weights, 24);
  EXPECT_EQ(load_named(path), "info string " + path + " ends inside the weights, not loaded\n");
  EXPECT_TRUE(unchanged());

  eval::NetHeader bytes = net_header(781, 100, 2, 256);
  path = write_network("cut8.net", bytes, random_weights(bytes, 3), 24 + static_cast<long>(weights.size()) - 1);
  EXPECT_EQ(load_named(path), "info string " + path + " ends inside the weights, not loaded\n");
  EXPECT_TRUE(unchanged());

  struct Refused {
    eval::NetHeader header;
    const char* reason;
  } refused[] = {
      {net_header(781, 2048, 2, 384), "width 384 is not a positive multiple of 256"},
      {net_header(781, 2048, 2, -512), "width -512 is not a positive multiple of 256"},
      {net_header(781, 2048, 2, 0), "width 0 is not a positive multiple of 256"},
      {net_header(752, 2048, 2, 64), "width 128 is not a positive multiple of 256"},
      {net_header(781, 2048, 0, 256), "0 king buckets, expected 1 to 3"},
      {net_header(781, 2048, 4, 256), "4 king buckets, expected 1 to 3"},
      {net_header(781, 2048, 2, 256, -1), "negative hidden layer size"},
      {net_header(781, 2048, 2, 256, 0, -8), "negative hidden layer size"},
      {net_header(781, 2048, 2, 256, 128, 32), "both hidden layers are used"},
      {net_header(781, 2048, 2, 256, 0, 0, 6, 0), "output divisor 0"},
  };
  for (const Refused& r : refused) {
    path = write_network("refused.net", r.header, {});
    EXPECT_EQ(load_named(path), "info string " + path + ": " + r.reason + ", not loaded\n");
    EXPECT_TRUE(unchanged()) << r.reason;
  }
}

TEST_F(NetworkLoader, EightBitWeightsAreSignExtended) {
  eval::NetHeader h = net_header(781, 127, 2, 256);
  std::vector<int16_t> w = random_weights(h, 4);
  w[0] = -1, w[1] = -128, w[2] = 127, w[w.size() - 1] = -1;
  std::string path = write_network("bytes.net", h, w);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fseek(file, 24, SEEK_SET);
  EXPECT_EQ(std::fgetc(file), 0xFF);  // one byte per weight
  std::fclose(file);

  EXPECT_EQ(load_named(path), "info string loaded " + path + "\n");
  EXPECT_EQ(eval::network.generation, generation_ + 1);
  ASSERT_EQ(eval::network.total, w.size());
  EXPECT_EQ(eval::network.weights[0], -1);
  EXPECT_EQ(eval::network.weights[1], -128);
  EXPECT_EQ(eval::network.weights[2], 127);
  EXPECT_TRUE(std::equal(w.begin(), w.end(), eval::network.weights));
}

// The stored count is informative: exactly the computed number of weights is read, and
// bytes after them are ignored.
TEST_F(NetworkLoader, StoredWeightCountIsIgnored) {
  for (int32_t stored : {0, 12345, -1}) {
    eval::NetHeader h = net_header(781, 2048, 3, 256, 0, 8, 6);
    h.weight_count = stored;
    std::vector<int16_t> w = random_weights(h, 5);
    std::string path = write_network("count.net", h, w, -1, 100);
    EXPECT_EQ(load_named(path), "info string loaded " + path + "\n");
    EXPECT_EQ(eval::network.header.weight_count, static_cast<int32_t>(w.size()));
    EXPECT_EQ(eval::network.total, w.size());
    EXPECT_TRUE(std::equal(w.begin(), w.end(), eval::network.weights));
    // Blocks follow each other: the last block (second-layer biases) ends the array.
    EXPECT_EQ(eval::network.hidden2_biases + 8, eval::network.weights + w.size());
    EXPECT_EQ(eval::network.output_weights - eval::network.weights, 3 * 768 * 128);
    EXPECT_EQ(eval::network.biases - eval::network.output_weights, 256 * 8 + 8 * 8);
  }
}

TEST_F(NetworkLoader, LegacyWidthIsDoubledAndFeatureSetIgnored) {
  eval::NetHeader h = net_header(752, 64, 2, 1536, 0, 0, 6, 2048, 300, 9);
  std::vector<int16_t> w = random_weights(h, 6);
  ASSERT_EQ(w.size(), 2u * 768 * 1536 + 3072 * 8 + 3072);
  std::string path = write_network("legacy.net", h, w);
  EXPECT_EQ(load_named(path), "info string loaded " + path + "\n");
  EXPECT_EQ(eval::network.header.width, 3072);
  EXPECT_EQ(eval::network.header.feature_set, 1);
  EXPECT_EQ(eval::network.header.version, 752);
  EXPECT_EQ(eval::network.total, w.size());
  EXPECT_TRUE(std::equal(w.begin(), w.end(), eval::network.weights));
}

TEST_F(NetworkLoader, NewIsTheDefaultShapeWithZeroWeights) {
  EXPECT_EQ(load_named("new"), "creating new net...\n");
  const eval::NetHeader& h = eval::network.header;
  EXPECT_EQ(eval::network.generation, generation_ + 1);
  EXPECT_EQ(h.version, 781);
  EXPECT_EQ(h.output_divisor, 2048);
  EXPECT_EQ(h.weight_width, 2048);
  EXPECT_EQ(h.output_scale, 300);
  EXPECT_EQ(h.king_buckets, 2);
  EXPECT_EQ(h.feature_set, 1);
  EXPECT_EQ(h.width, 3072);
  EXPECT_EQ(h.hidden1, 0);
  EXPECT_EQ(h.hidden2, 0);
  EXPECT_EQ(h.output_buckets, 6);
  EXPECT_EQ(h.weight_count, 2386944);
  ASSERT_EQ(eval::network.total, 2386944u);
  size_t nonzero = 0;
  for (size_t i = 0; i < eval::network.total; ++i) nonzero += eval::network.weights[i] != 0;
  EXPECT_EQ(nonzero, 0u);
  set_up("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
  TestAccumulator acc;
  EXPECT_EQ(acc.evaluate(1), 0);
}

// This build may or may not carry a network; either way the outcome is fixed.
TEST_F(NetworkLoader, EmbeddedLoadsTheBuiltInImageOrKeepsWhatIsThere) {
  size_t size = 0;
  const unsigned char* image = eval::embedded_network(size);
  std::string said = load_named("embedded");
  if (!image) {
    EXPECT_EQ(said, "");
    EXPECT_TRUE(unchanged());
  } else {
    EXPECT_EQ(said, "info string loaded embedded network\n");
    EXPECT_EQ(eval::network.generation, generation_ + 1);
    EXPECT_EQ(eval::network.header.version, image[0] | (image[1] << 8));
    EXPECT_EQ(std::memcmp(eval::network.weights, image + 24, 16), 0);
  }
}

}  // namespace
}  // namespace nesk_test
