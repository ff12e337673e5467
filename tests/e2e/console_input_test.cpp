// What a console user or a careless script may type: rejected positions, words that name
// no move, overlong lines, control and binary bytes, odd line ends, several commands in
// one write, the end of input, and the switch to the UCI protocol.
#include <gtest/gtest.h>

#include <string>

#include "console_support.h"

namespace {

using e2e::Console;
using e2e::diagram;
using e2e::join;
using e2e::Lines;
using e2e::start_diagram;

const char* const kRefusedFen = "invalid FEN, position unchanged";

TEST(ConsoleBadInput, RejectedFenLeavesThePositionAlone) {
  Console console;
  const Lines kept = diagram("4k3/8/8/8/8/8/4P3/4K3 b - - 3 0");
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/8/4P3/4K3 b - - 3 7"), kept);

  const char* const rejected[] = {
      "8/8/8/8/8/8/8/8 w - -",                       // no kings
      "4k3/8/8/8/8/8/8/8 w - -",                     // no white king
      "8/8/8/8/8/8/8/4K3 b - -",                     // no black king
      "8/8/8/8/8/8/3k4/4K3 w - -",                   // kings side by side
      "4k3/8/8/8/8/8/8/4R1K1 w - -",                 // black, not to move, is in check
      "4k3/8/8/8/8/PPPPPPPP/NNNNNNNN/4K3 w - -",     // seventeen white men
      "4k3/8/8/8/8/P7/PPPPPPPP/4K3 w - -",           // nine white pawns
      "4k3/pppppppp/p7/8/8/8/8/4K3 w - -",           // nine black pawns
      "P3k3/8/8/8/8/8/8/4K3 w - -",                  // white pawn on the last rank
      "4k3/8/8/8/8/8/8/p3K3 w - -",                  // black pawn on the first rank
      "",                                            // nothing at all
      "hello world",                                 // not a FEN
  };
  for (const char* fen : rejected) {
    EXPECT_EQ(console.run({std::string("fen ") + fen, "bd"}), join({{kRefusedFen}, kept})) << fen;
  }
  // A rejected text leaves no trace: its side letter is not taken over either.
  console.run("fen 8/8/8/8/8/8/8/4K3 w - -");
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/8/8/4K3 - - -"), diagram("4k3/8/8/8/8/8/8/4K3 b - - 0 0"));
}

TEST(ConsoleBadInput, WordsThatNameNoMoveAreRefused) {
  Console console;
  // A word starting with two square names is quoted by those four characters.
  const std::pair<const char*, const char*> refused[] = {
      {"e2e5", "invalid: e2e5"},    // no such pawn move
      {"e7e5", "invalid: e7e5"},    // black's pawn, white to move
      {"e2e4#", "invalid: e2e4"},   // a mate sign is not stripped
      {"e2e4xyz", "invalid: e2e4"},
      {"E2E4", "invalid: E2E4"},    // words are case-sensitive
      {"Ke2", "invalid: Ke2"},      // blocked
      {"O-O", "invalid: O-O"},      // pieces in the way
      {"e1g1", "invalid: e1g1"},
      {"Ng1f3", "invalid: Ng1f3"},  // none of the accepted forms
      {"h9h8", "invalid: h9h8"},
      {"BD", "invalid: BD"},
      {"Quit", "invalid: Quit"},
  };
  for (const auto& [word, reply] : refused) EXPECT_EQ(console.run(word), Lines{reply}) << word;
  EXPECT_EQ(console.run("bd"), start_diagram());

  // A pinned knight may not leave the file.
  console.run("fen 4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
  EXPECT_EQ(console.run("Nc3"), Lines{"invalid: Nc3"});
  EXPECT_EQ(console.run("e2c3"), Lines{"invalid: e2c3"});
  // An en-passant capture that empties both squares between king and rook on the rank.
  const Lines pinned = diagram("8/8/8/KPp4r/8/8/8/4k3 w - c6 0 0");
  EXPECT_EQ(console.run("fen 8/8/8/KPp4r/8/8/8/4k3 w - c6 0 1"), pinned);
  EXPECT_EQ(console.run("bxc6"), Lines{"invalid: bxc6"});
  EXPECT_EQ(console.run("b5c6"), Lines{"invalid: b5c6"});
  // The same capture along the file the pawn shields.
  console.run("fen 4k3/8/8/8/3Pp3/8/8/4QK2 b - d3 0 1");
  EXPECT_EQ(console.run("exd3"), Lines{"invalid: exd3"});
  EXPECT_EQ(console.run("bd"), diagram("4k3/8/8/8/3Pp3/8/8/4QK2 b - d3 0 0"));
}

TEST(ConsoleBadInput, OverlongLinesAreDroppedWithOneReport) {
  Console console;
  // Ten thousand characters, then a command in the same write.
  EXPECT_EQ(console.run_raw(std::string(10000, 'x') + "\nbd\n"), join({{"input line too long, ignored"}, start_diagram()}));
  // 4998 characters are the most a line may hold; one more and it is dropped.
  EXPECT_EQ(console.run("bd" + std::string(4996, ' ')), start_diagram());
  EXPECT_EQ(console.run("bd" + std::string(4997, ' ')), Lines{"input line too long, ignored"});
  // A long line that arrives in pieces is dropped just the same.
  console.engine().send_raw(std::string(3000, 'e'));
  console.engine().send_raw(std::string(3000, 'f'));
  EXPECT_EQ(console.run_raw("4\ne4\n"),
            join({{"input line too long, ignored", "1. move e2e4"},
                  diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1")}));
}

TEST(ConsoleBadInput, ControlAndBinaryBytesDoNotUpsetTheReader) {
  Console console;
  // Every byte from 0x80 to 0xFF as one word: refused, quoted up to the 127 characters
  // a word may hold.
  std::string high;
  for (int byte = 0x80; byte <= 0xFF; ++byte) high.push_back(static_cast<char>(byte));
  EXPECT_EQ(console.run(high), Lines{"invalid: " + high.substr(0, 127)});
  EXPECT_EQ(console.run("\xff\xfe e2e4"), Lines{"invalid: \xff\xfe"});
  EXPECT_EQ(console.run("\x1b[2J"), Lines{"invalid: \x1b[2J"});
  // Empty lines are ignored.
  EXPECT_EQ(console.run_raw("\n\n\r\n"), Lines{});
  EXPECT_EQ(console.run("bd"), start_diagram());
}

TEST(ConsoleBadInput, NulCrLfAndAtSignAllEndLines) {
  Console console;
  const Lines after_e4 = diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  const Lines after_e5 = diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
  const Lines after_nf3 = diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3");
  const Lines after_nc6 = diagram("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 4");
  EXPECT_EQ(console.run_raw(std::string("\0\0e4\0", 5)), join({{"1. move e2e4"}, after_e4}));
  EXPECT_EQ(console.run_raw("e5\r\n"), join({{"1. move e7e5"}, after_e5}));
  EXPECT_EQ(console.run_raw("Nf3\r"), join({{"2. move g1f3"}, after_nf3}));
  EXPECT_EQ(console.run_raw("Nc6@bd\r\n"), join({{"2. move b8c6"}, after_nc6, after_nc6}));
}

TEST(ConsoleBadInput, SeveralCommandsInOneWriteRunInOrder) {
  Console console;
  const Lines after_exd5 = diagram("rnbqkbnr/ppp1pppp/8/3P4/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3");
  EXPECT_EQ(console.run_raw("e4\nd5\nexd5\nbd\n"),
            join({{"1. move e2e4"},
                  diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"),
                  {"1. move d7d5"},
                  diagram("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2"),
                  {"2. move e4d5"},
                  after_exd5,
                  after_exd5}));
}

TEST(ConsoleEndOfInput, QuitAndClosedInputBothEndWithStatusZero) {
  {
    Console console;
    console.engine().close_input();
    EXPECT_EQ(console.engine().wait_exit(), 0);
    EXPECT_EQ(console.engine().read_available(), Lines{});
  }
  {
    // Nothing after "quit" is served.
    Console console;
    console.engine().send_raw("quit\nbd\n");
    EXPECT_EQ(console.engine().wait_exit(), 0);
    EXPECT_EQ(console.engine().read_available(), Lines{});
  }
  {
    // A last line without its line end is still a line.
    Console console;
    console.engine().send_raw("e2e4");
    console.engine().close_input();
    EXPECT_EQ(console.engine().wait_exit(), 0);
    EXPECT_EQ(console.engine().read_available(),
              e2e::moved("1. move e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  }
  {
    // Input that ends inside the board editor finishes the edit and the program.
    Console console;
    console.engine().send_raw("edit\n#\nw Ke1\n");
    console.engine().close_input();
    EXPECT_EQ(console.engine().wait_exit(), 0);
    EXPECT_EQ(console.engine().read_available(),
              (Lines{".                    end edit", "#                    clear board",
                     "w  Pa2 Pb2 Kc2       white, pieces", "b  Pa7 Pb7 Kc7       black, pieces", kRefusedFen}));
  }
}

TEST(ConsoleToUci, UciSwitchesToTheProtocol) {
  Console console;
  // Only the whole line "uci" switches; with a trailing blank it is a console word.
  EXPECT_EQ(console.run("uci "), Lines{"invalid: uci"});

  EngineProcess& engine = console.engine();
  engine.send("uci");
  Lines reply = engine.read_until("uciok");
  ASSERT_GE(reply.size(), 3u) << "no uciok";
  EXPECT_EQ(reply[0], "id name Nesk 7.07");
  EXPECT_EQ(reply[1], "id author Drennick");
  for (size_t i = 2; i + 1 < reply.size(); ++i) EXPECT_EQ(reply[i].rfind("option name ", 0), 0u) << reply[i];

  // Console commands mean nothing now: the first reply is the one to "isready".
  engine.send("bd");
  engine.send("e4");
  engine.send("isready");
  EXPECT_EQ(engine.read_line(), "readyok");
  engine.send("quit");
  EXPECT_EQ(engine.wait_exit(), 0);
  EXPECT_EQ(engine.read_available(), Lines{});
}

}  // namespace
