// The tuner's linear model of the hand-crafted evaluation, and the fit on top of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "eval/embedded.h"
#include "eval/hce.h"
#include "eval/params.h"
#include "eval/state.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "test_support.h"
#include "tools/hce_tuner.h"

namespace {

using namespace tools;

// Positions of random games from the start, a few from each game, as bare boards.
std::vector<position::Position> random_positions(int count, unsigned seed) {
  nesk_test::engine_thread();
  eval::register_eval_params();
  eval::load_embedded_params();
  std::mt19937 random(seed);
  std::vector<position::Position> out;
  static position::GameHistory history;
  while (static_cast<int>(out.size()) < count) {
    position::Position pos{};
    pos.game = &history;
    position::set_position(pos, position::kStartFen);
    for (int ply = 0; ply < 120 && static_cast<int>(out.size()) < count; ++ply) {
      position::MoveEntry list[position::kMaxMoves];
      position::generate_all_moves(pos, list);
      std::vector<position::Move> legal;
      for (position::MoveEntry* e = list; e->move != position::kListEnd; ++e)
        if (position::move_is_legal(pos, pos.side, e->move)) legal.push_back(e->move);
      if (legal.empty() || pos.rule50 >= 100) break;
      position::make_move(pos, legal[random() % legal.size()]);
      if (ply >= 8 && ply % 5 == 0) {
        position::Position copy = pos;
        copy.game = nullptr;
        out.push_back(copy);
      }
    }
  }
  return out;
}

int evaluate(const position::Position& pos) {
  static eval::EvalState* state = new eval::EvalState();
  return eval::hce_evaluate(pos, *state, 0);
}

// The model gives the evaluation's own value, at the starting parameters and after
// changing a spread of them (single terms and table entries alike).
TEST(HceTuner, ModelFollowsTheEvaluation) {
  std::vector<position::Position> positions = random_positions(300, 1);
  TuningSet set = build_tuning_set(positions, std::vector<float>(positions.size(), 0.5f), 2);
  ParamValues start = current_param_values();
  int worst = 0;
  for (size_t i = 0; i < positions.size(); ++i)
    worst = std::max(worst, static_cast<int>(std::lround(std::fabs(model_value(set, i, start) - evaluate(positions[i])))));
  EXPECT_LE(worst, 2);

  ParamValues changed = start;
  std::mt19937 random(5);
  for (int j = 0; j < eval::param_count; j += 3) {
    changed.mg[j] += static_cast<float>(static_cast<int>(random() % 41) - 20);
    changed.eg[j] += static_cast<float>(static_cast<int>(random() % 41) - 20);
  }
  apply_param_values(changed);
  worst = 0;
  for (size_t i = 0; i < positions.size(); ++i)
    worst = std::max(worst, static_cast<int>(std::lround(std::fabs(model_value(set, i, changed) - evaluate(positions[i])))));
  apply_param_values(start);
  EXPECT_LE(worst, 4);
}

// Targets made by an evaluation whose knights are worth 80 more: the fit finds most of
// that, and the loss falls.
TEST(HceTuner, FitRecoversAKnownChange) {
  std::vector<position::Position> positions = random_positions(3000, 2);
  ParamValues start = current_param_values();
  int knight = -1;
  for (int j = 0; j < eval::param_count; ++j)
    if (!std::strcmp(eval::params[j].name, "mtl_knight")) knight = j;
  ASSERT_GE(knight, 0);
  ParamValues truth = start;
  truth.mg[knight] += 80;
  truth.eg[knight] += 80;
  apply_param_values(truth);
  const double k = 0.006;
  std::vector<float> targets;
  for (const position::Position& pos : positions)
    targets.push_back(static_cast<float>(1.0 / (1.0 + std::exp(-k * evaluate(pos)))));
  apply_param_values(start);

  TuningSet set = build_tuning_set(positions, targets, 2);
  const double before = model_loss(set, start, k, 0, set.size(), 2);
  TuningOptions options;
  options.epochs = 300;
  options.threads = 2;
  ParamValues fitted = tune(set, start, k, set.size(), options);
  EXPECT_LT(model_loss(set, fitted, k, 0, set.size(), 2), before / 4);
  // Knights' worth can land on the material term or on the knight table (every knight
  // stands on a square of it): what must match is the evaluation the fit arrives at.
  double gap_before = 0, gap_after = 0;
  for (size_t i = 0; i < set.size(); ++i) {
    const double truth_value = model_value(set, i, truth);
    gap_before += std::fabs(model_value(set, i, start) - truth_value);
    gap_after += std::fabs(model_value(set, i, fitted) - truth_value);
  }
  EXPECT_GT(gap_before, 20.0 * set.size());
  EXPECT_LT(gap_after, gap_before / 3);
  EXPECT_GT(fitted.mg[knight], start.mg[knight] + 20);
  EXPECT_EQ(fitted.mg[0], start.mg[0]) << "the pawn's value is held";
}

// The written text is the embedded format: at the starting values it is the built-in text.
TEST(HceTuner, ParameterTextMatchesTheEmbeddedOne) {
  nesk_test::engine_thread();
  eval::register_eval_params();
  eval::load_embedded_params();
  EXPECT_EQ(params_text(current_param_values()), std::string(eval::embedded_params_text()));
}

}  // namespace
