// A GUI's view of the engine: start-up, the "uci" handshake, options, positions and the
// line reader, all through the engine's standard input and output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine_process.h"
#include "uci_test_support.h"

namespace {

using uci_test::hash_reply;
using uci_test::is_network_line;
using uci_test::joined;
using uci_test::kHello;
using uci_test::Lines;
using uci_test::table_lines;
using uci_test::UciEngine;
using namespace std::string_literals;

// Starts the engine in its normal mode; its report must open with the greeting and the
// default table.
std::unique_ptr<UciEngine> start(const Lines& arguments = {}) {
  auto engine = std::make_unique<UciEngine>(arguments);
  EXPECT_EQ(engine->head(), joined({kHello}, table_lines(64)));
  return engine;
}

// Everything the engine writes until it ends.
Lines rest_of_output(EngineProcess& engine) { return engine.read_available(2000); }

// ---------------------------------------------------------------------------------------
// Start-up and the handshake

TEST(UciSession, AnswersUciWithIdentificationAndEveryOption) {
  auto engine = start();
  engine->expect_uci();
  EXPECT_EQ(engine->ask(Lines{}), Lines{});
  // Asking again gives the same list.
  engine->expect_uci();
  engine->quit();
  EXPECT_EQ(rest_of_output(engine->process()), Lines{});
}

TEST(UciStartup, CalibrationLineReportsTheNodeRateAndItsElo) {
  auto engine = start();
  const std::string& line = engine->calibration();
  double elapsed = 0, nps = 0, elo = 0;
  char tail = 0;
  ASSERT_EQ(
      std::sscanf(line.c_str(), "info string et= %lf, calibration nps= %lf, elo= %lf%c", &elapsed, &nps, &elo, &tail),
      3)
      << line;
  char rebuilt[128];
  std::snprintf(rebuilt, sizeof(rebuilt), "info string et= %.3f, calibration nps= %.0f, elo= %.0f", elapsed, nps, elo);
  EXPECT_EQ(line, rebuilt);
  double l = std::log(nps);
  EXPECT_NEAR(elo, 850 + 250 * l - 5 * l * l, 0.5 + 1e-3) << line;
}

TEST(UciStartup, HashLineShowsTheTableSizeChosenAtStartup) {
  struct Case {
    Lines arguments;
    int hash;
  };
  const std::vector<Case> cases = {
      {{"-d", "8"}, 2},
      {{"-d", "9"}, 4},
      {{"-d", "10"}, 64},
      {{"-n", "100000"}, 2},
      {{"-n", "150000"}, 4},
      {{"-n", "200001"}, 64},
      {{"-hash", "16", "-d", "5"}, 2},
      {{"-hash", "-5"}, 0},
  };
  for (const Case& c : cases) {
    std::string text;
    for (const std::string& a : c.arguments) text += a + " ";
    SCOPED_TRACE(text);
    UciEngine engine(c.arguments);
    EXPECT_EQ(engine.head(), joined({kHello}, table_lines(c.hash)));
    engine.expect_uci({{"Hash", std::to_string(c.hash)}});
  }
}

TEST(UciStartup, CommandLineValuesAreTheAdvertisedDefaults) {
  UciEngine engine({"-threads", "8", "-use_hce", "-mpv", "3", "-book", "other.bin", "-ss", "50", "-hash", "16"});
  EXPECT_EQ(engine.head(), joined({kHello}, table_lines(16)));
  // The defaults are what the engine was started with; Threads always shows 1.
  engine.expect_uci({{"Hash", "16"},
                     {"Use_NN_eval", "false"},
                     {"MultiPV", "3"},
                     {"OwnBook_File", "other.bin"},
                     {"Selectivity", "50"}});
}

TEST(UciStartup, NodeRateLimitsStrengthAndPrintsItsElo) {
  // ln 2500 = 7.824046; 850 + 250 * 7.824046 - 5 * 61.21570 = 2499.93, truncated.
  UciEngine engine({"-nps", "2500"});
  EXPECT_EQ(engine.head(), joined({"Elo= 2499", kHello}, table_lines(64)));
  engine.expect_uci({{"UCI_LimitStrength", "true"}, {"UCI_Elo", "2499"}});
  engine.quit();

  // The lowest rate buys less than UCI_Elo offers: the default shown stays in its range.
  UciEngine slow({"-nps", "5"});
  EXPECT_EQ(slow.head(), joined({"-nps takes 10 to 10000000 nodes per second: using 10", "Elo= 1399", kHello},
                                table_lines(64)));
  slow.expect_uci({{"UCI_LimitStrength", "true"}, {"UCI_Elo", "1500"}});
}

TEST(UciStartup, ExitStatusAndOutputOfTheModesWithoutAnEngine) {
  struct Case {
    Lines arguments;
    int status;
    Lines output;
  };
  const std::vector<Case> cases = {
      {{"-hash"}, 1, {}},
      {{"-mkbook"}, 1, {}},
      {{"-gentraindata", "games.bin"}, 1, {}},
      {{"-gentraindata", "games.bin", "50"}, 1, {}},
      {{"-threads", "2", "-cfg"}, 1, {}},
      {{"-train", "data.bin", "5"}, 1, {"Need to compile with 'make train_'"}},
      {{"-train2", "data.bin", "5", "1"}, 1, {"Need to compile with 'make train_'"}},
      {{"-quiet", "-mkconfig"}, 0, {}},
  };
  for (const Case& c : cases) {
    std::string text;
    for (const std::string& a : c.arguments) text += a + " ";
    SCOPED_TRACE(text);
    EngineProcess engine(c.arguments);
    EXPECT_EQ(engine.wait_exit(), c.status);
    EXPECT_EQ(rest_of_output(engine), c.output);
  }
  // Without "-quiet" the make-config mode reports its start-up and ends.
  EngineProcess engine({"-mkconfig"});
  EXPECT_EQ(engine.wait_exit(), 0);
  Lines output = rest_of_output(engine);
  ASSERT_GE(output.size(), 3u);
  EXPECT_EQ(Lines(output.begin(), output.begin() + 3), joined({kHello}, table_lines(64)));
  EXPECT_TRUE(std::all_of(output.begin() + 3, output.end(), is_network_line));
}

TEST(UciStartup, UciCommandSwitchesFromTheConsoleProtocol) {
  EngineProcess process({"-c"});
  process.send("uci");
  Lines lines = process.read_until("uciok");
  auto calibration = std::find_if(lines.begin(), lines.end(), uci_test::is_calibration_line);
  ASSERT_NE(calibration, lines.end());
  std::vector<int> tops = uci_test::elo_tops(*calibration);
  ASSERT_FALSE(tops.empty());
  auto id = std::find(lines.begin(), lines.end(), "id name Nesk 7.07");
  ASSERT_NE(id, lines.end());
  Lines reply(id, lines.end());
  EXPECT_TRUE(std::any_of(tops.begin(), tops.end(), [&](int top) { return reply == uci_test::uci_reply({}, top); }))
      << ::testing::PrintToString(reply);
  // Reports now carry the UCI prefix.
  EXPECT_EQ(uci_test::ask(process, "position startpos moves e2e4 e2e4"),
            Lines{"info string illegal move e2e4, the rest ignored"});
}

// ---------------------------------------------------------------------------------------
// Options

TEST(UciOptions, SpinOptionsReportTheClampedValue) {
  auto engine = start();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Threads value 0", "Threads set to 1"},
      {"Threads value 513", "Threads set to 512"},
      {"Threads value 3", "Threads set to 3"},
      {"OwnBook_Depth value 61", "OwnBook_Depth set to 60"},
      {"OwnBook_Depth value -1", "OwnBook_Depth set to 0"},
      {"OwnBook2_Depth value 61", "OwnBook2_Depth set to 60"},
      {"OwnBook_Variety value 101", "OwnBook_Variety set to 100"},
      {"OwnBook_Variety value -3", "OwnBook_Variety set to 0"},
      {"SyzygyProbeDepth6 value -6", "SyzygyProbeDepth6 set to -5"},
      {"SyzygyProbeDepth6 value 101", "SyzygyProbeDepth6 set to 100"},
      {"MultiPV value 0", "MultiPV set to 1"},
      {"MultiPV value 256", "MultiPV set to 255"},
      {"MultiPV value four", "MultiPV set to 1"},
      {"MoveOverhead value 1001", "MoveOverhead set to 1000"},
      {"MoveOverhead value -1", "MoveOverhead set to 0"},
      {"UCI_Elo value 3500", "UCI_Elo set to 3300"},
      {"UCI_Elo value 1499", "UCI_Elo set to 1500"},
      {"UCI_Elo value 2222", "UCI_Elo set to 2222"},
      {"Contempt value -151", "Contempt set to -150"},
      {"Contempt value 151", "Contempt set to 150"},
      {"Contempt value 12abc", "Contempt set to 12"},
      {"Selectivity value 201", "Selectivity set to 200"},
      {"Selectivity value -1", "Selectivity set to 0"},
  };
  for (const auto& [command, reply] : cases)
    EXPECT_EQ(engine->ask("setoption name " + command), Lines{"info string " + reply}) << command;
  // A new size also reallocates and clears the table.
  EXPECT_EQ(engine->ask("setoption name Hash value 1"), hash_reply(1));
  EXPECT_EQ(engine->ask("setoption name Hash value -1"), hash_reply(0));
  EXPECT_EQ(engine->ask("setoption name Hash value 3"), hash_reply(3));
}

TEST(UciOptions, CheckOptionsAreTrueOnlyForLowerCaseTrue) {
  auto engine = start();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Use_NN_eval value false", "Use_NN_eval set to 0"},
      {"Use_NN_eval value true", "Use_NN_eval set to 1"},
      {"OwnBook value TRUE", "OwnBook set to 0"},
      {"OwnBook value True", "OwnBook set to 0"},
      {"OwnBook value it is true", "OwnBook set to 1"},
      {"Ponder value true", "Ponder set to 1"},
      {"Ponder value", "Ponder set to 0"},
      {"UCI_Chess960 value true", "UCI_Chess960 set to 1"},
      {"UCI_LimitStrength value 1", "UCI_LimitStrength set to 0"},
      {"UCI_LimitStrength value true", "UCI_LimitStrength set to 1"},
  };
  for (const auto& [command, reply] : cases)
    EXPECT_EQ(engine->ask("setoption name " + command), Lines{"info string " + reply}) << command;
}

TEST(UciOptions, StringOptionsEchoTheirValueInQuotes) {
  auto engine = start();
  EXPECT_EQ(engine->ask("setoption name OwnBook_File value my book.bin"),
            Lines{"info string OwnBook_File set to 'my book.bin'"});
  EXPECT_EQ(engine->ask("setoption name OwnBook2_File value /books/second.bin"),
            Lines{"info string OwnBook2_File set to '/books/second.bin'"});
  EXPECT_EQ(engine->ask("setoption name OwnBook2_File"), Lines{"info string OwnBook2_File set to ''"});
  // A missing configuration file is not an error.
  EXPECT_EQ(engine->ask("setoption name ConfigFilePath value no-such.cfg"),
            Lines{"info string ConfigFilePath set to 'no-such.cfg'"});
  // Names are kept whole, however long.
  const std::string long_name(3000, 'b');
  EXPECT_EQ(engine->ask("setoption name OwnBook_File value " + long_name),
            Lines{"info string OwnBook_File set to '" + long_name + "'"});
  // These two also reload what they name; only their first reply line is fixed.
  Lines reply = engine->ask("setoption name NN_File value embedded");
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply.front(), "info string NN_File set to 'embedded'");
  reply = engine->ask("setoption name SyzygyPath value x");
  ASSERT_FALSE(reply.empty());
  EXPECT_EQ(reply.front(), "info string SyzygyPath set to 'x'");
}

TEST(UciOptions, OpponentSetsTheOpponentsElo) {
  auto engine = start();
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"GM 2650 human Magnus", "2650"},
      {"none none computer Nesk", "0"},
      {"IM 5000 human Someone", "4000"},
      {"CM -30 computer Box", "0"},
  };
  for (const auto& [value, elo] : cases)
    EXPECT_EQ(engine->ask("setoption name UCI_Opponent value " + value),
              Lines{"info string opponent_elo set to " + elo})
        << value;
}

TEST(UciOptions, NamesMustMatchExactly) {
  auto engine = start();
  EXPECT_EQ(
      engine->ask(Lines{"setoption name hash value 8", "setoption name HASH value 8", "setoption name  Hash value 8",
                        "setoption name NoSuchOption value 8", "setoption Hash value 8", "setoption"}),
      Lines{});
  engine->expect_uci();
}

TEST(UciOptions, ButtonsAndMissingValues) {
  auto engine = start();
  EXPECT_EQ(engine->ask("setoption name Clear Hash"), Lines{"info string Hash table cleared"});
  EXPECT_EQ(engine->ask("setoption name Clear Hash value"), Lines{"info string Hash table cleared"});
  // An empty value reads as 0 and is then clamped.
  EXPECT_EQ(engine->ask("setoption name Threads value"), Lines{"info string Threads set to 1"});
  EXPECT_EQ(engine->ask("setoption name MoveOverhead"), Lines{"info string MoveOverhead set to 0"});
}

TEST(UciOptions, LaterUciAdvertisesTheValuesSet) {
  auto engine = start();
  const Lines commands = {
      "setoption name ConfigFilePath value none.cfg",
      "setoption name Hash value 32",
      "setoption name Threads value 4",
      "setoption name Use_NN_eval value false",
      "setoption name OwnBook value false",
      "setoption name OwnBook_File value b1.bin",
      "setoption name OwnBook_Depth value 30",
      "setoption name OwnBook2_File value b2.bin",
      "setoption name OwnBook2_Depth value 10",
      "setoption name OwnBook_Variety value 50",
      "setoption name SyzygyProbeDepth6 value 5",
      "setoption name Ponder value true",
      "setoption name MultiPV value 4",
      "setoption name UCI_Chess960 value true",
      "setoption name MoveOverhead value 100",
      "setoption name UCI_LimitStrength value true",
      "setoption name UCI_Elo value 2000",
      "setoption name UCI_Opponent value GM 2700 human X",
      "setoption name Contempt value -25",
      "setoption name Selectivity value 120",
  };
  // One reply line each, and the table report after the new Hash value.
  EXPECT_EQ(engine->ask(commands).size(), commands.size() + 2);
  engine->expect_uci({{"ConfigFilePath", "none.cfg"},
                      {"Hash", "32"},
                      {"Use_NN_eval", "false"},
                      {"OwnBook", "false"},
                      {"OwnBook_File", "b1.bin"},
                      {"OwnBook_Depth", "30"},
                      {"OwnBook2_File", "b2.bin"},
                      {"OwnBook2_Depth", "10"},
                      {"OwnBook_Variety", "50"},
                      {"SyzygyProbeDepth6", "5"},
                      {"Ponder", "true"},
                      {"MultiPV", "4"},
                      {"UCI_Chess960", "true"},
                      {"MoveOverhead", "100"},
                      {"UCI_LimitStrength", "true"},
                      {"UCI_Elo", "2000"},
                      {"Contempt", "-25"},
                      {"Selectivity", "120"}});
}

// ---------------------------------------------------------------------------------------
// Commands while idle and while a search is requested

TEST(UciSession, CommandsWithoutAReplyWhileIdle) {
  auto engine = start();
  EXPECT_EQ(engine->ask(Lines{"stop", "ponderhit", "ucinewgame", "debug on", "frobnicate", "ISREADY", "Uci", "position",
                              "position nonsense"}),
            Lines{});
  // Leading blanks and extra words do not hide a command.
  engine->process().send("   isready with extra words");
  EXPECT_EQ(engine->process().read_line(), "readyok");
  engine->expect_uci();
}

// The lines up to and including the next "bestmove", which is the last; empty when none
// comes in time.
Lines up_to_bestmove(EngineProcess& engine) {
  Lines lines;
  while (std::optional<std::string> line = engine.read_line()) {
    lines.push_back(*line);
    if (line->rfind("bestmove ", 0) == 0) return lines;
  }
  return {};
}

// A GUI may send these without waiting for "bestmove": the search stops and answers,
// then the command is carried out, and the engine goes on serving.
TEST(UciSession, GameCommandsDuringASearchStopItAndRunAfterItsAnswer) {
  struct Case {
    std::string go, command;
    Lines after;     // what the command prints once the search has answered
    std::string probe;  // a search afterwards, whose answer shows the command took effect
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"go infinite", "setoption name Hash value 8", hash_reply(8), "", ""},
      {"go infinite", "ucinewgame", {}, "", ""},
      {"go infinite", "position fen k7/8/2K5/8/8/8/8/7R w - - 0 1 moves h1h8", {}, "go depth 2", "bestmove a8a7"},
      {"go ponder wtime 1000 btime 1000", "position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1", {}, "go depth 2",
       "bestmove a1a8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.go + " / " + c.command);
    auto engine = start();
    engine->process().send(c.go);
    // "isready" is answered whatever the state.
    engine->process().send("isready");
    ASSERT_FALSE(engine->process().read_until("readyok").empty());
    engine->process().send(c.command);
    ASSERT_FALSE(up_to_bestmove(engine->process()).empty());
    EXPECT_EQ(engine->ask(Lines{}), c.after);
    if (!c.probe.empty()) {
      engine->process().send(c.probe);
      Lines search = up_to_bestmove(engine->process());
      ASSERT_FALSE(search.empty());
      EXPECT_EQ(search.back().substr(0, c.answer.size()), c.answer);  // the ponder move may follow
    }
    engine->quit();
  }
  // A new "go" during a search: the first search answers, then the second runs.
  auto engine = start();
  engine->process().send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1");
  engine->process().send("go infinite");
  engine->process().send("go depth 3");
  ASSERT_FALSE(up_to_bestmove(engine->process()).empty());
  Lines second = up_to_bestmove(engine->process());
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.back().substr(0, 13), "bestmove a1a8");
  engine->quit();
}

// ---------------------------------------------------------------------------------------
// Positions. The engine has no command that shows its board in UCI mode, so each move
// list is built to reveal mistakes: a later move in the list is legal only if the earlier
// ones were made exactly right, and the engine names the first word it cannot play.

std::string illegal(const std::string& word) { return "info string illegal move " + word + ", the rest ignored"; }

void expect_accepted(UciEngine& engine, const std::vector<std::string>& commands) {
  for (const std::string& c : commands) EXPECT_EQ(engine.ask(c), Lines{}) << c;
}

void expect_refused(UciEngine& engine, const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [command, word] : cases) EXPECT_EQ(engine.ask(command), Lines{illegal(word)}) << command;
}

TEST(UciPosition, CastlingInBothNotationsWithAndWithoutChess960) {
  const Lines castling = {
      // King's two-square step; then rook and king moves that need the castled squares.
      "position startpos moves e2e4 e7e5 g1f3 g8f6 f1c4 f8c5 e1g1 e8g8 f1e1 f8e8 g1h1 g8h8",
      "position startpos moves d2d4 d7d5 b1c3 b8c6 c1f4 c8f5 d1d2 d8d7 e1c1 e8c8 d1e1 d8e8 c1b1 c8b8",
      // The king takes its own rook.
      "position startpos moves e2e4 e7e5 g1f3 g8f6 f1c4 f8c5 e1h1 e8h8 f1e1 f8e8 g1h1 g8h8",
      "position startpos moves d2d4 d7d5 b1c3 b8c6 c1f4 c8f5 d1d2 d8d7 e1a1 e8a8 d1e1 d8e8 c1b1 c8b8",
      // Chess960 set-ups: king b1 with rook a1 goes to c1 (rook d1); king f1 with rook g1
      // goes to g1 (rook f1).
      "position fen 6k1/8/8/8/8/8/8/RK6 w Q - 0 1 moves b1a1 g8h8 d1d8 h8h7 c1c2",
      "position fen 4k3/8/8/8/8/8/8/5KR1 w K - 0 1 moves f1g1 e8d8 f1f7 d8e8 g1h1",
  };
  for (bool chess960 : {false, true}) {
    SCOPED_TRACE(chess960 ? "UCI_Chess960 on" : "UCI_Chess960 off");
    auto engine = start();
    if (chess960) {
      EXPECT_EQ(engine->ask("setoption name UCI_Chess960 value true"), Lines{"info string UCI_Chess960 set to 1"});
    }
    expect_accepted(*engine, castling);
    expect_refused(*engine, {
                                {"position startpos moves e1g1", "e1g1"},
                                {"position startpos moves e2e4 e7e5 e1h1", "e1h1"},
                                {"position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1 moves e1g1", "e1g1"},
                                {"position fen r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1 moves e1c1", "e1c1"},
                                {"position fen r3k2r/8/8/8/8/8/8/R3K2R w Kk - 0 1 moves e1g1 e8c8", "e8c8"},
                            });
  }
}

TEST(UciPosition, EnPassant) {
  auto engine = start();
  expect_accepted(*engine, {
                               "position startpos moves e2e4 g8f6 e4e5 d7d5 e5d6",
                               "position startpos moves d2d4 e7e5 a2a3 e5e4 f2f4 e4f3",
                               // The captured pawn leaves d5: the rook then crosses the rank.
                               "position fen 4k3/8/8/R2pP3/8/8/8/4K3 w - d6 0 1 moves e5d6 e8f8 a5h5",
                           });
  expect_refused(*engine, {
                              {"position fen 4k3/8/8/R2pP3/8/8/8/4K3 w - - 0 1 moves e5d6", "e5d6"},
                              {"position startpos moves e2e4 g8f6 e4e5 d7d5 b1c3 b8c6 e5d6", "e5d6"},
                          });
}

TEST(UciPosition, PromotionsMakeThePieceNamed) {
  auto engine = start();
  const std::string fen = "position fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves ";
  expect_accepted(*engine, {
                               fen + "b7b8q e8e7 b8b1 e7e6 b1h7",
                               fen + "b7b8 e8e7 b8b1 e7e6 b1h7",  // no letter: a queen
                               fen + "b7b8r e8e7 b8b1",
                               fen + "b7b8b e8e7 b8h2",
                               fen + "b7b8n e8e7 b8c6",
                               "position fen r3k3/1P6/8/8/8/8/8/4K3 w - - 0 1 moves b7a8q e8e7 a8a1",
                               "position fen 4k3/8/8/8/8/8/1p6/4K3 b - - 0 1 moves b2b1n e1e2 b1c3",
                           });
  expect_refused(*engine, {
                              {fen + "b7b8r e8e7 b8h2", "b8h2"},
                              {fen + "b7b8b e8e7 b8b1", "b8b1"},
                              {fen + "b7b8n e8e7 b8b1", "b8b1"},
                              {fen + "b7b8k", "b7b8k"},
                              {fen + "b7b8Q", "b7b8Q"},
                          });
}

TEST(UciPosition, TheFirstUnplayableWordEndsTheMoveList) {
  auto engine = start();
  expect_refused(*engine, {
                              // The first e2e4 is made, so the second finds e2 empty.
                              {"position startpos moves e2e4 e2e4 e7e5", "e2e4"},
                              {"position startpos moves e2e4 e7e5 zz e1e2", "zz"},
                              {"position startpos moves e7e5", "e7e5"},
                              {"position startpos moves e2e5", "e2e5"},
                              {"position startpos moves E2E4", "E2E4"},
                              {"position startpos moves e2-e4", "e2-e4"},
                              {"position startpos moves e2e4e", "e2e4e"},
                              {"position startpos moves i2i4", "i2i4"},
                              {"position fen 4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1 moves e2c3", "e2c3"},
                              {"position fen 4k3/8/8/8/8/8/3r4/4K3 w - - 0 1 moves e1e2", "e1e2"},
                          });
  expect_accepted(*engine, {
                               "position startpos",
                               "position startpos moves",
                               "position startpos moves e2e4 e7e5 e1e2 e8e7",
                               "position fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1 moves",
                               "position fen 4k3/8/8/8/8/8/8/4K3 w - -",
                           });
}

TEST(UciPosition, SideToMoveComesFromTheFen) {
  auto engine = start();
  const std::string fen = "position fen rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1 moves ";
  expect_accepted(*engine, {fen + "e7e5 g1f3"});
  expect_refused(*engine, {{fen + "d2d4", "d2d4"}});
}

TEST(UciPosition, UnplayableFenIsRefused) {
  auto engine = start();
  const std::string refused = "info string invalid FEN, position unchanged";
  for (const std::string fen : {
           "8/8/8/8/8/8/8/8 w - - 0 1",       // no kings
           "8/8/8/3kK3/8/8/8/8 w - - 0 1",    // kings side by side
           "4k3/8/8/8/8/8/8/4RK2 w - - 0 1",  // the side not to move is in check
           "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",  // a pawn on the last rank
           "4k3/8/8/8/8/8/8/4K2K w - - 0 1",  // two white kings
       }) {
    EXPECT_EQ(engine->ask("position fen " + fen), Lines{refused}) << fen;
    // The moves after a refused set-up are not looked at.
    EXPECT_EQ(engine->ask("position fen " + fen + " moves e2e4 zz"), Lines{refused}) << fen;
  }
}

TEST(UciPosition, NineHundredMovesAtMost) {
  auto engine = start();
  std::string moves;
  for (int i = 0; i < 225; ++i) moves += " g1f3 g8f6 f3g1 f6g8";
  expect_accepted(*engine, {"position startpos moves" + moves});
  EXPECT_EQ(engine->ask("position startpos moves" + moves + " g1f3 g8f6"),
            Lines{"info string too many moves, g1f3 and the rest ignored"});
  // Each "position" starts the count afresh.
  expect_accepted(*engine, {"position startpos moves" + moves});
}

// ---------------------------------------------------------------------------------------
// The line reader

TEST(UciInput, OverlongLinesAreDroppedWithOneReport) {
  auto engine = start();
  const std::string too_long = "info string input line too long, ignored";
  EXPECT_EQ(engine->ask(std::string(10000, 'x')), Lines{too_long});
  EXPECT_EQ(engine->ask("setoption name Contempt value 5" + std::string(10000, ' ')), Lines{too_long});
  // 4998 characters are still a line; 4999 are not.
  std::string command = "setoption name OwnBook_Variety value 7";
  EXPECT_EQ(engine->ask(command + std::string(4998 - command.size(), ' ')),
            Lines{"info string OwnBook_Variety set to 7"});
  EXPECT_EQ(engine->ask(command + std::string(4999 - command.size(), ' ')), Lines{too_long});
  // Contempt stayed untouched by the dropped line.
  engine->expect_uci({{"OwnBook_Variety", "7"}});
  // Long lines arriving together with others, in one write.
  const std::string selectivity = "setoption name Selectivity value 90";
  engine->process().send_raw("isready\n" + selectivity + std::string(4998 - selectivity.size(), ' ') + "\r\n" +
                             std::string(5005, 'y') + "\nisready\n");
  EXPECT_EQ(engine->process().read_until("readyok"), Lines{"readyok"});
  EXPECT_EQ(engine->process().read_until("readyok"),
            (Lines{"info string Selectivity set to 90", too_long, "readyok"}));
}

TEST(UciInput, BinaryGarbageIsIgnored) {
  auto engine = start();
  std::string garbage;
  unsigned state = 12345;
  while (garbage.size() < 3000) {
    state = state * 1103515245u + 12345u;
    unsigned char c = static_cast<unsigned char>(state >> 16);
    if (c < 0x20 || c >= 0x80) garbage.push_back(static_cast<char>(c));  // no letters or blanks
  }
  engine->process().send_raw(garbage);
  EXPECT_EQ(engine->ask(Lines{""}), Lines{});
  engine->expect_uci();
}

TEST(UciInput, LineEnds) {
  auto engine = start();
  // CR, LF, CR LF, NUL and '@' all end a line; runs of them make no empty commands.
  engine->process().send_raw("setoption name OwnBook_File value a.bin\r\n"s);
  engine->process().send_raw("setoption name OwnBook2_File value b.bin\0"s);
  engine->process().send_raw("setoption name NN_File value embedded@");
  engine->process().send_raw("setoption name OwnBook_File value c@d.bin\r");
  engine->process().send_raw("\r\n\0\0@isready\r\nisready\n"s);
  engine->process().send("quit");
  Lines lines;
  while (auto line = engine->process().read_line()) lines.push_back(*line);
  // The network reload may add lines after its reply.
  lines.erase(std::remove_if(lines.begin(), lines.end(), is_network_line), lines.end());
  EXPECT_EQ(lines, (Lines{"info string OwnBook_File set to 'a.bin'", "info string OwnBook2_File set to 'b.bin'",
                          "info string NN_File set to 'embedded'", "info string OwnBook_File set to 'c'", "readyok",
                          "readyok"}));
  EXPECT_EQ(engine->process().wait_exit(), 0);
}

TEST(UciInput, TwoCommandsInOneWrite) {
  auto engine = start();
  engine->process().send_raw("isready\nuci\n");
  Lines lines = engine->process().read_until("uciok");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "readyok");
  Lines reply(lines.begin() + 1, lines.end());
  EXPECT_EQ(reply, engine->expected_uci({}, reply));
}

TEST(UciInput, QuitIgnoresWhatFollows) {
  auto engine = start();
  engine->process().send_raw("quit\nisready\nuci\n");
  EXPECT_EQ(engine->process().wait_exit(), 0);
  EXPECT_EQ(rest_of_output(engine->process()), Lines{});
}

TEST(UciInput, ClosedInputEndsTheEngineNormally) {
  {
    auto engine = start();
    engine->process().send("isready");
    engine->process().close_input();
    EXPECT_EQ(engine->process().read_line(), "readyok");
    EXPECT_EQ(engine->process().wait_exit(), 0);
  }
  {
    // Closed before a single command: start-up completes, then the engine ends.
    EngineProcess engine;
    engine.close_input();
    EXPECT_EQ(engine.wait_exit(), 0);
    Lines output = rest_of_output(engine);
    ASSERT_GE(output.size(), 4u);
    EXPECT_EQ(Lines(output.begin(), output.begin() + 3), joined({kHello}, table_lines(64)));
    EXPECT_TRUE(uci_test::is_calibration_line(output.back())) << output.back();
  }
}

}  // namespace
