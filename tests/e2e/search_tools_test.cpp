// The tools that search: "-anepd" on a suite of positions with known answers, the
// self-play generator's output (which positions, which results, what a stopped run
// leaves) and "-scoretraindata" carrying positions through their captures.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine_process.h"
#include "position/bitboard.h"
#include "position/exchange.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "uci_test_support.h"

namespace {

using uci_test::Lines;
using uci_test::run_tool;
using uci_test::split_lines;

// Whether the side to move of a FEN is in check; `playable` tells whether it sets up.
bool mover_in_check(const std::string& fen, bool& playable) {
  static bool ready = [] {
    position::init_tables();
    position::init_zobrist();
    return true;
  }();
  (void)ready;
  position::Position pos{};
  playable = position::set_position(pos, fen.c_str()) == 0;
  if (!playable) return false;
  return position::least_valuable_attacker(pos, pos.king_square[pos.side], pos.side ^ 1, pos.occupancy()) !=
         position::kNoSquare;
}

TEST(EpdSuiteRun, CountsTheKnownAnswersAndAnnotatesEachPosition) {
  uci_test::ScratchDirectory dir;
  const Lines positions = {
      "kbK5/pp6/1P6/8/8/8/8/R7 w - -",                                  // mate in 2: Ra6
      "r5k1/5ppp/8/8/8/8/4RPPP/4R1K1 w - -",                            // mate in 2: Re8+
      "r1b2k1r/ppp1bppp/8/1B1Q4/5q2/2P5/PPP2PPP/R3R1K1 w - -",          // mate in 2: Qd8+
      "5rk1/5Npp/8/8/8/1Q6/6PP/6K1 w - -",                              // mate in 3: Nh6+
      "r3k3/8/8/3N4/8/8/8/4K3 w - -",                                   // fork: Nc7+
      "4k3/8/8/8/8/2n5/8/2R1K3 w - -",                                  // hanging knight
      "8/4P1k1/8/8/8/8/8/4K3 w - -",                                    // promotion
      "4k3/8/8/3q4/8/8/8/3RK3 w - -",                                   // avoid a rook move
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",           // two moves run together
  };
  uci_test::write_file(dir.file("suite.epd"),
                       "# mates, won material and a promotion\n" + positions[0] + " bm Ra6; c0 \"Ra6=10, Rb1=3\";\n" +
                           positions[1] + " bm Re8+; id \"back rank\";\n" + positions[2] + " bm Qd8+;\n" +
                           positions[3] + " bm Nh6+;\n" + positions[4] + " bm Nc7+;\n" + positions[5] +
                           " bm Rxc3; c0 \"Rxc3=5, Kd2=7\";\n" + positions[6] + " bm e8=Q;\n" + positions[7] +
                           " am Rd2;\nshort\n8/8/8/8/8/8/8/8 w - - bm e4;\n" + positions[8] + " bm Nf3 e4;\n");
  Lines report = run_tool(dir, {"-anepd", "suite.epd", "-d", "5", "-o", "out.epd"});
  ASSERT_EQ(report.size(), 11u) << ::testing::PrintToString(report);
  EXPECT_EQ(report[0], "Analyzing suite.epd...");
  EXPECT_EQ(report[1], "skipped 1 bad lines: 1 bad FEN");
  EXPECT_EQ(report[2], "8 / 9 correct best moves");
  const char* shapes[] = {"total nodes= [0-9]+", "total time= [0-9]+\\.[0-9]{2} seconds", "avg depth= [0-9]+\\.[0-9]",
                          "avg nodes= [0-9]+\\.[0-9]", "node_rate= [0-9]+", "avg bf= [0-9]+\\.[0-9]{2}"};
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(std::regex_match(report[3 + i], std::regex(shapes[i]))) << report[3 + i];
  EXPECT_EQ(report[9], "score= 15 / 17");
  EXPECT_EQ(report[10], "");

  // The move as its two squares (the promotion without its piece) and the score; a mate in
  // n moves scores 10000 - 2n.
  Lines out = split_lines(uci_test::file_text(dir.file("out.epd")));
  ASSERT_EQ(out.size(), positions.size());
  const char* moves[] = {"a1a6", "e2e8", "d5d8", "f7h6", "d5c7", "c1c3", "e7e8", "d1d5"};
  const char* mates[] = {"9996", "9996", "9996", "9994"};
  for (int i = 0; i < 8; ++i) {
    std::string head = positions[i] + " bm " + moves[i] + "; ce ";
    EXPECT_EQ(out[i].substr(0, head.size()), head);
    if (i < 4) {
      EXPECT_EQ(out[i], head + mates[i] + ";");
    }
  }
  EXPECT_TRUE(std::regex_match(out[8], std::regex(positions[8] + " bm [a-h][1-8][a-h][1-8]; ce -?[0-9]+;"))) << out[8];
}

const std::string kFortress = "4k3/8/8/1p1p1p1p/pPpPpPpP/P1P1P1P1/8/4K3 w - -";
const std::regex kSelfplayLine("(\\S+ [wb] \\S+ \\S+) ce (-?[0-9]+); gr (0\\.0|0\\.5|1\\.0);");

// Kings behind locked pawn chains cannot make progress: every game is drawn, by repetition
// or the fifty-move rule, and every position written says so.
TEST(SelfplayRun, DrawnGamesFromTheOpeningsInTheWorkingDirectory) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("mybook_6mv.epd"), kFortress + "\n");
  Lines report = run_tool(dir, {"-quiet", "-d", "3", "-gentraindata", "drawn.epd", "100"});
  ASSERT_EQ(report.size(), 1u);
  EXPECT_TRUE(std::regex_match(report[0], std::regex("wrote 100 positions from [0-9]+ games to drawn.epd"))) << report[0];
  Lines lines = split_lines(uci_test::file_text(dir.file("drawn.epd")));
  ASSERT_EQ(lines.size(), 100u);
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kSelfplayLine)) << line;
    EXPECT_EQ(m[3], "0.5") << line;
  }

  // Openings that give no game to keep (a stalemate here) end the run, failed, instead of
  // hanging.
  uci_test::write_file(dir.file("stalemate.epd"), "7k/5Q2/6K1/8/8/8/8/8 b - -\n");
  EXPECT_EQ(run_tool(dir, {"-quiet", "-d", "2", "-gentraindata", "none.epd", "100", "stalemate.epd"}, 1),
            (Lines{"no positions from the last 1000 games: stopping", "wrote 0 positions from 1000 games to none.epd"}));
}

// Real openings: whole lines of playable positions, none with the mover in check.
TEST(SelfplayRun, SharedOpeningsGiveQuietLabelledPositions) {
  std::string openings = testdata_directory().empty() ? "" : testdata_directory() + "/../data/mybook_6mv.epd";
  if (openings.empty() || !std::filesystem::exists(openings))
    GTEST_SKIP() << "no openings beside the repository (../shared/data/mybook_6mv.epd)";
  uci_test::ScratchDirectory dir;
  Lines report = run_tool(dir, {"-quiet", "-d", "2", "-gentraindata", "games.epd", "150", openings});
  ASSERT_EQ(report.size(), 1u);
  Lines lines = split_lines(uci_test::file_text(dir.file("games.epd")));
  ASSERT_EQ(lines.size(), 150u);
  int decided = 0;
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kSelfplayLine)) << line;
    bool playable;
    EXPECT_FALSE(mover_in_check(m[1], playable)) << line;
    EXPECT_TRUE(playable) << line;
    decided += m[3] != "0.5";
  }
  RecordProperty("decided", decided);
}

// A run stopped by a kill keeps whole games: the file ends with a whole line. One stopped
// by an interrupt finishes its report, with the count the file holds.
TEST(SelfplayRun, AStoppedRunKeepsWholeLines) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("mybook_6mv.epd"), kFortress + "\n");
  for (int signal_number : {SIGKILL, SIGINT}) {
    SCOPED_TRACE(signal_number);
    std::string output = dir.file("long.epd"), report = dir.file("report.txt");
    std::filesystem::remove(output);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (chdir(dir.path().c_str()) != 0 || !std::freopen(report.c_str(), "w", stdout)) _exit(126);
      execl(NESK_BINARY, NESK_BINARY, "-quiet", "-d", "2", "-gentraindata", "long.epd", "100000000", nullptr);
      _exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::error_code error;
    int status = 0;
    bool ended = false;  // before writing anything: a fault the checks below report
    while (std::chrono::steady_clock::now() < deadline &&
           !(std::filesystem::exists(output) && std::filesystem::file_size(output, error) > 0) &&
           !(ended = waitpid(pid, &status, WNOHANG) == pid))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!ended) {
      kill(pid, signal_number);
      waitpid(pid, &status, 0);
    }
    std::string text = uci_test::file_text(output);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    Lines lines = split_lines(text);
    for (const std::string& line : lines) ASSERT_TRUE(std::regex_match(line, kSelfplayLine)) << line;
    if (signal_number == SIGINT) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      std::smatch m;
      std::string said = uci_test::file_text(report);
      ASSERT_TRUE(std::regex_search(said, m, std::regex("wrote ([0-9]+) positions from [0-9]+ games"))) << said;
      EXPECT_EQ(std::stoul(m[1]), lines.size());
    }
  }
}

// A capture first: the rook takes the queen and the king steps aside, and the position
// after them is scored, its labels turned to the side now to move. A mover in check is
// passed over.
TEST(ScoreTrainingRun, PositionsCarriedThroughTheirCaptures) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("in.epd"),
                       "4k3/8/8/3q4/8/8/8/3RK3 w - - ce 50; gr 1.0;\n"
                       "4k3/8/8/8/8/8/3q4/4K3 w - - ce -900; gr 0.0;\n"
                       "4k3/8/8/8/8/8/4P3/4K3 w - - ce 100;\n");
  Lines report = run_tool(dir, {"-quiet", "-d", "3", "-scoretraindata", "in.epd", "-o", "out.epd"});
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report.back(), "scored 2 of 3 positions into out.epd");
  Lines out = split_lines(uci_test::file_text(dir.file("out.epd")));
  ASSERT_EQ(out.size(), 2u);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(out[0], m, std::regex("(\\S+ [wb] - -) ce 50; sc ([0-9]+); gr 1\\.0;"))) << out[0];
  EXPECT_EQ(m[1].str().substr(0, 2), "8/");  // the king has left e8
  EXPECT_GT(std::stoi(m[2]), 500);          // a rook up
  EXPECT_TRUE(std::regex_match(out[1], std::regex("\\S+ [wb] - - sc -?[0-9]+;"))) << out[1];
}

}  // namespace
