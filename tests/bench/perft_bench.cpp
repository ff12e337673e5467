// Perft speed: leaf nodes per second on the standard positions.
#include <benchmark/benchmark.h>

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
  for (auto _ : state) leaves += position::perft_count(*thread, depth);
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
