// Whole searches with known answers (mates, material, draws, forced moves) and the time
// allocation of the clock-driven search.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "eval/kpk.h"
#include "eval/params.h"
#include "position/bitboard.h"
#include "position/makemove.h"
#include "search/think.h"
#include "search/thread.h"
#include "search/tt.h"
#include "search/control.h"
#include "base/settings.h"
#include "search/timeman.h"
#include "shell/bench.h"
#include "shell/search_limits.h"
#include "test_support.h"

namespace {

using nesk_test::legal_moves;
using nesk_test::mv;
using position::Move;
using position::Position;
using search::control;
using base::settings;

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Saves and restores the settings and the control record around every test, and gives
// each test a quiet engine with a fresh 16 MB table.
class EngineState : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    nesk_test::engine_thread();
    static const bool evaluation_ready = [] {
      eval::register_eval_params();
      eval::load_embedded_params();
      eval::build_kpk_table();
      return true;
    }();
    (void)evaluation_ready;
  }

  void SetUp() override {
    saved_settings_ = settings;
    base::set_default_settings(settings);
    search::set_default_control(control);
    shell::kept_limits = shell::KeptLimits{};
    base::set_quiet();  // no info lines, no allocation lines
    settings.hash_mb = 16;
    ASSERT_EQ(search::allocate_hash_table(), 1);
    search::main_thread = &nesk_test::engine_thread();
  }

  void TearDown() override {
    search::main_thread->game.undo_index = 0;
    settings = saved_settings_;
    search::set_default_control(control);
  }

  // A reporter that overrides nothing: the search reports to no one.
  static search::Reporter& silent_reporter() {
    static search::Reporter reporter;
    return reporter;
  }

  // The limits the shell hands a search of the main position now.
  static search::Limits standing_limits() {
    const Position& pos = search::main_thread->position;
    return shell::game_search_limits(pos.side, search::main_thread->game.undo_index);
  }

  base::EngineSettings saved_settings_{};
};

// ---------------------------------------------------------------------------------------
// Searches with known results

bool in_check(const Position& pos) { return position::square_attacked(pos, pos.king_square[pos.side], pos.side ^ 1); }

bool mates_within(Position& pos, int moves);

// The side to move is checkmated now, or within `moves` moves of the attacker whatever
// it plays.
bool defender_lost(Position& pos, int moves) {
  std::vector<Move> replies = legal_moves(pos);
  if (replies.empty()) return in_check(pos);
  if (moves == 0) return false;
  for (Move m : replies) {
    position::make_move(pos, m);
    bool lost = mates_within(pos, moves);
    position::unmake_move(pos);
    if (!lost) return false;
  }
  return true;
}

// The side to move can force mate in at most `moves` moves (exhaustive, no search code).
bool mates_within(Position& pos, int moves) {
  if (moves <= 0) return false;
  for (Move m : legal_moves(pos)) {
    position::make_move(pos, m);
    bool mates = defender_lost(pos, moves - 1);
    position::unmake_move(pos);
    if (mates) return true;
  }
  return false;
}

struct Outcome {
  int score;
  Move best;
  int depth;
};

class Search : public EngineState {
 protected:
  Position& position() { return search::main_thread->position; }

  Position& set_up(const char* fen, const std::vector<const char*>& moves = {}) {
    Position& pos = nesk_test::set_up(fen);
    for (const char* m : moves) {
      Move move = mv(m);
      EXPECT_TRUE(position::is_legal_move(pos, move)) << m;
      position::make_move(pos, move);
    }
    return pos;
  }

  Outcome think_to_depth(int depth) {
    shell::kept_limits.standing.depth = depth;
    settings.moves_per_control = 1;
    settings.base_time = 1e7f;
    last_ = search::think(search::kFixedSearch, search::main_thread->position, standing_limits(), silent_reporter(), 0);
    control.state = 0;
    return {last_.score, last_.best_move, last_.depth};
  }

  // The published variation is a sequence of legal moves from the root.
  testing::AssertionResult variation_is_legal() {
    Position& pos = position();
    int made = 0;
    testing::AssertionResult result = testing::AssertionSuccess();
    for (int i = 0; i < 80 && last_.pv[i]; ++i) {
      if (!position::is_legal_move(pos, last_.pv[i])) {
        result = testing::AssertionFailure() << "move " << i << " of the variation is illegal";
        break;
      }
      position::make_move(pos, last_.pv[i]);
      ++made;
    }
    while (made--) position::unmake_move(pos);
    return result;
  }

  search::Result last_;  // the last search of think_to_depth
};

TEST_F(Search, MateInOneScoresNineThousandNineHundredNinetyEight) {
  // The root is ply 1: the mated side stands at ply 2 and scores 2 - 10000.
  Position& pos = set_up("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  ASSERT_TRUE(mates_within(pos, 1));
  Outcome r = think_to_depth(4);
  EXPECT_EQ(r.best, mv("a1a8"));
  EXPECT_EQ(r.score, 9998);
  EXPECT_EQ(last_.pv[0], r.best);
}

TEST_F(Search, MateInTwoPlaysTheKeyMove) {
  // 1.Ra6! and 2.b7# or 2.Rxa7#; no mate in one exists.
  Position& pos = set_up("kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1");
  ASSERT_TRUE(mates_within(pos, 2));
  ASSERT_FALSE(mates_within(pos, 1));
  Outcome r = think_to_depth(6);
  EXPECT_EQ(r.score, 9996);
  EXPECT_EQ(r.best, mv("a1a6"));
  position::make_move(pos, r.best);
  EXPECT_TRUE(defender_lost(pos, 1));
  position::unmake_move(pos);
  EXPECT_TRUE(variation_is_legal());
}

TEST_F(Search, MateInThreeWithKingAndRook) {
  Position& pos = set_up("1k6/8/8/2K5/8/8/8/7R w - - 0 1");
  ASSERT_TRUE(mates_within(pos, 3));
  ASSERT_FALSE(mates_within(pos, 2));
  Outcome r = think_to_depth(8);
  EXPECT_EQ(r.score, 9994);
  ASSERT_TRUE(position::is_legal_move(pos, r.best));
  position::make_move(pos, r.best);
  EXPECT_TRUE(defender_lost(pos, 2)) << "the first move keeps the mate in three";
  position::unmake_move(pos);
  EXPECT_TRUE(variation_is_legal());
}

TEST_F(Search, SideAboutToBeMatedScoresTheMateAgainstIt) {
  // Black to move is mated next move whatever it plays: mated at ply 3.
  Position& pos = set_up("kbK5/pp6/RP6/8/8/8/8/8 b - - 1 1");
  ASSERT_TRUE(defender_lost(pos, 1));
  Outcome r = think_to_depth(5);
  EXPECT_EQ(r.score, 3 - 10000);
  EXPECT_TRUE(position::is_legal_move(pos, r.best));
}

TEST_F(Search, TakesAHangingQueen) {
  set_up("rnb1kbnr/pppp1ppp/8/4p3/4P2q/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1");
  Outcome r = think_to_depth(6);
  EXPECT_EQ(r.best, mv("f3h4"));
  EXPECT_GT(r.score, 600);
  EXPECT_EQ(r.depth, 6);
  EXPECT_TRUE(variation_is_legal());
}

TEST_F(Search, StalemateAtTheRootScoresZeroWithoutAMove) {
  Position& pos = set_up("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
  ASSERT_TRUE(legal_moves(pos).empty());
  ASSERT_FALSE(in_check(pos));
  control.best_move = mv("e2e4");
  control.published_score = 77;
  Outcome r = think_to_depth(5);
  EXPECT_EQ(r.score, 0);
  EXPECT_EQ(r.best, 0);
  EXPECT_EQ(last_.ponder_move, 0);
  EXPECT_EQ(r.depth, 1);
}

TEST_F(Search, CheckmatedRootScoresMinusNineThousandNineHundredNinetyNine) {
  Position& pos = set_up("7k/6Q1/6K1/8/8/8/8/8 b - - 0 1");
  ASSERT_TRUE(legal_moves(pos).empty());
  ASSERT_TRUE(in_check(pos));
  Outcome r = think_to_depth(5);
  EXPECT_EQ(r.score, -9999);
  EXPECT_EQ(r.best, 0);
  EXPECT_EQ(r.depth, 1);
}

TEST_F(Search, OnlyLegalMoveIsPlayedAndFlagged) {
  Position& pos = set_up("k7/2Q5/8/8/8/7p/8/K7 b - - 0 1");
  ASSERT_EQ(legal_moves(pos), std::vector<Move>{mv("h3h2")});
  Outcome r = think_to_depth(4);
  EXPECT_EQ(r.best, mv("h3h2"));
  EXPECT_EQ(control.single_reply, 1);

  set_up(kStart);
  think_to_depth(2);
  EXPECT_EQ(control.single_reply, 0);
}

// Two black queens against a knight: white's only hope is a third occurrence.
constexpr const char* kKnightShuffle = "1k1qq3/8/8/8/8/8/6PP/1N5K w - - 0 1";

TEST_F(Search, RepetitionOfAGamePositionDrawsOnlyAtItsThirdOccurrence) {
  // b1c3 b8a8 c3b1 a8b8, twice, then b1c3 b8a8: the position after c3b1 has stood twice
  // (after plies 3 and 7), so c3b1 now repeats it a third time.
  const std::vector<const char*> twice = {"b1c3", "b8a8", "c3b1", "a8b8", "b1c3", "b8a8",
                                          "c3b1", "a8b8", "b1c3", "b8a8"};
  set_up(kKnightShuffle, twice);
  Outcome r = think_to_depth(5);
  EXPECT_EQ(r.best, mv("c3b1"));
  EXPECT_EQ(r.score, 0);

  // With one earlier occurrence only, c3b1 draws nothing: black is simply winning.
  const std::vector<const char*> once = {"b1c3", "b8a8", "c3b1", "a8b8", "b1c3", "b8a8"};
  set_up(kKnightShuffle, once);
  r = think_to_depth(5);
  EXPECT_LT(r.score, -500);
}

TEST_F(Search, RepetitionInsideTheSearchDrawsAtOnce) {
  // Far behind, white has a perpetual: Qh5+ Kg8 Qe8+ Kh7 Qh5+ repeats a position reached
  // in the tree, which is a draw at its second occurrence.
  Position& pos = set_up("8/6pk/8/8/8/1rr5/q5PP/3Q3K w - - 0 1");
  ASSERT_FALSE(mates_within(pos, 2));
  Outcome r = think_to_depth(8);
  EXPECT_EQ(r.score, 0);
  ASSERT_TRUE(position::is_legal_move(pos, r.best));
  position::make_move(pos, r.best);
  EXPECT_TRUE(in_check(pos)) << "only checks hold the draw";
  position::unmake_move(pos);
}

TEST_F(Search, FiftyMoveRuleOverridesAMateOnTheHundredthPly) {
  // Ra8# with the counter going from 98 to 99 still mates.
  set_up("6k1/5ppp/8/8/8/8/8/R5K1 w - - 98 80");
  Outcome r = think_to_depth(4);
  EXPECT_EQ(r.best, mv("a1a8"));
  EXPECT_EQ(r.score, 9998);

  // From 99 every white move (none captures or moves a pawn) reaches 100: all draws, the
  // mate included.
  search::clear_hash_table();
  set_up("6k1/5ppp/8/8/8/8/8/R5K1 w - - 99 80");
  r = think_to_depth(4);
  EXPECT_EQ(r.score, 0);
  EXPECT_NE(r.best, 0);
}

TEST_F(Search, DeepGameHistoryLimitsTheIterations) {
  // 880 plies of knight moves before the root: iteration d runs only while 880 + d <= 883.
  Position& pos = set_up(kStart);
  const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
  for (int i = 0; i < 880; ++i) position::make_move(pos, mv(cycle[i % 4]));
  ASSERT_EQ(search::main_thread->game.undo_index, 880);
  Outcome r = think_to_depth(10);
  EXPECT_EQ(r.depth, 4);
  EXPECT_TRUE(position::is_legal_move(pos, r.best));
}

TEST_F(Search, SearchesWithoutATable) {
  settings.hash_mb = 0;
  ASSERT_EQ(search::allocate_hash_table(), 1);
  Position& pos = set_up(kStart);
  Outcome r = think_to_depth(5);
  EXPECT_EQ(r.depth, 5);
  EXPECT_TRUE(position::is_legal_move(pos, r.best));
  EXPECT_TRUE(variation_is_legal());
  EXPECT_EQ(search::tt_enabled(), 0);

  set_up("rnb1kbnr/pppp1ppp/8/4p3/4P2q/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 1");
  r = think_to_depth(5);
  EXPECT_EQ(r.best, mv("f3h4"));
}

TEST_F(Search, EachSearchStartsANewGeneration) {
  set_up(kStart);
  control.tt_age = 5;
  think_to_depth(2);
  EXPECT_EQ(control.tt_age, 6);
  think_to_depth(2);
  EXPECT_EQ(control.tt_age, 7);
}

// A node limit reached inside the first root move still leaves a legal move to play.
TEST_F(Search, NodeLimitOfOneStillPublishesAMove) {
  Position& pos = set_up(kStart);
  shell::kept_limits.standing.nodes = 1;
  Outcome r = think_to_depth(10);
  EXPECT_NE(r.best, 0);
  EXPECT_TRUE(position::is_legal_move(pos, r.best));
}

// With MultiPV a quick mate against the worst root move (here 2.g4?? Qh4#) must not be
// taken for a mate found: the best line decides when deepening ends.
TEST_F(Search, MateAgainstTheLastMultiPvLineDoesNotEndTheDeepening) {
  set_up(kStart, {"f2f3", "e7e5"});
  settings.multipv = 255;
  Outcome r = think_to_depth(6);
  EXPECT_EQ(r.depth, 6);
  EXPECT_GT(r.score, -3000);

  // One line: the same position is searched to the limit.
  settings.multipv = 1;
  r = think_to_depth(6);
  EXPECT_EQ(r.depth, 6);
}

// "-mn N -md D": once N nodes are searched, the search stops at depth D; without -mn the
// depth cap never applies.
TEST_F(Search, DepthCapAppliesOnlyOnceTheNodeFloorIsReached) {
  set_up(kStart);
  shell::kept_limits.standing.min_nodes = 60000;
  shell::kept_limits.standing.node_depth_cap = 5;
  Outcome r = think_to_depth(30);
  uint64_t nodes = search::thread_blocks[0]->nodes;
  EXPECT_GE(nodes, 60000u);
  EXPECT_LT(nodes, 120000u);
  EXPECT_GE(r.depth, 5);
  EXPECT_EQ(shell::kept_limits.standing.min_nodes, 60000u);  // the search leaves the setting alone

  const search::StandingLimits defaults;
  shell::kept_limits.standing.min_nodes = defaults.min_nodes;
  shell::kept_limits.standing.node_depth_cap = 4;
  EXPECT_EQ(think_to_depth(8).depth, 8);
}

// Contempt is for games past their first moves, never for fixed searches (benchmark,
// analysis tools), and favours the side to move at the root.
TEST_F(Search, EvaluationContextOfASearch) {
  settings.contempt = 20;
  shell::kept_limits.standing.depth = 2;
  settings.moves_per_control = 1;
  settings.base_time = 1e7f;
  auto context_after = [](int mode) {
    search::think(mode, search::main_thread->position, standing_limits(), silent_reporter(), 0);
    control.state = 0;
    return search::thread_blocks[0]->eval_context;
  };
  set_up(kStart, {"e2e4", "e7e5", "g1f3", "b8c6", "f1c4"});
  EXPECT_FALSE(context_after(search::kFixedSearch).apply_contempt);
  eval::EvalContext game = context_after(search::kThinking);
  EXPECT_TRUE(game.apply_contempt);
  EXPECT_EQ(game.root_side, position::kBlack);
  EXPECT_EQ(game.contempt, 20);
  set_up(kStart, {"e2e4"});
  EXPECT_FALSE(context_after(search::kThinking).apply_contempt);
}

// The start-up calibration searches 35,000 nodes under limits of its own ("-d 2 -t 0" and
// the like must not shape it) and leaves the settings and clocks as it found them.
TEST_F(Search, CalibrationUsesItsOwnLimitsAndRestoresWhatItChanges) {
  shell::kept_limits.standing.depth = 2;
  settings.base_time = 0;
  settings.moves_per_control = 1;
  shell::kept_limits.standing.min_nodes = 2000000;
  shell::kept_limits.standing.node_depth_cap = 6;
  settings.multipv = 3;
  settings.threads = 4;
  shell::kept_limits.clock[0] = 12.5f;
  shell::kept_limits.clock[1] = 7.25f;
  const base::EngineSettings before = settings;
  const search::StandingLimits standing_before = shell::kept_limits.standing;
  testing::internal::CaptureStdout();
  shell::calibrate();
  const std::string line = testing::internal::GetCapturedStdout();
  EXPECT_EQ(line.rfind("info string et= ", 0), 0u) << line;
  uint64_t nodes = search::thread_blocks[0]->nodes;
  EXPECT_GE(nodes, 35000u);
  EXPECT_LT(nodes, 36000u);
  EXPECT_GT(settings.calibration_nps, 1000.0f);
  EXPECT_FLOAT_EQ(settings.max_elo, static_cast<float>(search::elo_from_nps(settings.calibration_nps)));
  base::EngineSettings after = settings;
  after.calibration_nps = before.calibration_nps;
  after.max_elo = before.max_elo;
  EXPECT_TRUE(after == before);
  EXPECT_TRUE(shell::kept_limits.standing == standing_before);
  EXPECT_EQ(shell::kept_limits.clock[0], 12.5f);
  EXPECT_EQ(shell::kept_limits.clock[1], 7.25f);
}

// ---------------------------------------------------------------------------------------
// Time allocation

class SearchTimeCheck : public EngineState {
 protected:
  void SetUp() override {
    EngineState::SetUp();
    nesk_test::set_up(kStart);  // white to move
    ASSERT_EQ(search::prepare_thread(0, search::main_thread->position), 0);
    settings.uci_mode = 1;
    settings.moves_per_control = 0;  // clock game
    settings.increment = 0;
    settings.ponder = 0;
    settings.move_overhead = 50;
    control.state = search::kThinking;
    shell::kept_limits.clock[position::kWhite] = 60.0f;
    shell::kept_limits.clock[position::kBlack] = 1.0f;
    control.iteration_depth = 0;
    control.published_depth = 0;
    control.published_score = 0;
    control.abort = 0;
  }

  // The check a search makes, under the limits the shell would hand it now.
  static void check_time() {
    control.limits = standing_limits();
    search::time_check();
  }

  // The target computed now, just after the search clock was started.
  static float target_at_start() {
    search::search_timer(1);
    check_time();
    return control.target_time;
  }

  // The target during iteration `depth`, with the adjustments in force.
  static float target_during(int depth) {
    control.iteration_depth = static_cast<int8_t>(depth);
    return target_at_start();
  }
};

// Tolerance for the few microseconds between starting the clock and the check.
constexpr double kSlack = 2e-3;

TEST_F(SearchTimeCheck, SuddenDeathSharesTheClockOverTwentyNineMoves) {
  EXPECT_NEAR(target_at_start(), 60.0 / 29, kSlack);
  EXPECT_EQ(control.abort, 0);

  settings.ponder = 1;
  EXPECT_NEAR(target_at_start(), 60.0 / 29 * 1.25, kSlack);

  // Black's clock when black is to move.
  settings.ponder = 0;
  nesk_test::set_up("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
  shell::kept_limits.clock[position::kBlack] = 29.0f;
  EXPECT_NEAR(target_at_start(), 1.0, kSlack);
}

TEST_F(SearchTimeCheck, IncrementAddsItsShareOfTheClock) {
  shell::kept_limits.clock[position::kWhite] = 10.0f;
  settings.increment = 2.0f;
  EXPECT_NEAR(target_at_start(), 10.0 / 29 + 2.0 * 10 / 14, kSlack);
}

TEST_F(SearchTimeCheck, MovesToGoDividesTheClock) {
  settings.moves_per_control = 40;
  shell::kept_limits.moves_to_go = 9;
  EXPECT_NEAR(target_at_start(), 6.0, kSlack);
  shell::kept_limits.moves_to_go = 1;
  EXPECT_NEAR(target_at_start(), 30.0, kSlack);
  // "movestogo 0" counts as one move: half the clock, never all of it.
  shell::kept_limits.moves_to_go = 0;
  EXPECT_NEAR(target_at_start(), 30.0, kSlack);
}

TEST_F(SearchTimeCheck, ConsoleCountsTheMovesLeftUntilTheNextControl) {
  settings.uci_mode = 0;
  settings.moves_per_control = 40;
  search::main_thread->game.undo_index = 10;  // 40 - 5 = 35 moves left
  EXPECT_NEAR(target_at_start(), 60.0 / 36, kSlack);
  EXPECT_EQ(control.limits.moves_to_go, 35);
  search::main_thread->game.undo_index = 79;  // the last move of the control
  EXPECT_NEAR(target_at_start(), 30.0, kSlack);
  EXPECT_EQ(control.limits.moves_to_go, 1);
  search::main_thread->game.undo_index = 80;  // a new control of 40
  EXPECT_NEAR(target_at_start(), 60.0 / 41, kSlack);
  EXPECT_EQ(control.limits.moves_to_go, 40);
}

TEST_F(SearchTimeCheck, FromTheSecondIterationTheOverheadIsSubtracted) {
  EXPECT_NEAR(target_during(1), 60.0 / 29, kSlack);
  EXPECT_NEAR(target_during(2), 60.0 / 29 - 0.05, kSlack);
  settings.move_overhead = 0;
  EXPECT_NEAR(target_during(2), 60.0 / 29, kSlack);
  EXPECT_EQ(control.abort, 0);
}

TEST_F(SearchTimeCheck, TroubleAtTheRootBuysMoreTime) {
  const double base = 1.0 / 29;
  search::SearchThread& main = *search::thread_blocks[0];
  main.root_status = 1;  // failing low
  EXPECT_NEAR(target_during(2), 60 * (base + 0.2) - 0.05, kSlack);
  main.root_status = 2;  // failing high
  EXPECT_NEAR(target_during(2), 60 * (base + 0.04) - 0.05, kSlack);
  main.root_status = 0;
  EXPECT_NEAR(target_during(2), 60 * base - 0.05, kSlack);
  EXPECT_EQ(control.abort, 0);
}

TEST_F(SearchTimeCheck, ScoreDropAgainstBothPreviousIterationsBuysMoreTime) {
  const double base = 1.0 / 29;
  control.score_by_depth[2] = 100;
  control.score_by_depth[3] = 100;
  control.published_score = 80;  // 20 below both
  EXPECT_NEAR(target_during(4), 60 * (base + 0.04) - 0.05, kSlack);
  control.published_score = 81;
  EXPECT_NEAR(target_during(4), 60 * base - 0.05, kSlack);
  control.published_score = 80;
  control.score_by_depth[2] = 99;  // dropped against one iteration only
  EXPECT_NEAR(target_during(4), 60 * base - 0.05, kSlack);
  // Not before iteration 4.
  control.score_by_depth[1] = 100;
  control.score_by_depth[2] = 100;
  EXPECT_NEAR(target_during(3), 60 * base - 0.05, kSlack);

  // Above 335 the margin is a sixteenth of the score.
  control.published_score = 400;
  control.score_by_depth[3] = 425;
  control.score_by_depth[2] = 500;
  EXPECT_NEAR(target_during(4), 60 * (base + 0.04) - 0.05, kSlack);
  control.score_by_depth[3] = 424;
  EXPECT_NEAR(target_during(4), 60 * base - 0.05, kSlack);
}

TEST_F(SearchTimeCheck, RecentChangeOfTheBestMoveBuysMoreTime) {
  const double base = 1.0 / 29;
  control.best_move_change_depth = 3;
  EXPECT_NEAR(target_during(5), 60 * (base + 0.01) - 0.05, kSlack);
  control.best_move_change_depth = 2;
  EXPECT_NEAR(target_during(5), 60 * base - 0.05, kSlack);
  control.best_move_change_depth = 4;
  EXPECT_NEAR(target_during(4), 60 * base - 0.05, kSlack) << "only from iteration 5";
}

TEST_F(SearchTimeCheck, HelperWithABetterOtherMoveBuysMoreTime) {
  const double base = 1.0 / 29;
  settings.threads = 2;
  ASSERT_EQ(search::prepare_thread(1, search::main_thread->position), 0);
  search::SearchThread& helper = *search::thread_blocks[1];
  control.published_depth = 5;
  control.published_score = 0;
  control.best_move = mv("d2d4");
  helper.iteration_depth = 5;
  helper.root_move = mv("e2e4");
  helper.last_score = 20;
  EXPECT_NEAR(target_during(5), 60 * (base + 0.02) - 0.05, kSlack);
  helper.last_score = 19;
  EXPECT_NEAR(target_during(5), 60 * base - 0.05, kSlack);
  helper.last_score = 20;
  helper.root_move = mv("d2d4");
  EXPECT_NEAR(target_during(5), 60 * base - 0.05, kSlack);
  helper.root_move = mv("e2e4");
  helper.iteration_depth = 4;
  EXPECT_NEAR(target_during(5), 60 * base - 0.05, kSlack);
  // A helper beyond the Threads setting is not asked.
  helper.iteration_depth = 5;
  settings.threads = 1;
  EXPECT_NEAR(target_during(5), 60 * base - 0.05, kSlack);
}

TEST_F(SearchTimeCheck, RootTablebaseResultHalvesTheTarget) {
  control.root_tb_result = 2;
  EXPECT_NEAR(target_during(3), (60.0 / 29 - 0.05) / 2, kSlack);
}

TEST_F(SearchTimeCheck, SingleReplyStopsAtIterationSix) {
  control.single_reply = 1;
  target_during(5);
  EXPECT_EQ(control.abort, 0);
  target_during(6);
  EXPECT_EQ(control.abort, 1);
}

TEST_F(SearchTimeCheck, FlaggedClockStillAllowsAMinimalSearch) {
  shell::kept_limits.clock[position::kWhite] = 0.0f;
  EXPECT_FLOAT_EQ(target_during(2), 0.005f);
  control.iteration_depth = 2;
  search::search_timer(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  check_time();
  EXPECT_EQ(control.abort, 1);
}

TEST_F(SearchTimeCheck, NoStopWhilePonderingButTheFirstIterationHasALimitToo) {
  shell::kept_limits.clock[position::kWhite] = 0.0f;
  control.state = search::kPondering;
  control.iteration_depth = 7;
  search::search_timer(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(10));
  check_time();
  EXPECT_EQ(control.abort, 0);

  // An empty clock stops even the first iteration (a legal move is already published).
  control.state = search::kThinking;
  control.iteration_depth = 1;
  check_time();
  EXPECT_EQ(control.abort, 1);

  // With time on the clock the first iteration may run to five times the base target:
  // 29 s left, 1 s target, so it stops at 5 s but not at 10 ms.
  control.abort = 0;
  shell::kept_limits.clock[position::kWhite] = 29.0f;
  search::search_timer(1);
  check_time();
  EXPECT_EQ(control.abort, 0);
}

TEST_F(SearchTimeCheck, FixedTimePerMoveStopsAtAnyIteration) {
  settings.moves_per_control = 1;
  settings.base_time = 1000.0f;
  shell::kept_limits.clock[position::kWhite] = 3.0f;
  target_during(5);
  EXPECT_FLOAT_EQ(control.target_time, 1000.0f);
  EXPECT_EQ(control.limits.moves_to_go, 1);
  EXPECT_EQ(control.abort, 0);

  settings.base_time = 0.0f;
  target_during(1);
  EXPECT_EQ(control.abort, 1);
  control.abort = 0;
  target_during(2);
  EXPECT_EQ(control.abort, 1);

  control.abort = 0;
  control.state = search::kPondering;
  target_during(4);
  EXPECT_EQ(control.abort, 0);
  // A fixed search (benchmark, tools) obeys it too.
  control.state = search::kFixedSearch;
  target_during(2);
  EXPECT_EQ(control.abort, 1);
}

TEST(SearchStrength, TargetRateSolvesTheEloCurve) {
  base::EngineSettings saved = settings;
  settings.calibration_nps = 1e6f;
  settings.limit_strength = 1;
  settings.uci_elo = 2000;
  search::set_strength_limit();
  // 850 + 250 L - 5 L^2 = 2000: L = 25 - sqrt(395) = 5.1254, e^L = 168.2.
  EXPECT_NEAR(control.target_nps, 168.2, 1.0);
  EXPECT_EQ(control.nps_limited, 1);

  // 3349 needs about 995,000 nodes per second: within 10 % of the machine, no throttle.
  settings.uci_elo = 3349;
  search::set_strength_limit();
  EXPECT_NEAR(control.target_nps, 995500, 6000);
  EXPECT_EQ(control.nps_limited, 0);

  settings.limit_strength = 0;
  search::set_strength_limit();
  EXPECT_FLOAT_EQ(control.target_nps, 1e6f);
  EXPECT_EQ(control.nps_limited, 0);
  settings = saved;
  search::set_default_control(control);
}

}  // namespace
