// Network evaluation speed: nanoseconds per network_output call for a network of the
// built-in shape (two king buckets, width 3072, 16-bit weights, six output buckets; random
// weights from a fixed seed), along positions of games played with random legal moves.
//   Incremental: consecutive positions one ply apart, evaluated at ply 3.
//   Refresh: the same positions at ply 1, so every call rebuilds from the biases.
// Argument "vector": 1 for the AVX2 path (where the build has it), 0 for the scalar path.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "eval/accumulator.h"
#include "eval/inference.h"
#include "eval/network.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "base/settings.h"

namespace {

uint64_t next_random(uint64_t& state) {
  state ^= state >> 12;
  state ^= state << 25;
  state ^= state >> 27;
  return state * 0x2545F4914F6CDD1Dull;
}

// Writes the synthetic network to a temporary file and loads it.
bool load_synthetic_network() {
  const int16_t header[10] = {781, 2048, 2048, 300, 2, 1, 3072, 0, 0, 6};
  eval::NetHeader h = {781, 2048, 2048, 300, 2, 1, 3072, 0, 0, 6, 0};
  size_t total = eval::weights_for(h);
  size_t features = 2 * 768 * 1536, biases = total - 3072;
  std::vector<int16_t> weights(total);
  uint64_t state = 0x1234567;
  for (size_t i = 0; i < total; ++i) {
    int limit = i < features ? 400 : i >= biases ? 1000 : 120;
    weights[i] = static_cast<int16_t>(static_cast<int>(next_random(state) % (2 * limit + 1)) - limit);
  }
  std::string path = (std::filesystem::temp_directory_path() / "nesk_bench.net").string();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const int32_t count = static_cast<int32_t>(total);
  std::fwrite(header, sizeof header, 1, file);
  std::fwrite(&count, sizeof count, 1, file);
  std::fwrite(weights.data(), sizeof(int16_t), total, file);
  std::fclose(file);
  base::settings.nn_file = path.c_str();
  base::set_quiet();
  eval::load_network();
  std::remove(path.c_str());
  return eval::network_loaded() && eval::network.header.width == 3072;
}

struct Fixture {
  search::SearchThread* thread = nullptr;
  // Positions of each game in the order they were played.
  std::vector<std::vector<position::Position>> games;
  bool ready = false;
};

Fixture& fixture() {
  static Fixture f = [] {
    Fixture made;
    position::init_tables();
    position::init_zobrist();
    base::set_default_settings(base::settings);
    made.thread = search::allocate_thread(0);
    if (!made.thread || !load_synthetic_network()) return made;
    static position::MoveEntry list[search::kMaxMoves];
    uint64_t state = 0xBE4C4;
    for (int game = 0; game < 8; ++game) {
      position::Position& pos = made.thread->position;
      position::set_position(pos, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
      std::vector<position::Position> played{pos};
      for (int ply = 0; ply < 160; ++ply) {
        position::generate_all_moves(pos, list);
        std::vector<position::Move> legal;
        for (position::MoveEntry* e = list; e->move != position::kListEnd; ++e)
          if (position::move_is_legal(pos, pos.side, e->move)) legal.push_back(e->move);
        if (legal.empty()) break;
        position::make_move(pos, legal[next_random(state) % legal.size()]);
        played.push_back(pos);
      }
      made.games.push_back(played);
    }
    made.ready = true;
    return made;
  }();
  return f;
}

void run(benchmark::State& state, int ply) {
  Fixture& f = fixture();
  if (!f.ready) {
    state.SkipWithError("could not set up the network");
    return;
  }
  bool saved = eval::use_vector_path;
  eval::use_vector_path = state.range(0) != 0 && eval::vector_path_available();
  if (state.range(0) != 0 && !eval::use_vector_path) {
    state.SkipWithError("this build has no vector path");
    eval::use_vector_path = saved;
    return;
  }
  eval::Accumulator& acc = f.thread->eval.accumulator;
  acc.ply = static_cast<int16_t>(ply);
  // Each game forward and back again, so neighbouring calls are one ply apart (but for
  // the step from one game to the next).
  std::vector<const position::Position*> order;
  for (const std::vector<position::Position>& positions : f.games) {
    for (const position::Position& p : positions) order.push_back(&p);
    for (size_t i = positions.size(); i-- > 0;) order.push_back(&positions[i]);
  }
  size_t index = 0;
  int64_t sum = 0;
  for (auto _ : state) {
    acc.position = order[index];
    sum += eval::network_output(acc);
    if (++index == order.size()) index = 0;
  }
  benchmark::DoNotOptimize(sum);
  eval::use_vector_path = saved;
}

void BM_NetworkIncremental(benchmark::State& state) { run(state, 3); }
void BM_NetworkRefresh(benchmark::State& state) { run(state, 1); }

BENCHMARK(BM_NetworkIncremental)->ArgName("vector")->Arg(1)->Arg(0);
BENCHMARK(BM_NetworkRefresh)->ArgName("vector")->Arg(1)->Arg(0);

}  // namespace
