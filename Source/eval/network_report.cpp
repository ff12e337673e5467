#include "eval/network_report.h"

#include <cmath>

#include "base/output.h"
#include "eval/accumulator.h"
#include "eval/inference.h"
#include "eval/network.h"
#include "eval/score.h"
#include "position/position.h"

namespace eval {

using base::print_plain;

namespace {

constexpr float kShown = 20;  // centipawns

struct Range {
  int low = 99999, high = -99999;
  void add(int v) {
    if (v < low) low = v;
    if (v > high) high = v;
  }
};

// Lists the units whose value times output weight, in centipawns, exceeds the threshold;
// returns the sum over all of them.
float list_units(const char* heading, const int16_t* values, const int16_t* weights, int count, float k) {
  print_plain(heading, static_cast<double>(kShown));
  float sum = 0;
  for (int j = 0; j < count && weights; ++j) {
    float c = static_cast<float>(values[j]) * static_cast<float>(weights[j]) * k;
    sum += c;
    if (std::fabs(c) > kShown)
      print_plain("%4d.  %5.0f * %5.0f ->  %5.0f\n", j, static_cast<double>(values[j]), static_cast<double>(weights[j]),
                  static_cast<double>(c));
  }
  return sum;
}

}  // namespace

void show_network_contributions(const position::Position& pos, Accumulator& accumulator) {
  if (evaluate_for_display(pos, accumulator) == kNoScore) {
    print_plain("no network loaded\n");
    return;
  }
  const NetHeader& h = network.header;
  const int half = h.width / 2;
  const float k = static_cast<float>(h.output_scale) / static_cast<float>(h.output_divisor * h.output_divisor);
  const int bucket = accumulator.output_bucket;

  // With a second hidden layer the first-layer units feed many neurons, not the output:
  // no single weight gives their share, so only the ranges are shown for them.
  const int16_t* row = h.hidden2 > 0 ? nullptr : network.output_weights + static_cast<size_t>(bucket) * h.width;
  const bool white_to_move = pos.side == position::kWhite;
  const int16_t* white_row = row ? row + (white_to_move ? 0 : half) : nullptr;
  const int16_t* black_row = row ? row + (white_to_move ? half : 0) : nullptr;
  const int16_t* material_row =
      h.hidden1 > 0 && row ? network.material_output + static_cast<size_t>(bucket) * h.hidden1 : nullptr;

  float ev_wp = list_units("HL1wp nodes contributing more than %.0f cp\n", accumulator.white_half, white_row, half, k);
  float ev_bp = list_units("HL1bp nodes contributing more than %.0f cp\n", accumulator.black_half, black_row, half, k);
  float ev_x = list_units("HLX nodes contributing more than %.0f cp\n", accumulator.hidden1_out, material_row,
                          h.hidden1 > 0 ? h.hidden1 : 0, k);
  print_plain("\n nneval= %.0f, ev_wp= %.0f, ev_bp= %.0f, ev_X= %.0f, output node= %d\n\n",
              static_cast<double>(ev_wp + ev_bp + ev_x), static_cast<double>(ev_wp), static_cast<double>(ev_bp),
              static_cast<double>(ev_x), bucket);

  Range first, second;
  for (int j = 0; j < half; ++j) {
    first.add(accumulator.white_half[j]);
    first.add(accumulator.black_half[j]);
  }
  for (int i = 0; i < h.hidden1; ++i) first.add(accumulator.hidden1_out[i]);
  for (int i = 0; i < h.hidden2; ++i) second.add(accumulator.hidden2_out[i]);
  print_plain("\n h1min= %d, h1max= %d, h2min= %d, h2max= %d\n\n", first.low, first.high, second.low, second.high);
}

}  // namespace eval
