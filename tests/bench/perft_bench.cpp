// Perft speed: leaf nodes per second on the standard positions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "position/bitboard.h"
#include "position/perft.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "search/thread.h"

namespace {

search::SearchThread* thread_for(const char* fen) {
  static search::SearchThread* thread = [] {
    position::init_tables();
    position::init_zobrist();
    return search::allocate_thread(0);
  }();
  position::set_position(thread->position, fen);
  return thread;
}

void run_perft(benchmark::State& state, const char* fen, int depth) {
  search::SearchThread* thread = thread_for(fen);
  uint64_t leaves = 0;
  for (auto _ : state) leaves += position::perft(thread->position, depth);
  state.counters["leaves/s"] = benchmark::Counter(static_cast<double>(leaves), benchmark::Counter::kIsRate);
}

void BM_PerftStart6(benchmark::State& state) {
  run_perft(state, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 6);
}
void BM_PerftKiwipete5(benchmark::State& state) {
  run_perft(state, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 5);
}

BENCHMARK(BM_PerftStart6)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PerftKiwipete5)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

namespace {

// Every count of depth 5 or more in the shared perft suite; a wrong count is an error.
void BM_PerftSuiteDeep(benchmark::State& state) {
  std::ifstream file(std::string(NESK_TESTDATA) + "/perft.epd");
  if (!file) {
    state.SkipWithError("shared test data (perft.epd) not found");
    return;
  }
  struct Count {
    std::string fen;
    int depth;
    uint64_t nodes;
  };
  std::vector<Count> counts;
  for (std::string line; std::getline(file, line);) {
    std::stringstream fields(line);
    std::string fen, field;
    std::getline(fields, fen, ';');
    while (std::getline(fields, field, ';')) {
      int depth = 0;
      unsigned long long nodes = 0;
      if (std::sscanf(field.c_str(), " D%d %llu", &depth, &nodes) == 2 && depth >= 5) counts.push_back({fen, depth, nodes});
    }
  }
  uint64_t leaves = 0;
  for (auto _ : state) {
    for (const Count& c : counts) {
      search::SearchThread* thread = thread_for(c.fen.c_str());
      uint64_t found = position::perft(thread->position, c.depth);
      if (found != c.nodes) {
        state.SkipWithError(("wrong count for " + c.fen + " at depth " + std::to_string(c.depth)).c_str());
        return;
      }
      leaves += found;
    }
  }
  state.counters["leaves/s"] = benchmark::Counter(static_cast<double>(leaves), benchmark::Counter::kIsRate);
  state.counters["positions"] = static_cast<double>(counts.size());
}

BENCHMARK(BM_PerftSuiteDeep)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
