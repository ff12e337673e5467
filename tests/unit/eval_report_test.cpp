// The console's evaluation reports: the breakdown must add up to the evaluation it
// explains, name the squares the evaluation saw, list the weights and tables as loaded;
// the network listing must show each unit's share as the forward pass weighs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "eval/eval_report.h"
#include "eval/hce.h"
#include "eval/network_report.h"
#include "eval/params.h"
#include "network_support.h"

namespace nesk_test {
namespace {

search::SearchThread& report_thread() {
  static search::SearchThread& thread = [&]() -> search::SearchThread& {
    search::SearchThread& t = engine_thread();
    eval::register_eval_params();
    eval::load_embedded_params();
    return t;
  }();
  return thread;
}

std::vector<std::string> report_lines(const char* fen, int level, int qscore = 7) {
  search::SearchThread& thread = report_thread();
  set_up(fen);
  testing::internal::CaptureStdout();
  eval::show_evaluation(thread.position, thread.eval, qscore, level);
  std::istringstream text(testing::internal::GetCapturedStdout());
  std::vector<std::string> lines;
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

struct Row {
  std::string title;
  int white, black, md;
};

// The nine rows after the heading.
std::vector<Row> rows_of(const std::vector<std::string>& lines) {
  std::vector<Row> rows;
  for (size_t i = 1; i <= 9 && i < lines.size(); ++i) {
    std::istringstream fields(lines[i]);
    Row row;
    fields >> row.title >> row.white >> row.black >> row.md;
    rows.push_back(row);
  }
  return rows;
}

TEST(EvaluationReport, StartPositionIsBalancedAndQuiet) {
  std::vector<std::string> lines = report_lines(position::kStartFen, 1);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "           white  black      md");
  const char* titles[9] = {"pawns:", "knights:", "bishops:", "rooks:", "queens:",
                           "king:", "ppawns:",   "threats:", "special:"};
  std::vector<Row> rows = rows_of(lines);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(rows[i].title, titles[i]);
    EXPECT_EQ(rows[i].md, 0) << titles[i];
    // Both sides stand alike; only the side to move has its bonus (stm_bonus mg 27).
    if (i < 8) {
      EXPECT_EQ(rows[i].white, rows[i].black) << titles[i];
    }
  }
  EXPECT_EQ(rows[8].white, 27);
  EXPECT_EQ(rows[8].black, 0);
  // No network in the unit tests: the display value says so (-10001).
  EXPECT_EQ(lines[10], "nne= -10001, hce= 27, qscore= 7, mtl= 0, phase= 1.00, sf= 1.00, rule50= 0");
  EXPECT_EQ(lines[11], "");
}

// With full material the phase is 1, the taper is the middlegame half alone and the rows
// add up exactly: rows plus material, white minus black, is the evaluation.
TEST(EvaluationReport, RowsAddUpToTheEvaluationAndNameHungAndFreePawns) {
  struct Case {
    const char* fen;
    const char* extra;  // the line between the rows and the totals, or null
  } cases[] = {
      // The e5 pawn is attacked by the knight and defended by nothing.
      {"rnbqkbnr/ppp2ppp/8/3pp3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 0 3", "hung pieces on:  e5"},
      {"rnbqkbnr/ppp2ppp/8/3pp3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 0 3", "hung pieces on:  e5"},
      {"r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 4 8", nullptr},
  };
  for (const Case& c : cases) {
    std::vector<std::string> lines = report_lines(c.fen, 1);
    ASSERT_GE(lines.size(), 12u) << c.fen;
    std::vector<Row> rows = rows_of(lines);
    int white = 0, black = 0, md = 0;
    for (const Row& row : rows) white += row.white, black += row.black, md += row.md;
    search::SearchThread& thread = report_thread();
    int hce = eval::hce_evaluate(thread.position, thread.eval, 1);
    int white_view = white - black + md;
    EXPECT_EQ(thread.position.side == position::kWhite ? white_view : -white_view, hce) << c.fen;
    size_t totals = c.extra ? 11 : 10;
    if (c.extra) {
      EXPECT_EQ(lines[10], c.extra) << c.fen;
    }
    EXPECT_EQ(lines[totals].rfind("nne= -10001, hce= " + std::to_string(hce) + ", qscore= 7, mtl= ", 0), 0u)
        << lines[totals];
  }
  // A pawn that nothing can stop: no piece of the enemy near its path.
  std::vector<std::string> lines = report_lines("8/8/8/3P4/8/8/8/K6k w - - 12 40", 1);
  ASSERT_EQ(lines.size(), 13u);
  EXPECT_EQ(lines[10], "free pawns on:  d5");
  EXPECT_EQ(lines[11].substr(lines[11].find("mtl=")), "mtl= 100, phase= 0.01, sf= 1.00, rule50= 12");
}

TEST(EvaluationReport, LevelTwoListsTheWeightsThenTheTables) {
  std::vector<std::string> lines = report_lines(position::kStartFen, 2);
  // 12 report lines, 43 single weights, 9 tables of a title, 8 ranks and an empty line.
  ASSERT_EQ(lines.size(), 12u + 43u + 9u * 10u);
  EXPECT_EQ(lines[12], "mtl_pawn                 100 ,  100");
  EXPECT_EQ(lines[13], "mtl_knight               415 ,  329");
  EXPECT_EQ(lines[12 + 42], "stm_bonus                 27 ,    9");
  const char* titles[9] = {"Pawn1", "Pawn2", "Connected Pawn", "Defended Pawn", "Knight",
                           "Bishop", "Rook", "Queen", "King "};
  for (int t = 0; t < 9; ++t) EXPECT_EQ(lines[55 + 10 * t], titles[t]);
  // The king table's first rank: files a-d are empty (the king is read with its file
  // mirrored onto e-h), then the built-in values of e1-h1, middlegame then endgame.
  EXPECT_EQ(lines[55 + 80 + 8], "   0   0   0   0 -24 -23   7  10        0   0   0   0 -49 -39 -51 -65");
  // Pawns never stand on the first or last rank: the pawn tables are empty there.
  const std::string empty_rank = "   0   0   0   0   0   0   0   0        0   0   0   0   0   0   0   0";
  for (int t : {0, 1}) {
    EXPECT_EQ(lines[55 + 10 * t + 1], empty_rank);
    EXPECT_EQ(lines[55 + 10 * t + 8], empty_rank);
  }
  EXPECT_EQ(lines.back(), "");
}

class NetworkReport : public NetworkTest {};

// The hand-worked network of the forward-pass tests (width 256, divisor 16, scale 4, so
// a unit's share is value x weight x 4 / 256 centipawns). White to move: white half
// (450, 800) against weights (3, 2) gives 21.1 and 25; black half (-5, -18) against
// (7, -4) gives -0.5 and 1.1. The network's own value is 47.
TEST_F(NetworkReport, SharesOfTheHandWorkedNetwork) {
  install_hand_worked_network("report");

  TestAccumulator acc;
  auto listing = [&](const char* fen) {
    set_up(fen);
    testing::internal::CaptureStdout();
    eval::show_network_contributions(engine_thread().position, acc.acc);
    return testing::internal::GetCapturedStdout();
  };
  EXPECT_EQ(listing("4k3/8/8/8/8/8/4P3/4K3 w - -"),
            "HL1wp nodes contributing more than 20 cp\n"
            "   0.    450 *     3 ->     21\n"
            "   1.    800 *     2 ->     25\n"
            "HL1bp nodes contributing more than 20 cp\n"
            "HLX nodes contributing more than 20 cp\n"
            "\n nneval= 47, ev_wp= 46, ev_bp= 1, ev_X= 0, output node= 0\n\n"
            "\n h1min= -18, h1max= 800, h2min= 99999, h2max= -99999\n\n");
  // Black to move: the black half meets the first weights (3, 2), the white half the
  // others: 450 x 7 = 49.2 and 800 x -4 = -50 are listed, -5 x 3 and -18 x 2 are not.
  EXPECT_EQ(listing("4k3/8/8/8/8/8/4P3/4K3 b - -"),
            "HL1wp nodes contributing more than 20 cp\n"
            "   0.    450 *     7 ->     49\n"
            "   1.    800 *    -4 ->    -50\n"
            "HL1bp nodes contributing more than 20 cp\n"
            "HLX nodes contributing more than 20 cp\n"
            "\n nneval= -2, ev_wp= -1, ev_bp= -1, ev_X= 0, output node= 0\n\n"
            "\n h1min= -18, h1max= 800, h2min= 99999, h2max= -99999\n\n");
}

}  // namespace
}  // namespace nesk_test
