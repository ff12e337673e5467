#include "eval/eval_report.h"

#include <cstring>

#include "base/output.h"
#include "eval/hce_info.h"
#include "eval/inference.h"
#include "eval/state.h"
#include "position/bitboard.h"
#include "position/notation.h"
#include "position/position.h"

namespace eval {

using base::print_plain;
using position::kBlack;
using position::kWhite;

namespace {

// Lists the squares of `squares` after `title`, or nothing when it is empty.
void print_squares(const char* title, position::Bitboard squares) {
  if (!squares) return;
  print_plain("%s", title);
  while (squares) print_plain(" %s", position::kSquareNames[position::pop_lsb(squares)]);
  print_plain("\n");
}

void print_weights() {
  for (int i = 0; i < param_count; ++i) {
    const EvalParam& p = params[i];
    if (std::strstr(p.name, "PST_") || std::strstr(p.name, "ttune")) continue;
    print_plain("%-22s  %4d , %4d\n", p.name, score_mg(p.score), score_eg(p.score));
  }
  print_pst("Pawn1", slots.pst_p1);
  print_pst("Pawn2", slots.pst_p2);
  print_pst("Connected Pawn", slots.pst_cp);
  print_pst("Defended Pawn", slots.pst_dp);
  print_pst("Knight", slots.pst_n);
  print_pst("Bishop", slots.pst_b);
  print_pst("Rook", slots.pst_r);
  print_pst("Queen", slots.pst_q);
  print_pst("King ", slots.pst_k);
}

}  // namespace

int taper(int32_t packed, float phase) {
  const int mg = static_cast<int16_t>(packed & 0xFFFF);
  const int eg = packed >> 16;
  const float mg_part = static_cast<float>(mg) * phase;
  return static_cast<int>(static_cast<double>(eg) * static_cast<double>(1.0f - phase) + static_cast<double>(mg_part));
}

void show_evaluation(const position::Position& pos, EvalState& state, int qscore, int level) {
  const int nne = evaluate_for_display(pos, state.accumulator);
  EvalInfo info;
  const int hce = hce_evaluate(pos, state, 1, info, true);
  const float f = info.phase;

  // Material of each colour and piece type, so that the rows can show the rest of each
  // group's terms on their own.
  EvalParam* const material_terms[5] = {slots.mtl_pawn, slots.mtl_knight, slots.mtl_bishop, slots.mtl_rook,
                                        slots.mtl_queen};
  int material[2][5];
  int totals[2] = {0, 0};
  for (int c = kWhite; c <= kBlack; ++c) {
    for (int type = 0; type < 5; ++type) {
      const uint32_t count = static_cast<uint32_t>(position::popcount(pos.pieces[c][type + 1]));
      material[c][type] = taper(static_cast<int32_t>(static_cast<uint32_t>(material_terms[type]->score) * count), f);
      totals[c] += material[c][type];
    }
  }

  auto group = [&](TraceGroup g, int c) { return taper(static_cast<int32_t>(info.trace[g][c]), f); };
  print_plain("           white  black      md\n");
  const char* const piece_rows[5] = {"pawns:", "knights:", "bishops:", "rooks:", "queens:"};
  for (int type = 0; type < 5; ++type) {
    const TraceGroup g = static_cast<TraceGroup>(kTracePawns + type);
    print_plain("%-10s  %4d   %4d    %4d\n", piece_rows[type], group(g, kWhite) - material[kWhite][type],
                group(g, kBlack) - material[kBlack][type], material[kWhite][type] - material[kBlack][type]);
  }
  const struct {
    const char* title;
    TraceGroup group;
  } other_rows[4] = {{"king:", kTraceKing}, {"ppawns:", kTracePassed}, {"threats:", kTraceThreats},
                     {"special:", kTraceSpecial}};
  for (const auto& row : other_rows)
    print_plain("%-10s  %4d   %4d    %4d\n", row.title, group(row.group, kWhite), group(row.group, kBlack), 0);

  print_squares("hung pieces on: ", info.threatened);
  print_squares("free pawns on: ", info.free_passed);

  const int mtl = pos.side == kWhite ? totals[kWhite] - totals[kBlack] : totals[kBlack] - totals[kWhite];
  // The scale factor column stays at 1: the breakdown shows the values before scaling.
  print_plain("nne= %d, hce= %d, qscore= %d, mtl= %d, phase= %0.2f, sf= %0.2f, rule50= %d\n\n", nne, hce, qscore, mtl,
              static_cast<double>(f), 1.0, pos.rule50);
  if (level >= 2) print_weights();
}

void print_pst(const char* title, EvalParam* const (&table)[64]) {
  print_plain("%s\n", title);
  for (int rank = 7; rank >= 0; --rank) {
    for (int file = 0; file < 8; ++file) print_plain(" %3d", score_mg(table[8 * rank + file]->score));
    print_plain("     ");
    for (int file = 0; file < 8; ++file) print_plain(" %3d", score_eg(table[8 * rank + file]->score));
    print_plain("\n");
  }
  print_plain("\n");
}

}  // namespace eval
