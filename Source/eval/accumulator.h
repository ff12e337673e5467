// The first network layer, kept per thread. There is no stack along the search path:
// each thread remembers the last position it evaluated (its pieces and the two
// un-activated halves) and either applies the piece differences or rebuilds.
#pragma once

#include <cstdint>

#include "position/types.h"

namespace position {
struct Position;
}

namespace eval {

struct AccumulatorSnapshot {
  int16_t* white_half;
  int16_t* black_half;
  position::Bitboard white[7];  // all white pieces, then pawns .. king
  position::Bitboard black[7];
  position::Bitboard occupancy;
  int16_t ply;
  uint16_t white_mirror;
  uint16_t black_mirror;
  int32_t white_bucket;
  int32_t black_bucket;
};

struct Accumulator {
  const position::Position* position;
  position::Bitboard occupancy;
  int16_t ply;
  int16_t material_units[2];
  int16_t* work;            // W values: white-perspective half, then black-perspective half
  int16_t* white_half;
  int16_t* black_half;
  int16_t* hidden1_out;     // h1 values, when the network has a material layer
  int16_t* hidden2_out;     // h2 values, when it has a second hidden layer
  float raw_output;
  int32_t output_bucket;
  AccumulatorSnapshot* snapshot;
  int16_t piece_counts[10];  // white pawns, black pawns, white knights, ... black queens
  uint32_t generation;       // the network generation the buffers were sized for
  // Output-layer rows for the white and the black half (null when the output layer is
  // not a single row per half). When set, the update also leaves the dot product of each
  // activated half with its row in output_sums (32-bit, wrapping).
  const int16_t* white_output_row;
  const int16_t* black_output_row;
  int32_t output_sums[2];
};

// The view of the board from one side, fixed by its own king's square: squares are
// transformed by XOR with `mirror` (the own king lands on files e-h, and black also turns
// the board upside down), and the king bucket's rows start at feature `bucket`.
struct Perspective {
  uint16_t mirror;
  int32_t bucket;
};
Perspective perspective_of(int colour, int king_square, int king_buckets);

// The input feature of a man of `colour` and `type` (pawn .. king) on `square`, seen by
// `viewer` through `view`: king bucket, own or other side's men, plane of the type (king
// first, then pawn .. queen), transformed square.
inline int feature_index(const Perspective& view, int viewer, int colour, int type, int square) {
  return view.bucket + (colour == viewer ? 0 : 384) + (type == position::kKing ? 0 : 64 * type) + (square ^ view.mirror);
}

// Allocates the buffers for the loaded network, zero-filled. Returns 1, or 0 on failure.
int allocate_accumulators(Accumulator& accumulator);
void free_accumulators(Accumulator& accumulator);

// 1 when the buffers fit the network in force, allocating them (again) when they are
// missing or were sized for an earlier network; 0 when no network is loaded or memory
// runs out. The first evaluation after an allocation rebuilds from the biases.
int prepare_accumulators(Accumulator& accumulator);

// Brings the work halves up to date for accumulator.position (incrementally from the
// snapshot where cheap, else from the biases), saves the snapshot, then activates.
// The buffers must fit the network in force (prepare_accumulators).
void update_accumulator(Accumulator& accumulator);

// Vector or scalar arithmetic for the network; both give identical results. The vector
// path is used where the processor has it, unless switched off (the tests compare both).
extern bool use_vector_path;
bool vector_path_available();

// Sum of a[j] * b[j] for j < n, in 32 bits with wrap-around (so the order of the
// additions cannot matter).
int32_t dot_product(const int16_t* a, const int16_t* b, int n);

}  // namespace eval
