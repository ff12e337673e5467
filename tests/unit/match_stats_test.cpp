// The match runner's arithmetic and rules, without processes: statistics against values
// worked out by hand, clocks, the referee's board, report lines and the command line.
#include <gtest/gtest.h>

#include <cmath>

#include "match/board.h"
#include "match/config.h"
#include "match/game.h"
#include "match/pgn.h"
#include "match/scoreboard.h"
#include "match/stats.h"
#include "match/time_control.h"
#include "match/uci_engine.h"
#include "test_support.h"

namespace {

using namespace match;

// 60 wins, 40 losses, 100 draws in 200 games:
//   score s = (60 + 100/2) / 200 = 0.55
//   Elo = -400 log10(1/0.55 - 1) = -400 log10(0.818182) = 34.860
//   variance per game = (60 (1-0.55)^2 + 100 (0.5-0.55)^2 + 40 (0-0.55)^2) / 200
//                     = (12.15 + 0.25 + 12.1) / 200 = 0.1225
//   95% half-width of s = 1.959964 sqrt(0.1225 / 200) = 0.048508
//   interval: Elo(0.501492) = 1.038 .. Elo(0.598508) = 69.356
TEST(MatchStats, EloAndIntervalFromGameResults) {
  Trinomial r;
  r.wins = 60, r.losses = 40, r.draws = 100;
  EloEstimate e = estimate_elo(r);
  ASSERT_TRUE(e.valid);
  EXPECT_NEAR(e.score, 0.55, 1e-12);
  EXPECT_NEAR(e.elo, 34.860, 1e-3);
  EXPECT_NEAR(e.lower, 1.038, 1e-3);
  EXPECT_NEAR(e.upper, 69.356, 1e-3);
  EXPECT_NEAR(score_to_elo(elo_to_score(-123.4)), -123.4, 1e-9);
  EXPECT_FALSE(estimate_elo(Trinomial{}).valid);
}

// Same results, SPRT elo0 = 0, elo1 = 10 (logistic):
//   s0 = 0.5, s1 = 1 / (1 + 10^(-10/400)) = 0.514387
//   LLR = N (s1 - s0) (2 s - s0 - s1) / (2 variance)
//       = 200 * 0.014387 * (1.1 - 1.014387) / 0.245 = 1.00549
// Bounds with alpha = beta = 0.05: ln(0.05/0.95) = -2.94444, ln(0.95/0.05) = 2.94444;
// with alpha = 0.05, beta = 0.1: ln(0.1/0.95) = -2.25129, ln(0.9/0.05) = 2.89037.
TEST(MatchStats, TrinomialLlrAndBounds) {
  Trinomial r;
  r.wins = 60, r.losses = 40, r.draws = 100;
  SprtSetup setup{0, 10, 0.05, 0.05};
  EXPECT_NEAR(sprt_llr(r, setup), 1.00549, 1e-5);
  EXPECT_NEAR(sprt_lower_bound(setup), -2.94444, 1e-5);
  EXPECT_NEAR(sprt_upper_bound(setup), 2.94444, 1e-5);
  SprtSetup uneven{0, 10, 0.05, 0.1};
  EXPECT_NEAR(sprt_lower_bound(uneven), -2.25129, 1e-5);
  EXPECT_NEAR(sprt_upper_bound(uneven), 2.89037, 1e-5);
  EXPECT_EQ(sprt_verdict(1.0, setup), SprtVerdict::kContinue);
  EXPECT_EQ(sprt_verdict(3.0, setup), SprtVerdict::kAcceptH1);
  EXPECT_EQ(sprt_verdict(-3.0, setup), SprtVerdict::kAcceptH0);
  // Twice the games at the same rates: twice the evidence.
  Trinomial twice;
  twice.wins = 120, twice.losses = 80, twice.draws = 200;
  EXPECT_NEAR(sprt_llr(twice, setup), 2 * 1.00549, 1e-4);
}

// 100 pairs by points 0, 0.5, 1, 1.5, 2: 5, 20, 50, 15, 10. A pair is one sample of
// mean points per game x = 0, 0.25, 0.5, 0.75, 1:
//   mean = (20*0.25 + 50*0.5 + 15*0.75 + 10*1) / 100 = 0.5125
//   variance = (5*0.5125^2 + 20*0.2625^2 + 50*0.0125^2 + 15*0.2375^2 + 10*0.4875^2) / 100
//            = (1.313281 + 1.378125 + 0.007813 + 0.846094 + 2.376563) / 100 = 0.0592188
//   LLR (0, 10) = 100 * 0.014387 * (1.025 - 1.014387) / (2 * 0.0592188) = 0.128919
//   Elo = Elo(0.5125) = 8.688; half-width 1.959964 sqrt(0.0592188/100) = 0.047696,
//   interval Elo(0.464804) .. Elo(0.560196) = -24.497 .. 42.032
TEST(MatchStats, PentanomialLlrAndInterval) {
  Pentanomial p;
  const int64_t counts[5] = {5, 20, 50, 15, 10};
  for (int i = 0; i < 5; ++i) p.counts[i] = counts[i];
  EXPECT_NEAR(sprt_llr(p, SprtSetup{0, 10, 0.05, 0.05}), 0.128919, 1e-5);
  EloEstimate e = estimate_elo(p);
  ASSERT_TRUE(e.valid);
  EXPECT_NEAR(e.elo, 8.688, 1e-3);
  EXPECT_NEAR(e.lower, -24.497, 1e-3);
  EXPECT_NEAR(e.upper, 42.032, 1e-3);
}

TEST(MatchStats, ScoreboardPairsGamesOfOneRound) {
  Scoreboard board("new", "old", true);
  board.add(GameResult::kWhiteWins, true, 0);   // new wins as white
  board.add(GameResult::kDraw, true, 1);        // round 1 first game: a draw
  board.add(GameResult::kWhiteWins, false, 0);  // old wins as white: round 0 is 1 point
  board.add(GameResult::kBlackWins, false, 1);  // new wins as black: round 1 is 1.5 points
  EXPECT_EQ(board.results().wins, 2);
  EXPECT_EQ(board.results().losses, 1);
  EXPECT_EQ(board.results().draws, 1);
  const int64_t expected[5] = {0, 0, 1, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(board.pair_results().counts[i], expected[i]) << i;
  EXPECT_EQ(board.score_line(), "Score of new vs old: 2 - 1 - 1  [0.625] 4");
  EXPECT_NE(board.sprt_line(SprtSetup{0, 10, 0.05, 0.05}).find("[-2.94, 2.94] continuing"), std::string::npos);
}

TEST(MatchClock, IncrementMarginAndPeriods) {
  Limits limits;
  ASSERT_TRUE(parse_time_control("8+0.08", limits));
  EXPECT_EQ(limits.base_ms, 8000);
  EXPECT_EQ(limits.increment_ms, 80);
  EXPECT_EQ(pgn_time_control(limits), "8+0.08");
  limits.margin_ms = 50;
  Clock clock(limits);
  EXPECT_TRUE(clock.charge(3000));
  EXPECT_EQ(clock.remaining_ms(), 5080);
  EXPECT_TRUE(clock.charge(5120));  // 40 ms over: inside the margin
  EXPECT_EQ(clock.remaining_ms(), 80);
  EXPECT_FALSE(clock.charge(131));  // 51 ms over
  EXPECT_EQ(clock.wait_limit_ms(1000, 60000), 80 + 50 + 1000);

  Limits periods;
  ASSERT_TRUE(parse_time_control("2/1:30", periods));
  EXPECT_EQ(periods.base_ms, 90000);
  Clock period_clock(periods);
  EXPECT_EQ(period_clock.moves_to_go(), 2);
  period_clock.charge(10000);
  period_clock.charge(10000);
  EXPECT_EQ(period_clock.remaining_ms(), 160000);
  EXPECT_EQ(period_clock.moves_to_go(), 2);
  EXPECT_FALSE(parse_time_control("8+x", limits));
  EXPECT_FALSE(parse_time_control("0", limits));
}

TEST(MatchBoard, RulesEndsAndNotation) {
  nesk_test::engine_thread();
  Board board;
  position::Move move;
  EXPECT_FALSE(board.read_coordinate_move("e4", move));  // only coordinates from engines
  EXPECT_FALSE(board.read_coordinate_move("e2e5", move));
  // Knights out and back twice: the start position a third time.
  for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1"}) {
    ASSERT_TRUE(board.read_coordinate_move(m, move)) << m;
    board.play(move);
    EXPECT_EQ(board.rule_end(), RuleEnd::kNone) << m;
  }
  ASSERT_TRUE(board.read_coordinate_move("f6g8", move));
  board.play(move);
  EXPECT_EQ(board.rule_end(), RuleEnd::kRepetition);

  ASSERT_TRUE(board.set_up("6k1/5ppp/8/8/8/8/8/R3K2R w KQ - 0 30"));
  ASSERT_TRUE(board.read_coordinate_move("e1g1", move));
  EXPECT_EQ(board.play(move), "O-O");
  EXPECT_EQ(board.fen(), "6k1/5ppp/8/8/8/8/8/R4RK1 b - - 1 30");
  ASSERT_TRUE(board.read_coordinate_move("g8h8", move));
  board.play(move);
  ASSERT_TRUE(board.read_coordinate_move("a1a8", move));
  EXPECT_EQ(board.play(move), "Ra8#");
  EXPECT_EQ(board.rule_end(), RuleEnd::kCheckmate);

  ASSERT_TRUE(board.set_up("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1"));
  EXPECT_EQ(board.rule_end(), RuleEnd::kStalemate);
  ASSERT_TRUE(board.set_up("4k3/8/8/8/8/8/6P1/4K3 w - - 99 80"));
  ASSERT_TRUE(board.read_coordinate_move("e1d1", move));
  board.play(move);
  EXPECT_EQ(board.rule_end(), RuleEnd::kFiftyMoves);

  // Dead positions: a lone minor piece, bishops all on one colour; not bishops on both
  // colours, nor two knights.
  ASSERT_TRUE(board.set_up("4k3/8/8/8/8/8/8/2B1K3 w - - 0 1"));
  EXPECT_EQ(board.rule_end(), RuleEnd::kInsufficientMaterial);
  ASSERT_TRUE(board.set_up("4k3/8/3b4/8/8/8/8/2B1K3 w - - 0 1"));  // d6 and c1: both dark
  EXPECT_EQ(board.rule_end(), RuleEnd::kInsufficientMaterial);
  ASSERT_TRUE(board.set_up("4k3/8/2b5/8/8/8/8/2B1K3 w - - 0 1"));  // c6 light, c1 dark
  EXPECT_EQ(board.rule_end(), RuleEnd::kNone);
  ASSERT_TRUE(board.set_up("4k3/8/8/8/8/8/8/1NN1K3 w - - 0 1"));
  EXPECT_EQ(board.rule_end(), RuleEnd::kNone);
  EXPECT_TRUE(board.cannot_mate(position::kBlack));
  EXPECT_FALSE(board.cannot_mate(position::kWhite));
}

TEST(MatchReports, InfoLinesCommentsAndPgn) {
  EngineScore score;
  read_info_line("info depth 12 seldepth 18 score cp 35 nodes 1000 pv e2e4 e7e5", score);
  EXPECT_EQ(move_comment(score, 1200), "+0.35/12 1.2s");
  read_info_line("info depth 13 score cp 90 lowerbound nodes 2000", score);
  EXPECT_EQ(move_comment(score, 85), "+0.35/13 0.085s");
  read_info_line("info depth 20 score mate -3", score);
  EXPECT_EQ(move_comment(score, 2000), "-M3/20 2.0s");
  read_info_line("info string score cp 500", score);
  EXPECT_EQ(score.value, -3);

  GameRecord game;
  game.white = "new";
  game.black = "old";
  game.start_fen = "4k3/8/8/8/8/8/4P3/4K3 b - - 0 40";
  game.first_fullmove = 40;
  game.black_starts = true;
  game.moves = {{"Kd7", "-1.50/9 0.1s"}, {"e4", "+1.60/10 0.2s"}};
  game.result = GameResult::kWhiteWins;
  game.reason = "Black resigns";
  game.termination = "adjudication";
  game.time_control = "8+0.08";
  game.round = 3;
  std::string pgn = format_pgn(game, "Test", "2024.01.02");
  EXPECT_NE(pgn.find("[Round \"3\"]\n[White \"new\"]\n[Black \"old\"]\n[Result \"1-0\"]\n[FEN \"4k3/8/8/8/8/8/4P3/4K3 b - - 0 40\"]"),
            std::string::npos);
  EXPECT_NE(pgn.find("\n\n40... Kd7 {-1.50/9 0.1s} 41. e4 {+1.60/10 0.2s} {Black resigns} 1-0\n\n"), std::string::npos);
}

TEST(MatchCommandLine, EngineGroupsAndErrors) {
  MatchConfig c;
  std::string error;
  std::vector<std::string> args = {"-engine", "cmd=./a -x", "name=new", "option.Hash=16", "-engine", "cmd=./b",
                                   "tc=10+0.1", "-each", "tc=8+0.08", "timemargin=20", "-games", "2", "-rounds", "50",
                                   "-sprt", "elo0=0", "elo1=10", "-draw", "movenumber=40", "movecount=8", "score=10"};
  ASSERT_TRUE(parse_command_line(args, c, error)) << error;
  EXPECT_EQ(c.engines[0].command, (std::vector<std::string>{"./a", "-x"}));
  EXPECT_EQ(c.engines[0].options.at(0), (std::pair<std::string, std::string>{"Hash", "16"}));
  EXPECT_EQ(c.engines[0].limits.base_ms, 8000);
  EXPECT_EQ(c.engines[1].limits.base_ms, 10000);  // its own setting wins over -each
  EXPECT_EQ(c.engines[1].limits.margin_ms, 20);
  EXPECT_EQ(c.engines[1].name, "b");
  EXPECT_TRUE(c.sprt_on);
  EXPECT_EQ(c.sprt.elo1, 10);
  EXPECT_EQ(c.draw.move_count, 8);

  MatchConfig bad;
  EXPECT_FALSE(parse_command_line({"-engine", "cmd=./a", "nodes=5"}, bad, error));
  EXPECT_FALSE(parse_command_line({"-engine", "cmd=./a", "-engine", "cmd=./b"}, bad, error));
  EXPECT_NE(error.find("no tc="), std::string::npos);
  EXPECT_FALSE(parse_command_line({"-engine", "cmd=./a", "-engine", "cmd=./b", "-each", "st=1", "-games", "3"}, bad, error));
}

}  // namespace
