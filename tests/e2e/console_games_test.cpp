// Console commands that read and write files in the working directory: "save" and "load"
// of games in PGN, "get" of a test position from "test.epd"; and the evaluation report of
// "ev" after a move.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "console_support.h"
#include "uci_test_support.h"

namespace {

using e2e::Console;
using e2e::diagram;
using e2e::join;
using e2e::Lines;
using uci_test::write_file;
using uci_test::file_text;

// 18 moves in which both sides castle, white king-side and black queen-side.
Lines castling_game() {
  return {"e4",  "e5",   "Nf3",  "Nc6", "Bc4", "Bc5", "O-O", "Nf6", "d3",
          "d6",  "Be3",  "Bxe3", "fxe3", "Bg4", "Nc3", "Qd7", "Qe1", "O-O-O"};
}

// A program found on the search path or in /usr/games, or an empty text.
std::string find_program(const std::string& name) {
  std::string directories = std::string(std::getenv("PATH") ? std::getenv("PATH") : "") + ":/usr/games";
  std::stringstream list(directories);
  for (std::string directory; std::getline(list, directory, ':');) {
    std::string path = directory + "/" + name;
    if (!directory.empty() && access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

// What a shell command writes to standard output.
std::string program_output(const std::string& command) {
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  pclose(pipe);
  return text;
}

// The game is saved with its set-up position (it did not start from the usual one), each
// move in a form that names it alone (two knights reach d2), and loads back move by move.
TEST(ConsoleGames, SavedGameLoadsBackMoveByMove) {
  Console console;
  const std::string dir = console.engine().directory() + "/";
  console.run({"fen 4k3/8/8/8/8/8/8/1N2KN2 w - - 0 1", "b1d2", "e8e7", "f1e3", "e7e6", "save"});
  const std::string game =
      "[Event \"Unknown\"]\n[SetUp \"1\"]\n[FEN \"4k3/8/8/8/8/8/8/1N2KN2 w - -\"]\nNbd2 Ke7 Ne3 Ke6 *\n\n";
  EXPECT_EQ(file_text(dir + "tmp.pgn"), game);
  // A second save appends.
  console.run({"new", "e4", "save"});
  EXPECT_EQ(file_text(dir + "tmp.pgn"), game + "[Event \"Unknown\"]\ne4 *\n\n");

  const std::string end = "8/8/4k3/8/8/4N3/3N4/4K3 w - - 4 4";
  EXPECT_EQ(console.run("load tmp.pgn Unknown"),
            join({{"loading tmp.pgn, tag Unknown", "read 1 games", ""}, diagram(end)}));
  const std::string before = "8/4k3/8/8/8/4N3/3N4/4K3 b - - 3 3";
  EXPECT_EQ(console.run("["), diagram(before));
  // No such file, a tag too short to search for: the board is shown as it is.
  EXPECT_EQ(console.run("load none.pgn Unknown"), join({{"loading none.pgn, tag Unknown"}, diagram(before)}));
  EXPECT_EQ(console.run("load tmp.pgn Un"), join({{"loading tmp.pgn, tag Un"}, diagram(before)}));
}

// Castling is saved as SAN writes it, and the game ends with its result, so that other
// programs read every move.
TEST(ConsoleGames, SavedGameIsStandardPgn) {
  Console console;
  console.run(castling_game());
  console.run("save");
  EXPECT_EQ(file_text(console.engine().directory() + "/tmp.pgn"),
            "[Event \"Unknown\"]\ne4 e5 Nf3 Nc6 Bc4 Bc5 O-O Nf6 d3 d6 Be3\n"
            "Bxe3 fxe3 Bg4 Nc3 Qd7 Qe1 O-O-O *\n\n");
}

// An outside PGN reader (pgn-extract) writes the saved game back in coordinates: the
// moves must be those that were played.
TEST(ConsoleGames, OutsideReaderReadsTheSavedMoves) {
  const std::string reader = find_program("pgn-extract");
  if (reader.empty()) GTEST_SKIP() << "pgn-extract is not installed: saved games are not checked by an outside reader";
  Console console;
  console.run(castling_game());
  console.run("save");
  const std::string saved = console.engine().directory() + "/tmp.pgn";
  const std::string played =
      "e2e4 e7e5 g1f3 b8c6 f1c4 f8c5 e1g1 g8f6 d2d3 d7d6 c1e3 c5e3 f2e3 c8g4 b1c3 d8d7 d1e1 e8c8";
  EXPECT_EQ(program_output(reader + " -Wuci --notags --noresults -s '" + saved + "' 2>/dev/null"), played + "\n\n");
}

// A game that cannot be written is reported, and the file is left as it was.
TEST(ConsoleGames, SaveReportsAFailedWrite) {
  Console console;
  const std::string path = console.engine().directory() + "/tmp.pgn";
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  console.run("e4");
  EXPECT_EQ(console.run("save"), Lines{"game not saved: tmp.pgn: Is a directory"});
  ASSERT_EQ(rmdir(path.c_str()), 0);

  // A full disk: the open succeeds, the writes do not.
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full to stand for a full disk";
  ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
  EXPECT_EQ(console.run("save"), Lines{"game not saved: tmp.pgn: No space left on device"});
}

// Lines and games of any length: a header's text inside a long comment line (where a line
// cut at a fixed length would begin) is no header, and the moves after 20,000 characters
// of comments still count.
TEST(ConsoleGames, LoadReadsLongLinesAndLongGamesWhole) {
  Console console;
  const std::string dir = console.engine().directory() + "/";
  const std::string decoy = "{" + std::string(507, 'x') + "[White \"Target\"] }";
  const std::string long_comment = "{" + std::string(20000, 'y') + "}";
  write_file(dir + "games.pgn", "[Event \"one\"]\n[White \"Other\"]\n\n1. d4 " + decoy + " d5 *\n\n" +
                                    "[Event \"two\"]\n[White \"Target\"]\n[Result \"*\"]\n\n1. e4 " + long_comment +
                                    "\ne5 2. Nf3 *\n");
  EXPECT_EQ(console.run("load games.pgn Target"),
            join({{"loading games.pgn, tag Target", "read 1 games", ""},
                  diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3")}));
  // An unreadable move stops the replay where it stands; the game count goes on.
  write_file(dir + "bad.pgn", "[Event \"bad\"]\n\n1. e4 e5 2. Ke3 Nc6 *\n");
  EXPECT_EQ(console.run("load bad.pgn bad"),
            join({{"loading bad.pgn, tag bad",
                   "can't parse move 2. Ke3 in game #2  rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6",
                   "read 2 games", ""},
                  diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2")}));
}

TEST(ConsoleGames, GetTakesTheFirstPositionWithTheId) {
  Console console;
  const std::string line = "8/8/8/4k3/8/8/8/4K3 b - - id \"b\";";
  write_file(console.engine().directory() + "/test.epd",
             "; 8/8/8/8/8/8/8/K1k5 w - - id \"b\";\n"
             " 8/8/8/8/8/8/8/K2k4 w - - id \"b\";\n"
             "4k3/8/8/8/8/8/4P3/4K3 w - - bm e4; id \"a\";\r\n" +
                 line + "\n8/8/8/8/8/8/8/K3k3 w - - id \"b\";\n");
  EXPECT_EQ(console.run("get b"), join({{line}, diagram("8/8/8/4k3/8/8/8/4K3 b - - 0 0")}));
  EXPECT_EQ(console.run("get a"),
            join({{"4k3/8/8/8/8/8/4P3/4K3 w - - bm e4; id \"a\";"}, diagram("4k3/8/8/8/8/8/4P3/4K3 w - - 0 0")}));
  EXPECT_EQ(console.run("get c"), Lines{});
}

// "ev" names the last move, searches to depth 0 for the quiescence score and explains
// the evaluation; with the debug setting every board comes with the report.
TEST(ConsoleGames, EvaluationReportAfterAMove) {
  Console console;
  console.run("e4");
  Lines report = console.run("ev");
  ASSERT_EQ(report.size(), 13u);
  EXPECT_EQ(report[0], "last move was 1. e2e4");
  EXPECT_EQ(report[1], "           white  black      md");
  EXPECT_EQ(report[10].rfind("special:", 0), 0u);
  int nne = 0, hce = 0, qscore = 0;
  ASSERT_EQ(std::sscanf(report[11].c_str(), "nne= %d, hce= %d, qscore= %d", &nne, &hce, &qscore), 3) << report[11];
  // No capture is possible: without a network the quiescence score is the evaluation.
  if (nne == -10001) {
    EXPECT_EQ(qscore, hce);
  }
  EXPECT_EQ(report[12], "");

  Lines board = diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  EXPECT_EQ(console.run("bd"), board);
  console.run("set debug 1");
  EXPECT_EQ(console.run("bd"), join({report, board}));
}

}  // namespace
