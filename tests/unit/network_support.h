// Helpers for the network tests: synthetic networks written to files and loaded, an
// accumulator that frees itself, and a switch between the vector and scalar paths.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <string>
#include <vector>

#include "eval/accumulator.h"
#include "eval/inference.h"
#include "eval/network.h"
#include "position/makemove.h"
#include "test_support.h"

namespace nesk_test {

// A header as it is stored in a file (before the legacy width fix-up).
inline eval::NetHeader net_header(int version, int weight_width, int buckets, int width, int hidden1 = 0,
                                  int hidden2 = 0, int output_buckets = 6, int divisor = 2048, int scale = 300,
                                  int feature_set = 1) {
  return {version, divisor, weight_width, scale, buckets, feature_set, width, hidden1, hidden2, output_buckets, 0};
}

// The header as the loader will use it.
inline eval::NetHeader effective(eval::NetHeader h) {
  if (h.version == 752) {
    h.width *= 2;
    h.feature_set = 1;
  }
  return h;
}

// Deterministic pseudo-random numbers (xorshift64*), the same on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1Dull;
  }
  // Uniform in -limit .. limit.
  int16_t symmetric(int limit) { return static_cast<int16_t>(static_cast<int>(next() % (2 * limit + 1)) - limit); }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }

 private:
  uint64_t state_;
};

// Random weights for a header, small enough that no accumulator sum saturates and no
// 32-bit output sum wraps, so that a refresh and an incremental update must agree.
inline std::vector<int16_t> random_weights(const eval::NetHeader& stored, uint64_t seed) {
  eval::NetHeader h = effective(stored);
  std::vector<int16_t> w(eval::weights_for(h));
  Random random(seed);
  bool bytes = h.weight_width < 128;
  size_t features = static_cast<size_t>(h.king_buckets) * 768 * (h.width / 2);
  size_t biases = w.size() - h.width - h.hidden1 - h.hidden2;
  for (size_t i = 0; i < w.size(); ++i) {
    int limit = i < features ? 500 : (i >= biases && i < biases + h.width) ? 1000 : 100;
    w[i] = random.symmetric(bytes && limit > 127 ? 127 : limit);
  }
  return w;
}

// Per process: the test runner may run several test processes at once.
inline std::string temp_path(const std::string& name) {
  return testing::TempDir() + "nesk_" + std::to_string(getpid()) + "_" + name;
}

// Files written by the current test, removed when it ends.
inline std::vector<std::string>& written_files() {
  static std::vector<std::string> files;
  return files;
}

// Writes a network file: the header as given, then the weights in the stored width, then
// `extra` trailing bytes; the file is cut after `keep` bytes when keep is not -1.
inline std::string write_network(const std::string& name, const eval::NetHeader& h, const std::vector<int16_t>& w,
                                 long keep = -1, int extra = 0) {
  std::vector<unsigned char> bytes;
  const int32_t fields[10] = {h.version, h.output_divisor, h.weight_width, h.output_scale, h.king_buckets,
                              h.feature_set, h.width, h.hidden1, h.hidden2, h.output_buckets};
  for (int32_t f : fields) {
    bytes.push_back(static_cast<unsigned char>(f & 0xFF));
    bytes.push_back(static_cast<unsigned char>((f >> 8) & 0xFF));
  }
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>((static_cast<uint32_t>(h.weight_count) >> (8 * i)) & 0xFF));
  for (int16_t v : w) {
    bytes.push_back(static_cast<unsigned char>(v & 0xFF));
    if (h.weight_width >= 128) bytes.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
  }
  bytes.insert(bytes.end(), static_cast<size_t>(extra), 0x5A);
  if (keep >= 0) bytes.resize(static_cast<size_t>(keep));
  std::string path = temp_path(name);
  written_files().push_back(path);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr) << path;
  if (file) {
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  return path;
}

// Loads the network named `source` ("new", "embedded" or a path); returns what it printed.
inline std::string load_named(const std::string& source) {
  engine_thread();
  base::settings.nn_file = source.c_str();
  testing::internal::CaptureStdout();
  eval::load_network();
  return testing::internal::GetCapturedStdout();
}

// Writes and loads a network; fails the test unless it loads.
inline void install_network(const std::string& name, const eval::NetHeader& h, const std::vector<int16_t>& w) {
  std::string path = write_network(name, h, w);
  std::string said = load_named(path);
  ASSERT_EQ(said, "info string loaded " + path + "\n");
}

// Writes and loads the hand-worked network of the forward-pass and report tests: width
// 256, one king bucket, no output buckets, divisor 16, scale 4, and only neurons 0 and 1
// of each half and of the output row weighted (inference_test.cpp works its values out).
inline void install_hand_worked_network(const std::string& name) {
  eval::NetHeader h = net_header(781, 2048, 1, 256, 0, 0, 0, 16, 4);
  std::vector<int16_t> w(eval::weights_for(h), 0);
  const size_t half = 128, output = 768 * half, biases = output + 256 * 8;
  w[4 * half] = 50;
  w[76 * half] = 300, w[76 * half + 1] = 1000;
  w[500 * half] = -500, w[500 * half + 1] = -1000;
  w[biases] = 100, w[biases + 1] = -200, w[biases + half] = 100, w[biases + half + 1] = -200;
  w[output] = 3, w[output + 1] = 2, w[output + half] = 7, w[output + half + 1] = -4;
  install_network(name, h, w);
}

// Tests that load networks leave none behind (as at the start of the test program) and
// put the network setting back, so later tests evaluate as they would have.
class NetworkTest : public testing::Test {
 protected:
  void SetUp() override {
    engine_thread();
    saved_nn_file_ = base::settings.nn_file;
  }
  void TearDown() override {
    std::free(eval::network.weights);
    uint32_t generation = eval::network.generation + 1;
    eval::network = eval::Network{};
    eval::network.generation = generation;
    base::settings.nn_file = saved_nn_file_;
    for (const std::string& path : written_files()) std::remove(path.c_str());
    written_files().clear();
  }

 private:
  std::string saved_nn_file_;
};

// An accumulator of its own, reading the test thread's position.
struct TestAccumulator {
  eval::Accumulator acc{};
  TestAccumulator() {
    acc.position = &engine_thread().position;
  }
  ~TestAccumulator() { eval::free_accumulators(acc); }
  TestAccumulator(const TestAccumulator&) = delete;
  TestAccumulator& operator=(const TestAccumulator&) = delete;

  int evaluate(int ply) {
    acc.ply = static_cast<int16_t>(ply);
    return eval::network_output(acc);
  }
  int lanes() const { return eval::network.header.width; }
  std::vector<int16_t> work() const { return {acc.work, acc.work + lanes()}; }
  std::vector<int16_t> saved() const {
    std::vector<int16_t> s(acc.snapshot->white_half, acc.snapshot->white_half + lanes() / 2);
    s.insert(s.end(), acc.snapshot->black_half, acc.snapshot->black_half + lanes() / 2);
    return s;
  }
};

// What a random walk went through, so a test can show it covered the interesting moves.
struct WalkCounts {
  int captures = 0, castlings = 0, promotions = 0, king_file_crossings = 0, unmakes = 0;
};

// Starting positions whose walks castle, capture, promote and move kings across the d/e
// files and the king buckets.
inline const char* const kWalkFens[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/pppq1ppp/2npbn2/4p3/4P3/2NPBN2/PPPQ1PPP/R3K2R w KQkq -",
    "r1b1k2r/1P4P1/8/8/8/8/1p4p1/R1B1K2R w KQkq -",
    "8/2P1k1P1/8/3K4/8/8/1p4p1/8 w - -",
    "4k3/4p3/8/8/8/8/4P3/4K3 w - -",
};

// Plays `steps` random legal moves from `fen` on the test thread's position, taking a
// move back now and then, and calls `visit` after each step.
template <typename Visit>
void random_walk(const char* fen, int steps, Random& random, WalkCounts& counts, Visit visit) {
  Position& pos = set_up(fen);
  int depth = 0;
  for (int i = 0; i < steps; ++i) {
    std::vector<Move> moves = legal_moves(pos);
    if (depth > 0 && (moves.empty() || random.below(5) == 0)) {
      position::unmake_move(pos);
      --depth;
      ++counts.unmakes;
    } else if (!moves.empty()) {
      Move m = moves[random.below(moves.size())];
      int from = position::move_from(m), to = position::move_to(m);
      int mover = position::type_of(pos.board[from]);
      bool castling = mover == position::kKing && (m & position::kFlagMask) != 0;
      counts.castlings += castling;
      counts.captures += !castling && pos.board[to] != 0;
      counts.promotions += mover == position::kPawn && (position::rank_of(to) == 0 || position::rank_of(to) == 7);
      counts.king_file_crossings += mover == position::kKing && (position::file_of(from) < 4) != (position::file_of(to) < 4);
      position::make_move(pos, m);
      ++depth;
    } else {
      break;
    }
    visit(pos);
  }
}

// Selects the vector or the scalar path for the lifetime of the guard.
class PathGuard {
 public:
  explicit PathGuard(bool vector) : saved_(eval::use_vector_path) {
    eval::use_vector_path = vector && eval::vector_path_available();
  }
  ~PathGuard() { eval::use_vector_path = saved_; }
  PathGuard(const PathGuard&) = delete;
  PathGuard& operator=(const PathGuard&) = delete;

 private:
  bool saved_;
};

}  // namespace nesk_test
