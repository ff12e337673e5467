// Feeds network files to the loader. A network it takes must evaluate a few positions
// (from scratch and incrementally) with the same result on the vector and scalar paths.
#include "eval/accumulator.h"
#include "eval/evaluate.h"
#include "eval/inference.h"
#include "fuzz_support.h"
#include "position/makemove.h"

namespace {

constexpr const char* kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/pppq1ppp/2npbn2/4p3/4P3/2NPBN2/PPPQ1PPP/R3K2R b KQkq - 0 1",
    "8/2P1k1P1/8/3K4/8/8/1p4p1/8 w - - 0 1",
};

// The network's score of the position, without the evaluation's cache and endgame rules.
int network_score(const position::Position& pos, eval::Accumulator& accumulator, int ply, bool vector) {
  eval::use_vector_path = vector && eval::vector_path_available();
  accumulator.position = &pos;
  accumulator.ply = static_cast<int16_t>(ply);
  return eval::network_output(accumulator);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(1);
  std::string path = nesk_fuzz::write_temp_file("network", data, size);
  base::settings.nn_file = path.c_str();
  eval::load_network();
  std::remove(path.c_str());
  if (!eval::network_loaded()) return 0;

  search::SearchThread& thread = *search::main_thread;
  position::Position& pos = thread.position;
  eval::Accumulator scalar{}, vector{};
  for (const char* fen : kPositions) {
    if (position::set_position(pos, fen) != 0) std::abort();
    eval::EvalContext context;
    eval::evaluate(pos, thread.eval, context, pos.side, 1, 0);
    // Ply 1 rebuilds from the biases; the plies after it update from the last position.
    position::MoveEntry list[position::kMaxMoves];
    position::generate_all_moves(pos, list);
    for (int ply = 1; ply <= 4 && list[0].move != position::kListEnd; ++ply) {
      int a = network_score(pos, scalar, ply, false), b = network_score(pos, vector, ply, true);
      if (a != b) nesk_fuzz::fail("vector and scalar paths disagree on", fen);
      const position::MoveEntry* e = list;
      while (e->move != position::kListEnd && !position::move_is_legal(pos, pos.side, e->move)) ++e;
      if (e->move == position::kListEnd) break;
      position::make_move(pos, e->move);
      position::generate_all_moves(pos, list);
    }
  }
  eval::free_accumulators(scalar);
  eval::free_accumulators(vector);
  eval::use_vector_path = eval::vector_path_available();
  nesk_fuzz::unload_network();  // so that no input looks like a leak to the fuzzer
  return 0;
}
