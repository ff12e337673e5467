// The rules of the search-driven tools that need no search: how a suite's answers and
// move keys are judged, when a self-play game is adjudicated, and which of its positions
// are written with which result.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"
#include "tools/epd.h"
#include "tools/epd_suite.h"
#include "tools/selfplay.h"

namespace {

using namespace tools;
using nesk_test::mv;
using nesk_test::set_up;

EpdLine epd_of(const std::string& line) {
  EpdLine epd;
  EXPECT_TRUE(read_epd_line(line, epd));
  return epd;
}

TEST(EpdSuite, BestAndAvoidMoveAnswers) {
  const position::Position& pos = set_up(position::kStartFen);
  std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ";
  // Moves written with a blank between them run together into one that names nothing.
  EpdLine blank = epd_of(start + "bm Nf3 e4;");
  EXPECT_FALSE(answer_is_correct(pos, blank, mv("g1f3")));
  EXPECT_FALSE(answer_is_correct(pos, blank, mv("e2e4")));
  EpdLine comma = epd_of(start + "bm Nf3, e4;");
  EXPECT_TRUE(answer_is_correct(pos, comma, mv("g1f3")));
  EXPECT_TRUE(answer_is_correct(pos, comma, mv("e2e4")));
  EXPECT_FALSE(answer_is_correct(pos, comma, mv("d2d4")));
  EXPECT_TRUE(answer_is_correct(pos, epd_of(start + "bm \"g1f3\";"), mv("g1f3")));

  EpdLine avoid = epd_of(start + "am e4;");
  EXPECT_FALSE(answer_is_correct(pos, avoid, mv("e2e4")));
  EXPECT_TRUE(answer_is_correct(pos, avoid, mv("d2d4")));
  // "bm" decides when both are there; an "am" that names no move is no answer at all.
  EXPECT_FALSE(answer_is_correct(pos, epd_of(start + "bm d4; am e4;"), mv("c2c4")));
  EXPECT_FALSE(answer_is_correct(pos, epd_of(start + "am Ke4;"), mv("d2d4")));
  EXPECT_FALSE(answer_is_correct(pos, epd_of(start + "id \"none\";"), mv("d2d4")));

  const position::Position& mate = set_up("kbK5/pp6/1P6/8/8/8/8/R7 w - -");
  EXPECT_TRUE(answer_is_correct(mate, epd_of("kbK5/pp6/1P6/8/8/8/8/R7 w - - bm Ra6!;"), mv("a1a6")));
}

TEST(EpdSuite, MoveKeyScoresTheMoveFoundAgainstTheBest) {
  const position::Position& pos = set_up(position::kStartFen);
  std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ";
  EpdLine epd = epd_of(start + "c0 \"e4=10, d4=8\";");
  MoveKeyScore d4 = move_key_score(pos, epd.operand[kOpC0], mv("d2d4"));
  EXPECT_EQ(d4.score, 8);
  EXPECT_EQ(d4.maximum, 10);
  MoveKeyScore other = move_key_score(pos, epd.operand[kOpC0], mv("g1f3"));
  EXPECT_EQ(other.score, 0);
  EXPECT_EQ(other.maximum, 10);
  // The maximum is never below 0; a comment without "=" is no key.
  EXPECT_EQ(move_key_score(pos, "e4=-3,d4=-5", mv("e2e4")).maximum, 0);
  EXPECT_EQ(move_key_score(pos, "e4=-3,d4=-5", mv("d2d4")).score, -5);
  MoveKeyScore none = move_key_score(pos, "\"bestmovee4\"", mv("e2e4"));
  EXPECT_EQ(none.score + none.maximum, 0);
}

TEST(Selfplay, Adjudication) {
  // Scores are the mover's; a game goes on while no rule ends it.
  EXPECT_FALSE(adjudicate(2999, 0, 100).ends);
  EXPECT_FALSE(adjudicate(-1300, 900, 100).ends);  // the average must exceed 900
  EXPECT_FALSE(adjudicate(1200, 901, 249).ends);
  Adjudication mate = adjudicate(3000, 0, 30);
  EXPECT_TRUE(mate.ends);
  EXPECT_EQ(mate.mover_result, 1.0);
  Adjudication lost = adjudicate(-1201, 901, 30);
  EXPECT_TRUE(lost.ends);
  EXPECT_EQ(lost.mover_result, 0.0);
  // A long game ends drawn unless a side is clearly ahead.
  EXPECT_EQ(adjudicate(600, 0, 250).mover_result, 0.5);
  EXPECT_EQ(adjudicate(-600, 0, 250).mover_result, 0.5);
  EXPECT_EQ(adjudicate(601, 0, 250).mover_result, 1.0);
  EXPECT_EQ(adjudicate(-601, 0, 250).mover_result, 0.0);
}

uint32_t always_heads() { return 0; }
uint32_t always_tails() { return 50; }
uint32_t alternate() {
  static uint32_t n = 0;
  return n++ * 149;  // 0, 49, 98, 47, ...: heads, heads, tails, heads
}

TEST(Selfplay, WrittenPositionsAndTheirResults) {
  auto record = [](int i) {
    char text[32];
    std::snprintf(text, sizeof text, "p%d ce %d;", i, i);
    return std::string(text);
  };
  std::vector<SelfplayPly> plies(20);
  for (int i = 0; i < 20; ++i) {
    plies[i].side = i % 2;
    if (i != 10) plies[i].record = record(i);
  }
  const double black_won[2] = {0.0, 1.0};
  std::string all = selfplay_game_lines(plies, black_won, 100, always_heads);
  std::string expected;
  for (int i = 8; i < 20; ++i)
    if (i != 10) expected += record(i) + (i % 2 ? " gr 1.0;\n" : " gr 0.0;\n");
  EXPECT_EQ(all, expected);
  EXPECT_EQ(selfplay_game_lines(plies, black_won, 100, always_tails), "");
  EXPECT_EQ(selfplay_game_lines(plies, black_won, 2, always_heads), "p8 ce 8; gr 0.0;\np9 ce 9; gr 1.0;\n");
  const double drawn[2] = {0.5, 0.5};
  EXPECT_EQ(selfplay_game_lines(plies, drawn, 3, alternate), "p8 ce 8; gr 0.5;\np9 ce 9; gr 0.5;\np12 ce 12; gr 0.5;\n");

  plies.pop_back();  // 19 plies: too short to keep
  EXPECT_EQ(selfplay_game_lines(plies, black_won, 100, always_heads), "");
}

}  // namespace
