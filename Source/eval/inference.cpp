#include "eval/inference.h"

#include <cmath>
#include <cstdint>

#include "eval/network.h"
#include "eval/score.h"
#include "position/bitboard.h"
#include "position/position.h"
#include "base/output.h"

namespace eval {

namespace {

int16_t activate(int16_t value) { return value < 0 ? static_cast<int16_t>(value / 64) : value; }

}  // namespace

int material_units(const int counts[5]) {
  int minors_and_rooks = 3 * (counts[1] + counts[2]) + 5 * counts[3];
  return minors_and_rooks + (minors_and_rooks > 0 ? 10 : 6) * counts[4];
}

int material_bucket(int white_units, int black_units) {
  int units = white_units > black_units ? white_units : black_units;
  double rounded = std::round(0.2 * units);
  return 5 - (rounded < 5 ? static_cast<int>(rounded) : 5);
}

int network_output(Accumulator& accumulator) {
  if (!prepare_accumulators(accumulator)) return kNoScore;
  const NetHeader& header = network.header;
  const position::Position& pos = *accumulator.position;
  const int width = header.width, half = width / 2, divisor = header.output_divisor;
  const int us = pos.side, them = us ^ 1;

  // Piece counts (pawns .. queens) and material units of both colours.
  int counts[2][5];
  for (int colour = 0; colour < 2; ++colour) {
    for (int type = position::kPawn; type <= position::kQueen; ++type) {
      counts[colour][type - 1] = position::popcount(pos.pieces[colour][type]);
      accumulator.piece_counts[2 * (type - 1) + colour] = static_cast<int16_t>(counts[colour][type - 1]);
    }
    accumulator.material_units[colour] = static_cast<int16_t>(material_units(counts[colour]));
  }
  accumulator.occupancy = pos.occupancy();

  int bucket = 0;
  if (header.output_buckets >= 1) bucket = material_bucket(accumulator.material_units[0], accumulator.material_units[1]);
  accumulator.output_bucket = bucket;

  // With a single output row per half, the update computes the two dot products as it
  // activates; the second hidden layer needs its own pass over the halves.
  const int16_t* row = network.output_weights + static_cast<size_t>(bucket) * width;
  bool single_row = header.hidden2 <= 0;
  accumulator.white_output_row = single_row ? (us == position::kWhite ? row : row + half) : nullptr;
  accumulator.black_output_row = single_row ? (us == position::kWhite ? row + half : row) : nullptr;
  update_accumulator(accumulator);
  const int16_t* own = us == position::kWhite ? accumulator.white_half : accumulator.black_half;
  const int16_t* other = us == position::kWhite ? accumulator.black_half : accumulator.white_half;

  float raw;
  if (single_row) {
    int64_t sum = static_cast<int64_t>(accumulator.output_sums[us]) / divisor +
                  static_cast<int64_t>(accumulator.output_sums[them]) / divisor;
    if (header.hidden1 > 0) {
      // The material layer: piece counts of the side to move, then of the other side.
      const int inputs[10] = {counts[us][0],   counts[us][1],   counts[us][2],   counts[us][3],   counts[us][4],
                              counts[them][0], counts[them][1], counts[them][2], counts[them][3], counts[them][4]};
      for (int i = 0; i < header.hidden1; ++i) {
        const int16_t* weights = network.material_weights + 16 * static_cast<size_t>(i);
        int s = network.material_biases[i];
        for (int k = 0; k < 10; ++k) s += weights[k] * inputs[k];
        accumulator.hidden1_out[i] = activate(static_cast<int16_t>(s));
      }
      const int16_t* row3 = network.material_output + static_cast<size_t>(bucket) * header.hidden1;
      sum += static_cast<int64_t>(dot_product(accumulator.hidden1_out, row3, header.hidden1)) / divisor;
    }
    raw = static_cast<float>(static_cast<double>(sum) / divisor);
  } else {
    for (int j = 0; j < header.hidden2; ++j) {
      const int16_t* neuron = network.output_weights + static_cast<size_t>(j) * width;
      int64_t s = static_cast<int64_t>(dot_product(own, neuron, half)) / divisor +
                  static_cast<int64_t>(dot_product(other, neuron + half, half)) / divisor + network.hidden2_biases[j];
      int64_t v = s / 4;
      v = v > 32000 ? 32000 : v < -32000 ? -32000 : v;
      if (v < 0) v /= 64;
      accumulator.hidden2_out[j] = static_cast<int16_t>(v);
    }
    const int16_t* row4 = network.hidden2_output + static_cast<size_t>(bucket) * header.hidden2;
    float sum = 0;
    for (int j = 0; j < header.hidden2; ++j) sum += static_cast<float>(accumulator.hidden2_out[j] * row4[j]);
    raw = 4.0f / static_cast<float>(divisor) * sum;
  }
  accumulator.raw_output = raw;

  double scaled = std::round(static_cast<double>(header.output_scale) * static_cast<double>(raw));
  scaled = scaled > 1e6 ? 1e6 : scaled < -1e6 ? -1e6 : scaled;
  int score = static_cast<int>(scaled);
  if (header.version == 779) {
    score += 32 * ((counts[us][0] - counts[them][0]) +
                   2 * (accumulator.material_units[us] - accumulator.material_units[them]));
  }
  return score > kEvalLimit ? kEvalLimit : score < -kEvalLimit ? -kEvalLimit : score;
}

int evaluate_for_display(const position::Position& pos, Accumulator& accumulator) {
  accumulator.position = &pos;
  if (!network_loaded()) return kNoScore;
  if (!prepare_accumulators(accumulator)) {
    base::emit_line("error initializing NN!");
    return kNoScore;
  }
  return network_output(accumulator);
}

}  // namespace eval
