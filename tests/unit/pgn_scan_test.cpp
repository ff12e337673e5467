// PGN to EPD: the evaluation a move's comment gives, the game parser, and which positions
// of a game are written with which labels.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"
#include "tools/pgn_scan.h"

namespace {

using namespace tools;

TEST(PgnComments, EvaluationFromAMatchManagersComment) {
  EXPECT_EQ(comment_evaluation("+0.35/12 1.2s"), 35);
  EXPECT_EQ(comment_evaluation("-0.29/10 0.5s"), -29);  // as the decimal reads, not 28
  EXPECT_EQ(comment_evaluation("0.00/31 48s"), 0);
  EXPECT_EQ(comment_evaluation("-M7/30 0.1s"), -9900);
  EXPECT_EQ(comment_evaluation("+M12/40"), 9900);
  EXPECT_EQ(comment_evaluation("+123.45/20"), 9000);
  EXPECT_EQ(comment_evaluation("-99.99/20"), -9000);
  EXPECT_EQ(comment_evaluation("book"), 0);
  EXPECT_EQ(comment_evaluation("book/3"), 0);
  EXPECT_EQ(comment_evaluation("+0.35 no slash"), 0);
  EXPECT_EQ(comment_evaluation("+1/2"), 0);  // two characters before the slash
}

TEST(PgnParser, MovesTagsAndWhatIsNoMove) {
  PgnGame game;
  parse_pgn_game(game, "[Event \"x]y\"] [Result \"0-1\"] [FEN \"4k3/P7/8/8/8/8/8/4K3 w - - 0 1\"] "
                       "1. a8=Q+ {+9.00/5 0.1s} (1. Kd2 {-0.50/3} (1. Ke2) Kd7) 1... Kd7 $1 {+M3/9} 2.Qb7+ "
                       "{book} Ke6!? {a comment} 0-1");
  EXPECT_EQ(game.number, 1);
  EXPECT_EQ(game.result, -1);
  EXPECT_EQ(game.fen, "4k3/P7/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(game.moves, (std::vector<std::string>{"a8Q", "Kd7", "Qb7", "Ke6"}));
  EXPECT_EQ(game.evaluations, (std::vector<int>{900, 9900, 0, 0}));
  EXPECT_FALSE(game.skipped);

  parse_pgn_game(game, "[Result \"1-0\"] [Termination \"time forfeit\"] 1. e4 e5");
  EXPECT_EQ(game.number, 2);
  EXPECT_TRUE(game.skipped);
  parse_pgn_game(game, "[Annotator \"x eval=1\"] [Result \"1/2-1/2\"] 1. e4 e5");
  EXPECT_EQ(game.eval_flag, 1);
  EXPECT_EQ(game.result, 0);
  EXPECT_TRUE(game.fen.empty());
}

std::string epd_of(const std::string& text, bool* ok = nullptr) {
  nesk_test::engine_thread();
  PgnGame game;
  parse_pgn_game(game, text);
  std::string out;
  bool done = pgn_game_to_epd(game, out);
  if (ok) *ok = done;
  return out;
}

TEST(PgnToEpd, PositionsFromThe21stPlyWithTheMoversLabels) {
  std::string twenty = "1. Nf3 Nf6 2. Ng1 Ng8 3. Nf3 Nf6 4. Ng1 Ng8 5. Nf3 Nf6 6. Ng1 Ng8 7. Nf3 Nf6 8. Ng1 Ng8 "
                       "9. Nf3 Nf6 10. Ng1 Ng8";
  // Exactly 20 plies: only the position after the last move, scored 0.
  EXPECT_EQ(epd_of("[Result \"1-0\"] " + twenty), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 0; gr 1.0;\n");
  EXPECT_EQ(epd_of("[Result \"1-0\"] " + twenty.substr(0, twenty.rfind(' '))), "");
  // Black to move gets the result turned round, and the evaluation of its own next move.
  EXPECT_EQ(epd_of("[Result \"1-0\"] " + twenty + " 11. e4 {+0.35/12 1.2s} c5 {-0.29/11 1.0s} 1-0"),
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 35; gr 1.0;\n"
            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 ce -29; gr 0.0;\n"
            "rnbqkbnr/pp1ppppp/8/2p5/4P3/8/PPPP1PPP/RNBQKBNR w KQkq c6 ce 0; gr 1.0;\n");
  // With its own FEN a game is written from the 9th position; a promotion reads as e8Q.
  std::string setup = "[FEN \"4k3/8/8/8/8/8/P7/4K3 w - - 0 1\"] [Result \"1/2-1/2\"] "
                      "1. a4 Kd7 2. a5 Kc6 3. a6 Kb6 4. a7 Kc7 5. a8=Q {+9.00/5} Kd6";
  EXPECT_EQ(epd_of(setup), "8/P1k5/8/8/8/8/8/4K3 w - - ce 900; gr 0.5;\n"
                           "Q7/2k5/8/8/8/8/8/4K3 b - - ce 0; gr 0.5;\n"
                           "Q7/8/3k4/8/8/8/8/4K3 w - - ce 0; gr 0.5;\n");
  // The eval flag writes bare FENs.
  EXPECT_EQ(epd_of("[Annotator \"eval=1\"] " + twenty), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n");
  // A move that does not read ends the game: what came before it stays.
  bool ok = true;
  testing::internal::CaptureStdout();
  EXPECT_EQ(epd_of(twenty + " 11. e4 Ke7", &ok), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 0; gr 0.5;\n"
                                                 "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 ce 0; gr 0.5;\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "can't parse move 11. Ke7 in game #1  rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3\n");
  EXPECT_FALSE(ok);
}

}  // namespace
