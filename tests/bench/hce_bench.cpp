// Hand-crafted evaluation speed: nanoseconds per hce_evaluate call over positions from a
// few fixed games (opening, middlegame and rook ending), evaluated as the search would:
// ply above 2, so the pawn hash answers for structures it has already seen.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "eval/hce.h"
#include "eval/params.h"
#include "position/bitboard.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "base/settings.h"

namespace {

struct Game {
  const char* fen;
  std::vector<const char*> moves;
};

const Game kGames[] = {
    {position::kStartFen,
     {"e4", "c5", "Nf3", "d6", "d4", "cxd4", "Nxd4", "Nf6", "Nc3", "a6", "Be3", "e5", "Nb3", "Be6", "f3", "Be7",
      "Qd2", "O-O", "O-O-O", "Nbd7", "g4", "b5", "g5", "b4", "Ne2", "Ne8", "f4", "a5", "f5", "Bxb3", "axb3", "a4",
      "Kb1", "axb3", "cxb3", "Nc5", "Ng3"}},
    {position::kStartFen,
     {"d4", "d5", "c4", "e6", "Nc3", "Nf6", "Bg5", "Be7", "e3", "O-O", "Nf3", "Nbd7", "Rc1", "c6", "Bd3", "dxc4",
      "Bxc4", "Nd5", "Bxe7", "Qxe7", "O-O", "Nxc3", "Rxc3", "e5", "Qc2", "exd4", "exd4", "Nf6", "Re1", "Qd6", "Ne5",
      "Be6", "Bxe6", "fxe6"}},
    {position::kStartFen,
     {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O", "Be7", "Re1", "b5", "Bb3", "d6", "c3", "O-O", "h3",
      "Nb8", "d4", "Nbd7", "Nbd2", "Bb7", "Bc2", "Re8", "Nf1", "Bf8", "Ng3", "g6", "a4", "c5", "d5", "c4", "Bg5",
      "h6", "Be3", "Nc5", "Qd2", "h5", "Bg5", "Be7"}},
    {"8/5pk1/6p1/3R3p/7P/6P1/r4PK1/8 w - -",
     {"Rd7", "Kf6", "Rd6+", "Ke7", "Rd4", "Ra3", "Rf4", "Ke6", "Kh2", "Ra2", "Kg1", "Ke5", "Rf3", "f5"}},
};

search::SearchThread& bench_thread() {
  static search::SearchThread* thread = [] {
    position::init_tables();
    position::init_zobrist();
    base::set_default_settings(base::settings);
    eval::register_eval_params();
    eval::load_embedded_params();
    search::SearchThread* block = search::allocate_thread(0);
    search::main_thread = block;
    return block;
  }();
  return *thread;
}

// Every position of the games, in the order they were played. Empty on a bad move.
std::vector<position::Position> game_positions(std::string& error) {
  search::SearchThread& thread = bench_thread();
  std::vector<position::Position> positions;
  for (const Game& game : kGames) {
    std::string fen = game.fen;
    if (position::set_position(thread.position, fen.c_str()) != 0) {
      error = "bad FEN " + fen;
      return {};
    }
    search::reset_stack(thread);
    positions.push_back(thread.position);
    for (const char* text : game.moves) {
      position::Move move = 0;
      if (position::text_to_move(thread.position, text, move, position::MoveStyle{}) != 1) {
        error = std::string("bad move ") + text;
        return {};
      }
      position::make_move(thread.position, move);
      positions.push_back(thread.position);
    }
  }
  return positions;
}

void run(benchmark::State& state, int ply) {
  search::SearchThread& thread = bench_thread();
  std::string error;
  const std::vector<position::Position> positions = game_positions(error);
  if (positions.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  const uint64_t probes = thread.eval.pawn_probes, hits = thread.eval.pawn_hits;
  for (auto _ : state) {
    for (const position::Position& pos : positions) {
      thread.position = pos;
      benchmark::DoNotOptimize(eval::hce_evaluate(thread.position, thread.eval, ply));
    }
  }
  const double calls = static_cast<double>(positions.size());
  // CPU time per call (the rate is inverted into seconds per evaluation).
  state.counters["per_eval"] =
      benchmark::Counter(calls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["positions"] = calls;
  const uint64_t probed = thread.eval.pawn_probes - probes;
  if (probed > 0)
    state.counters["pawn_hits%"] = 100.0 * static_cast<double>(thread.eval.pawn_hits - hits) / static_cast<double>(probed);
}

// As in the search: the pawn hash may answer.
void BM_HceEvaluate(benchmark::State& state) { run(state, 5); }
// As at the root: the pawn structure is computed every time.
void BM_HceEvaluateRoot(benchmark::State& state) { run(state, 1); }

// The cost of copying a position in, which the figures above include.
void BM_HcePositionCopyOnly(benchmark::State& state) {
  search::SearchThread& thread = bench_thread();
  std::string error;
  const std::vector<position::Position> positions = game_positions(error);
  for (auto _ : state) {
    for (const position::Position& pos : positions) {
      thread.position = pos;
      benchmark::DoNotOptimize(thread.position);
      benchmark::ClobberMemory();
    }
  }
  state.counters["per_copy"] = benchmark::Counter(
      static_cast<double>(positions.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_HceEvaluate);
BENCHMARK(BM_HceEvaluateRoot);
BENCHMARK(BM_HcePositionCopyOnly);

}  // namespace
