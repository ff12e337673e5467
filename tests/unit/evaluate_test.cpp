// The evaluation entry point: elementary endings, the king-and-pawn table, the cache,
// contempt and noise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "eval/evaluate.h"
#include "eval/kpk.h"
#include "eval/params.h"
#include "position/bitboard.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "search/control.h"
#include "base/settings.h"

namespace {

using position::kBlack;
using position::kWhite;

class EvaluateTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    position::init_tables();
    position::init_zobrist();
    eval::build_kpk_table();
    eval::register_eval_params();
    eval::load_embedded_params();
  }

  void SetUp() override {
    base::set_default_settings(base::settings);
    context_ = eval::EvalContext{};
    context_.use_network = false;
    thread_ = search::allocate_thread(0);
    ASSERT_NE(thread_, nullptr);
  }
  void TearDown() override {
    search::free_thread(thread_);
  }

  int eval(const char* fen, int ply = 1, int in_check = 0) {
    std::string text(fen);
    EXPECT_EQ(position::set_position(thread_->position, text.c_str()), 0) << fen;
    return evaluate(thread_->position.side, ply, in_check);
  }
  int evaluate(int side, int ply, int in_check = 0) {
    return eval::evaluate(thread_->position, thread_->eval, context_, side, ply, in_check);
  }

  search::SearchThread* thread_ = nullptr;
  eval::EvalContext context_;
};

int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Entry of the king-and-pawn table for a white pawn on files a-d.
uint8_t kpk(bool defender_to_move, const char* pawn, const char* strong, const char* weak) {
  int p = sq(pawn);
  return eval::kpk_table[(defender_to_move ? 131072 : 0) + 4096 * (p % 8 + 4 * (p / 8)) + 64 * sq(strong) + sq(weak)];
}

TEST_F(EvaluateTest, KingAndPawnTableKnowsTheClassicResults) {
  // A pawn the defending king cannot catch queens.
  EXPECT_EQ(kpk(false, "d6", "a1", "h1"), eval::kKpkWin);
  EXPECT_EQ(kpk(true, "d6", "a1", "h1"), eval::kKpkWin);
  // King on the sixth rank in front of its pawn wins whoever moves.
  EXPECT_EQ(kpk(false, "d5", "d6", "d8"), eval::kKpkWin);
  EXPECT_EQ(kpk(true, "d5", "d6", "d8"), eval::kKpkWin);
  // With the defender holding the opposition it is a draw; without it, a win.
  EXPECT_EQ(kpk(false, "d4", "d5", "d7"), eval::kKpkDraw);
  EXPECT_EQ(kpk(true, "d4", "d5", "d7"), eval::kKpkWin);
  // The defender takes an unprotected pawn.
  EXPECT_EQ(kpk(true, "d4", "a1", "d5"), eval::kKpkDraw);
  EXPECT_EQ(kpk(false, "d4", "a1", "d5"), eval::kKpkDraw);
  // A rook pawn with the defending king in the corner is a draw.
  EXPECT_EQ(kpk(false, "a5", "c4", "a8"), eval::kKpkDraw);
  EXPECT_EQ(kpk(true, "a5", "c4", "a8"), eval::kKpkDraw);
  // Positions that cannot occur hold no win: kings touching, defender in check with the
  // pawn side to move.
  EXPECT_NE(kpk(false, "d4", "e5", "e6"), eval::kKpkWin);
  EXPECT_NE(kpk(false, "d4", "a1", "e5"), eval::kKpkWin);
}

TEST_F(EvaluateTest, KingAndPawnScoreIsTheSameSeenFromEitherColourOrWing) {
  int white_pawn = eval("8/8/3k4/8/3PK3/8/8/8 w - - 0 1");
  int black_pawn = eval("8/8/8/3pk3/8/3K4/8/8 b - - 0 1");
  int other_wing = eval("8/8/4k3/8/3KP3/8/8/8 w - - 0 1");
  EXPECT_EQ(white_pawn, black_pawn);
  EXPECT_EQ(white_pawn, other_wing);
  EXPECT_EQ(eval("8/8/3k4/8/3PK3/8/8/8 b - - 0 1"), eval("8/8/8/3pk3/8/3K4/8/8 w - - 0 1"));
}

TEST_F(EvaluateTest, WonKingAndPawnEndingsScoreAboveEightHundred) {
  int won = eval("8/8/3P4/8/8/8/8/K6k w - - 0 1");
  EXPECT_GT(won, 800);
  EXPECT_EQ(eval("8/8/3P4/8/8/8/8/K6k b - - 0 1"), eval("k6K/8/8/8/8/3p4/8/8 w - - 0 1"));
  EXPECT_LT(eval("8/8/3P4/8/8/8/8/K6k b - - 0 1"), -800);
  int drawn = eval("k7/8/8/P7/2K5/8/8/8 w - - 0 1");
  EXPECT_LT(drawn, 800);
}

TEST_F(EvaluateTest, DeadDrawsAreZero) {
  EXPECT_EQ(eval("8/8/4k3/8/8/3K4/8/8 w - - 0 1"), 0);             // bare kings
  EXPECT_EQ(eval("8/8/4k3/8/8/3KNN2/8/8 w - - 0 1"), 0);           // two knights
  EXPECT_EQ(eval("8/8/4kb2/8/8/3KN3/8/8 w - - 0 1"), 0);           // minor against minor
  EXPECT_EQ(eval("8/8/4k3/8/8/3KB3/8/8 b - - 0 1"), 0);            // a lone minor
}

TEST_F(EvaluateTest, MatingScoreDrivesTheKingToTheEdge) {
  int corner = eval("k7/8/8/8/8/8/7Q/4K3 w - - 0 1");
  int centre = eval("8/8/8/3k4/8/8/7Q/4K3 w - - 0 1");
  EXPECT_GT(corner, centre);
  EXPECT_GT(centre, 0);
  EXPECT_EQ(eval("k7/8/8/8/8/8/7Q/4K3 b - - 0 1"), -corner);
  EXPECT_EQ(eval("k7/8/8/8/8/8/8/1QQQKQQ1 w - - 0 1"), 3000);
}

TEST_F(EvaluateTest, BishopAndKnightMateAimsAtTheBishopsCorner) {
  // Light-squared bishop on f1: the corners to drive the king to are h1 and a8.
  int right_corner = eval("k7/8/8/8/8/8/8/3K1BN1 w - - 0 1");
  int wrong_corner = eval("7k/8/8/8/8/8/8/3K1BN1 w - - 0 1");
  EXPECT_GT(right_corner, wrong_corner);
  // Dark-squared bishop on c1: a1 and h8.
  EXPECT_GT(eval("7k/8/8/8/8/8/8/2BKN3 w - - 0 1"), eval("k7/8/8/8/8/8/8/2BKN3 w - - 0 1"));
  EXPECT_GT(right_corner, 900);
}

TEST_F(EvaluateTest, InCheckIsMinusThreeThousand) {
  EXPECT_EQ(eval("4k3/8/8/8/8/8/8/4K2R b K - 0 1", 3, 1), -3000);
}

TEST_F(EvaluateTest, CacheAnswersFromPlyThreeOn) {
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
  int first = eval(fen, 3);
  uint64_t hits = thread_->eval.cache_hits;
  EXPECT_EQ(evaluate(thread_->position.side, 3), first);
  EXPECT_EQ(thread_->eval.cache_hits, hits + 1);
  EXPECT_EQ(evaluate(thread_->position.side, 2), first);
  EXPECT_EQ(thread_->eval.cache_hits, hits + 1);
}

// A cached value carries neither contempt nor noise: a later search with another root
// side or seed gets its own terms on top of the same stored value.
TEST_F(EvaluateTest, CacheKeepsTheValueBeforeContemptAndNoise) {
  const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
  int plain = eval(fen, 3);
  context_.apply_contempt = true;
  context_.contempt = 100;
  context_.root_side = kWhite;
  int favoured = evaluate(kWhite, 3);
  uint64_t hits = thread_->eval.cache_hits;
  context_.root_side = kBlack;
  int opposed = evaluate(kWhite, 3);
  EXPECT_EQ(thread_->eval.cache_hits, hits + 1);
  EXPECT_EQ(favoured - plain, plain - opposed);
  EXPECT_GT(favoured, plain);
  context_ = eval::EvalContext{};
  context_.use_network = false;
  EXPECT_EQ(evaluate(kWhite, 3), plain);
  EXPECT_EQ(thread_->eval.cache_hits, hits + 2);
}

TEST_F(EvaluateTest, ContemptFollowsTheRootSideAndThePhase) {
  const char* fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
  int plain = eval(fen, 1);
  context_.apply_contempt = true;
  context_.root_side = kWhite;
  EXPECT_EQ(evaluate(kWhite, 1) - plain, 15);  // full material, contempt 0
  context_.root_side = kBlack;
  EXPECT_EQ(evaluate(kWhite, 1) - plain, -15);
  context_.contempt = 100;
  context_.root_side = kWhite;
  EXPECT_EQ(evaluate(kWhite, 1) - plain, 115);
  // Kings and four pawns: phase 800, below the midpoint, so the root side loses a little.
  const char* pawns = "4k3/pp6/8/8/8/8/PP6/4K3 w - - 0 1";
  context_.contempt = 0;
  context_.apply_contempt = false;
  int pawn_plain = eval(pawns, 1);
  context_.apply_contempt = true;
  EXPECT_EQ(evaluate(kWhite, 1) - pawn_plain, 15 * (800 - 4096) / 4096);
}

TEST_F(EvaluateTest, NoiseIsBoundedAndRepeatable) {
  const char* fens[] = {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
                        "4k3/pp6/8/8/8/8/PP6/4K3 w - - 0 1", "8/5k2/8/3r4/8/2B5/5K2/8 b - - 0 1"};
  for (const char* fen : fens) {
    context_.noise = 0;
    int plain = eval(fen, 1);
    context_.noise = 71;
    for (uint64_t seed : {0ULL, 12345ULL, 0xFFFFFFFF89ABCDEFULL}) {
      context_.noise_seed = seed;
      int noisy = eval(fen, 1);
      EXPECT_LE(std::abs(noisy - plain), 35) << fen;
      EXPECT_EQ(eval(fen, 1), noisy);
    }
  }
}

}  // namespace
