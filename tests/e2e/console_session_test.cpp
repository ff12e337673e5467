// Console sessions as a person at a terminal runs them: setting up positions, making
// moves in SAN and coordinate form, stepping through the game, editing and mirroring
// the board, listing exchanges. Every expected board is derived by hand from the moves.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "console_support.h"

namespace {

using e2e::Console;
using e2e::diagram;
using e2e::join;
using e2e::Lines;
using e2e::moved;
using e2e::start_diagram;

// Starts a search with `command` ("mv", "an 3") and returns the move it reports ("move=
// e2e4, ..."), once everything the search prints has been read.
std::string search_for_move(Console& console, const std::string& command) {
  console.engine().send(command);
  std::string move;
  while (std::optional<std::string> line = console.engine().read_line()) {
    if (line->rfind("move= ", 0) != 0) continue;
    move = line->substr(6, line->find(',') - 6);
    break;
  }
  console.run(Lines{});
  return move;
}

TEST(ConsoleStartup, GreetsThenShowsTheStartBoard) {
  Console console;
  const Lines board{
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0",
      "  r n b q k b n r",
      "  o o o o o o o o",
      "  - + - + - + - +",
      "  + - + - + - + -",
      "  - + - + - + - +",
      "  + - + - + - + -",
      "  P P P P P P P P",
      "  R N B Q K B N R",
      "white",
      "",
  };
  // The greeting comes first and the board last; between them only the diagnostic
  // lines of start-up (table size, evaluation, speed measurement).
  const Lines& startup = console.startup();
  ASSERT_GE(startup.size(), board.size() + 1);
  EXPECT_EQ(startup.front(), "info string Hello from Nesk 7.07");
  EXPECT_EQ(Lines(startup.end() - board.size(), startup.end()), board);
  for (size_t i = 1; i + board.size() < startup.size(); ++i)
    EXPECT_EQ(startup[i].rfind("info string ", 0), 0u) << startup[i];
  EXPECT_EQ(board, start_diagram());
  EXPECT_EQ(console.run("bd"), start_diagram());
}

TEST(ConsoleFen, SetsThePositionAndShowsIt) {
  Console console;
  // The full-move number is not read; the report counts moves made since set-up.
  const std::string italian = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 0";
  EXPECT_EQ(console.run("fen r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"), diagram(italian));
  EXPECT_EQ(console.run("bd"), diagram(italian));

  // Missing counters read as 0.
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/8/8/4K3 b - -"), diagram("4k3/8/8/8/8/8/8/4K3 b - - 0 0"));
  // A side field other than w or b keeps the side of the previous position.
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/8/4P3/4K3 - - -"), diagram("4k3/8/8/8/8/8/4P3/4K3 b - - 0 0"));
  // A right is granted only where the rook stands on that wing of the king's home rank.
  EXPECT_EQ(console.run("fen r3k3/8/8/8/8/8/8/4K2R w KQkq - 0 1"), diagram("r3k3/8/8/8/8/8/8/4K2R w Kq - 0 0"));
  // A king off its home rank has no rights.
  EXPECT_EQ(console.run("fen r3k2r/8/8/8/8/8/4K3/R6R w KQkq - 0 1"), diagram("r3k2r/8/8/8/8/8/4K3/R6R w kq - 0 0"));
  // Rook-file letters choose the wing: H, A, h, a on the start position mean KQkq.
  EXPECT_EQ(console.run("fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha - 0 1"), start_diagram());
  // An en-passant square behind a pawn that has just moved two squares is kept.
  EXPECT_EQ(console.run("fen rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3"),
            diagram("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 0"));
  EXPECT_EQ(console.run("dxe3"), moved("1. move d4e3", "rnbqkbnr/ppp1pppp/8/8/8/4p3/PPPP1PPP/RNBQKBNR w KQkq - 0 1"));

  EXPECT_EQ(console.run("new"), start_diagram());
}

TEST(ConsoleFen, KingSideLetterMeansTheOutermostRook) {
  // With rooks on f1 and h1 beside the king on e1, "K" names the h1 rook (as in X-FEN);
  // castling then brings that rook to f1, so the f1 rook must first make room.
  Console console;
  EXPECT_EQ(console.run("fen r3k2r/8/8/8/8/8/8/R3KR1R w KQkq - 0 1"),
            diagram("r3k2r/8/8/8/8/8/8/R3KR1R w KQkq - 0 0"));
  EXPECT_EQ(console.run("O-O"), Lines{"invalid: O-O"});
  EXPECT_EQ(console.run("Rf3"), moved("1. move f1f3", "r3k2r/8/8/8/8/5R2/8/R3K2R b KQkq - 1 1"));
  EXPECT_EQ(console.run("Rb8"), moved("1. move a8b8", "1r2k2r/8/8/8/8/5R2/8/R3K2R w KQk - 2 2"));
  EXPECT_EQ(console.run("O-O"), moved("2. move e1g1", "1r2k2r/8/8/8/8/5R2/8/R4RK1 b k - 0 3"));
}

TEST(ConsoleFen, EnPassantSquareNeedsAPawnThatJustPassedIt) {
  // An en-passant square is kept only where a pawn of the side that just moved stands
  // in front of it and the square and the one behind it are empty.
  Console console;
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/8/8/4K3 w - e6 0 1"), diagram("4k3/8/8/8/8/8/8/4K3 w - - 0 0"));
  EXPECT_EQ(console.run("fen 4k3/8/8/4pP2/8/8/8/4K3 w - e6 0 1"), diagram("4k3/8/8/4pP2/8/8/8/4K3 w - e6 0 0"));
  EXPECT_EQ(console.run("fxe6"), moved("1. move f5e6", "4k3/8/4P3/8/8/8/8/4K3 b - - 0 1"));
}

TEST(ConsoleMoves, SanAndCoordinateWordsPlayTheGame) {
  Console console;
  EXPECT_EQ(console.run("e4"), moved("1. move e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
  EXPECT_EQ(console.run("e7e5"), moved("1. move e7e5", "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2"));
  EXPECT_EQ(console.run("Nf3"),
            moved("2. move g1f3", "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3"));
  EXPECT_EQ(console.run("move b8c6"),
            moved("2. move b8c6", "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 4"));
  EXPECT_EQ(console.run("Bb5"),
            moved("3. move f1b5", "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 3 5"));
  EXPECT_EQ(console.run("a6"),
            moved("3. move a7a6", "r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 6"));
  EXPECT_EQ(console.run("Bxc6"),
            moved("4. move b5c6", "r1bqkbnr/1ppp1ppp/p1B5/4p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq - 0 7"));
  EXPECT_EQ(console.run("dxc6"),
            moved("4. move d7c6", "r1bqkbnr/1pp2ppp/p1p5/4p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 0 8"));
  EXPECT_EQ(console.run("O-O"),
            moved("5. move e1g1", "r1bqkbnr/1pp2ppp/p1p5/4p3/4P3/5N2/PPPP1PPP/RNBQ1RK1 b kq - 0 9"));
  EXPECT_EQ(console.run("Bg4"),
            moved("5. move c8g4", "r2qkbnr/1pp2ppp/p1p5/4p3/4P1b1/5N2/PPPP1PPP/RNBQ1RK1 w kq - 1 10"));
  EXPECT_EQ(console.run("h3"),
            moved("6. move h2h3", "r2qkbnr/1pp2ppp/p1p5/4p3/4P1b1/5N1P/PPPP1PP1/RNBQ1RK1 b kq - 0 11"));
  EXPECT_EQ(console.run("Bxf3"),
            moved("6. move g4f3", "r2qkbnr/1pp2ppp/p1p5/4p3/4P3/5b1P/PPPP1PP1/RNBQ1RK1 w kq - 0 12"));
  EXPECT_EQ(console.run("Qxf3"),
            moved("7. move d1f3", "r2qkbnr/1pp2ppp/p1p5/4p3/4P3/5Q1P/PPPP1PP1/RNB2RK1 b kq - 0 13"));
  EXPECT_EQ(console.run("Qd4"),
            moved("7. move d8d4", "r3kbnr/1pp2ppp/p1p5/4p3/3qP3/5Q1P/PPPP1PP1/RNB2RK1 w kq - 1 14"));
  // A capture that gives check, typed with its check mark.
  EXPECT_EQ(console.run("Qxf7+"),
            moved("8. move f3f7", "r3kbnr/1pp2Qpp/p1p5/4p3/3qP3/7P/PPPP1PP1/RNB2RK1 b kq - 0 15"));
}

TEST(ConsoleMoves, CastlingInEveryWrittenForm) {
  Console console;
  // Castling resets the half-move clock.
  const std::string setup = "fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 5 1";
  const Lines king_side = moved("1. move e1g1", "r3k2r/8/8/8/8/8/8/R4RK1 b kq - 0 1");
  const Lines queen_side = moved("1. move e1c1", "r3k2r/8/8/8/8/8/8/2KR3R b kq - 0 1");
  for (const char* word : {"O-O", "0-0", "o-o", "e1g1", "e1h1", "O-O+"}) {
    console.run(setup);
    EXPECT_EQ(console.run(word), king_side) << word;
  }
  for (const char* word : {"O-O-O", "0-0-0", "e1c1", "e1a1"}) {
    console.run(setup);
    EXPECT_EQ(console.run(word), queen_side) << word;
  }

  // After white castles king-side its rook on f1 watches f8, which the black king would
  // cross; the queen-side crosses d8 and c8 only.
  console.run({setup, "O-O"});
  EXPECT_EQ(console.run("O-O"), Lines{"invalid: O-O"});
  EXPECT_EQ(console.run("e8g8"), Lines{"invalid: e8g8"});
  EXPECT_EQ(console.run("O-O-O"), moved("1. move e8c8", "2kr3r/8/8/8/8/8/8/R4RK1 w - - 0 2"));

  // b1 under attack does not stop queen-side castling: the king never crosses it.
  console.run("fen 1r2k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
  EXPECT_EQ(console.run("O-O-O"), moved("1. move e1c1", "1r2k3/8/8/8/8/8/8/2KR4 b - - 0 1"));
  // d1 under attack does.
  console.run("fen 3rk3/8/8/8/8/8/8/R3K3 w Q - 0 1");
  EXPECT_EQ(console.run("O-O-O"), Lines{"invalid: O-O-O"});
  // Nor may a king in check castle.
  console.run("fen 4r1k1/8/8/8/8/8/8/4K2R w K - 0 1");
  EXPECT_EQ(console.run("O-O"), Lines{"invalid: O-O"});
}

TEST(ConsoleMoves, PromotionsNameTheirPiece) {
  Console console;
  const std::string setup = "fen 1n2k3/P7/8/8/8/8/8/4K3 w - - 0 1";
  const Lines before = diagram("1n2k3/P7/8/8/8/8/8/4K3 w - - 0 0");
  EXPECT_EQ(console.run(setup), before);

  EXPECT_EQ(console.run("a8=Q"), moved("1. move a7a8=Q", "Qn2k3/8/8/8/8/8/8/4K3 b - - 0 1"));
  EXPECT_EQ(console.run("undo"), before);
  EXPECT_EQ(console.run("a7a8n"), moved("1. move a7a8=N", "Nn2k3/8/8/8/8/8/8/4K3 b - - 0 1"));
  EXPECT_EQ(console.run("undo"), before);
  EXPECT_EQ(console.run("a8r"), moved("1. move a7a8=R", "Rn2k3/8/8/8/8/8/8/4K3 b - - 0 1"));
  EXPECT_EQ(console.run("undo"), before);
  // The rook on b8 checks the king along the rank.
  EXPECT_EQ(console.run("axb8=R+"), moved("1. move a7b8=R", "1R2k3/8/8/8/8/8/8/4K3 b - - 0 1"));
  EXPECT_EQ(console.run("undo"), before);
  EXPECT_EQ(console.run("a7b8=b"), moved("1. move a7b8=B", "1B2k3/8/8/8/8/8/8/4K3 b - - 0 1"));
  EXPECT_EQ(console.run("undo"), before);

  // Without the piece letter the promotion names no move.
  EXPECT_EQ(console.run("a8"), Lines{"invalid: a8"});
  EXPECT_EQ(console.run("a7a8"), Lines{"invalid: a7a8"});
  EXPECT_EQ(console.run("bd"), before);
}

TEST(ConsoleMoves, AmbiguousAndDisambiguatedPieceMoves) {
  Console console;
  const Lines before = diagram("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 0");
  const Lines b_knight = moved("1. move b1d2", "4k3/8/8/8/8/5N2/3N4/4K3 b - - 1 1");
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1"), before);
  // Both knights reach d2, so the bare Nd2 names two moves.
  EXPECT_EQ(console.run("Nd2"), (Lines{"ambiguous move", "invalid: Nd2"}));
  for (const char* word : {"Nbd2", "N1d2", "b1d2"}) {
    EXPECT_EQ(console.run(word), b_knight) << word;
    EXPECT_EQ(console.run("undo"), before);
  }
  EXPECT_EQ(console.run("Nfd2"), moved("1. move f3d2", "4k3/8/8/8/8/8/3N4/1N2K3 b - - 1 1"));
  EXPECT_EQ(console.run("undo"), before);
  EXPECT_EQ(console.run("Nb1d2"), Lines{"invalid: Nb1d2"});

  // Knights on one file: the file names both, the rank tells them apart.
  EXPECT_EQ(console.run("fen 4k3/8/8/8/8/1N6/8/1N2K3 w - - 0 1"), diagram("4k3/8/8/8/8/1N6/8/1N2K3 w - - 0 0"));
  EXPECT_EQ(console.run("Nbd2"), (Lines{"ambiguous move", "invalid: Nbd2"}));
  EXPECT_EQ(console.run("N1d2"), moved("1. move b1d2", "4k3/8/8/8/8/1N6/3N4/4K3 b - - 1 1"));

  // A pinned knight cannot go to d2, so the bare Nd2 names the other one.
  EXPECT_EQ(console.run("fen 4k3/8/8/7K/8/5N2/8/1N1b4 w - - 0 1"), diagram("4k3/8/8/7K/8/5N2/8/1N1b4 w - - 0 0"));
  EXPECT_EQ(console.run("Nd2"), moved("1. move b1d2", "4k3/8/8/7K/8/5N2/3N4/3b4 b - - 1 1"));
}

TEST(ConsoleHistory, UndoRedoAndJumpWalkTheGame) {
  Console console;
  const Lines after_e4 = diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  const Lines after_e5 = diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
  const Lines after_nf3 = diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3");
  const Lines after_nc6 = diagram("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 4");

  // Taking back at the set-up position changes nothing.
  EXPECT_EQ(console.run("undo"), start_diagram());
  EXPECT_EQ(console.run("]"), Lines{});

  console.run({"e4", "e5", "Nf3", "Nc6"});
  EXPECT_EQ(console.run("undo"), after_nf3);
  EXPECT_EQ(console.run("["), after_e5);
  // Redo announces the stored move, then plays it as a typed move word.
  EXPECT_EQ(console.run("]"), join({{"2. move g1f3", "2. move g1f3"}, after_nf3}));
  EXPECT_EQ(console.run("]"), join({{"2... move b8c6", "2. move b8c6"}, after_nc6}));
  EXPECT_EQ(console.run("]"), Lines{});

  // jump n replays 2n - 2 half-moves from the set-up position, as far as moves are stored.
  EXPECT_EQ(console.run("jump 2"), after_e5);
  EXPECT_EQ(console.run("jump 1"), start_diagram());
  EXPECT_EQ(console.run("jump 3"), after_nc6);
  EXPECT_EQ(console.run("jump 9"), after_nc6);
  EXPECT_EQ(console.run("jump 2000000000"), after_nc6);
  EXPECT_EQ(console.run("jump -2000000000"), start_diagram());

  // Typing the stored move keeps the rest of the line.
  console.run("jump 1");
  EXPECT_EQ(console.run("e2e4"), join({{"1. move e2e4"}, after_e4}));
  EXPECT_EQ(console.run("]"), join({{"1... move e7e5", "1. move e7e5"}, after_e5}));
  // A different move ends it.
  console.run("jump 1");
  const Lines after_d4 = diagram("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1");
  EXPECT_EQ(console.run("d4"), join({{"1. move d2d4"}, after_d4}));
  EXPECT_EQ(console.run("]"), Lines{});
  EXPECT_EQ(console.run("jump 5"), after_d4);

  // A new position empties the history.
  console.run("fen 4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  EXPECT_EQ(console.run("undo"), diagram("4k3/8/8/8/8/8/8/4K3 w - - 0 0"));
  EXPECT_EQ(console.run("]"), Lines{});
  EXPECT_EQ(console.run("new"), start_diagram());
  EXPECT_EQ(console.run("]"), Lines{});
}

// Only moves that were played are replayed. Perft makes and takes back moves on the game's
// board without touching the line that "]" and "jump" follow; the engine's own move,
// like any new move, ends it.
TEST(ConsoleHistory, RedoFollowsOnlyPlayedMoves) {
  Console console;
  console.run({"e4", "perft 2"});
  EXPECT_EQ(console.run("]"), Lines{});
  console.run({"new", "perft 4"});
  EXPECT_EQ(console.run("jump 3"), start_diagram());

  console.run({"e4", "e5", "undo", "perft 3"});
  EXPECT_EQ(console.run("]"),
            join({{"1... move e7e5", "1. move e7e5"},
                  diagram("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2")}));

  // Stored: Kf7 Ke2. The engine takes the queen instead, and Ke2 is not replayed after it.
  console.run({"fen 4k3/8/8/4p3/3Q4/8/8/4K3 b - - 0 1", "Kf7", "Ke2", "undo", "undo", "set depth 2"});
  EXPECT_EQ(search_for_move(console, "mv"), "e5d4");
  EXPECT_EQ(console.run("]"), Lines{});
  EXPECT_EQ(console.run("jump 9"), diagram("4k3/8/8/8/3p4/8/8/4K3 w - - 0 1"));

  // The stored castling is replayed although its text is also the king's step d1c1
  // (Chess960 set up, the option then turned off).
  console.run({"set frc 1", "fen 4k3/8/8/8/8/8/8/R2K4 w A - 0 1", "O-O-O", "undo", "set frc 0"});
  EXPECT_EQ(console.run("]"), join({{"1. move d1c1", "1. move d1c1"}, diagram("4k3/8/8/8/8/8/8/2KR4 b - - 0 1")}));
}

// "pv" shows the line the search has just found (the root itself is not in the table).
TEST(ConsoleAnalysis, PvShowsTheLineJustFound) {
  Console console;
  console.run("fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  EXPECT_EQ(search_for_move(console, "an 3"), "a1a8");
  EXPECT_EQ(console.run("pv"), join({{"PV: Ra8+", ""}, diagram("R5k1/5ppp/8/8/8/8/8/6K1 b - - 1 1")}));
  // The board is as before.
  EXPECT_EQ(console.run("bd"), diagram("6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 0"));
}

// "set multipv 0" still leaves one line to search; "set ss 1" goes back to the settings
// the engine was started with, console mode among them.
TEST(ConsoleSet, NoLineCountStopsTheSearchAndDefaultsKeepTheConsole) {
  Console console;
  console.run("set multipv 0");
  EngineProcess& engine = console.engine();
  engine.send("an 4");
  bool searched_depth_four = false;
  std::string result;
  while (std::optional<std::string> line = engine.read_line()) {
    if (line->rfind("00] 04", 0) == 0) searched_depth_four = true;
    if (line->rfind("move= ", 0) == 0) {
      result = *line;
      break;
    }
  }
  EXPECT_TRUE(searched_depth_four);
  EXPECT_FALSE(result.empty());
  engine.read_available();
  EXPECT_EQ(console.run("set ss 1"), Lines{"set default Settings"});
  EXPECT_EQ(console.run("bd"), start_diagram());
}

TEST(ConsoleReverse, MirrorsTheBoardWithColoursSwapped) {
  Console console;
  console.run("fen r3k2r/ppp2ppp/6q1/3pP3/8/8/PPP2PPP/R3K2R w KQkq d6 0 12");
  // Castling rights go; the en-passant square is mirrored and stays usable.
  const Lines reversed = diagram("r3k2r/ppp2ppp/8/8/3Pp3/6Q1/PPP2PPP/R3K2R b - d3 0 0");
  EXPECT_EQ(console.run("reverse"), reversed);
  EXPECT_EQ(console.run("exd3"), moved("1. move e4d3", "r3k2r/ppp2ppp/8/8/8/3p2Q1/PPP2PPP/R3K2R w - - 0 1"));
  EXPECT_EQ(console.run("undo"), reversed);
  // Reversing back gives the first board without its castling rights.
  EXPECT_EQ(console.run("reverse"), diagram("r3k2r/ppp2ppp/6q1/3pP3/8/8/PPP2PPP/R3K2R w - d6 0 0"));

  // The half-move clock is kept.
  console.run("fen 6k1/5ppp/8/8/8/8/1q3PPP/4R1K1 b - - 17 40");
  EXPECT_EQ(console.run("reverse"), diagram("4r1k1/1Q3ppp/8/8/8/8/5PPP/6K1 w - - 17 0"));

  // The game history is emptied: the move made before cannot be taken back.
  console.run({"new", "e4"});
  const Lines mirrored = diagram("rnbqkbnr/pppp1ppp/8/4p3/8/8/PPPPPPPP/RNBQKBNR w - e6 0 0");
  EXPECT_EQ(console.run("reverse"), mirrored);
  EXPECT_EQ(console.run("undo"), mirrored);
}

TEST(ConsoleEdit, BuildsABoardFromPieceWords) {
  Console console;
  const Lines help{
      ".                    end edit",
      "#                    clear board",
      "w  Pa2 Pb2 Kc2       white, pieces",
      "b  Pa7 Pb7 Kc7       black, pieces",
  };
  // The editor answers "edit" with its help at once and then waits for its own lines.
  console.engine().send("edit");
  for (const std::string& expected : help) EXPECT_EQ(console.engine().read_line(), expected);
  // Rights come from KQkq wherever a rook stands for them: none on the black king-side.
  EXPECT_EQ(console.run({"#", "w Ke1 Ra1 Rh1 Pe2", "b Ke8 Ra8 Nb8", "."}),
            diagram("rn2k3/8/8/8/8/8/4P3/R3K2R w KQq - 0 0"));

  // Without "#" the current board is edited; a piece replaces whatever stood there.
  console.run("new");
  EXPECT_EQ(console.run({"edit", "w Qb1", "b qg8", "."}),
            join({help, diagram("rnbqkbqr/pppppppp/8/8/8/8/PPPPPPPP/RQBQKBNR w KQkq - 0 0")}));

  // The side to move is kept; the en-passant square and the history are not.
  console.run({"new", "e4"});
  const Lines edited = diagram("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 0");
  EXPECT_EQ(console.run({"edit", "."}), join({help, edited}));
  EXPECT_EQ(console.run("undo"), edited);
}

TEST(ConsoleEdit, RefusesAnImpossibleBoard) {
  Console console;
  const Lines help{
      ".                    end edit",
      "#                    clear board",
      "w  Pa2 Pb2 Kc2       white, pieces",
      "b  Pa7 Pb7 Kc7       black, pieces",
  };
  // No black king.
  EXPECT_EQ(console.run({"edit", "#", "w Ke1 Qd1", "."}), join({help, {"invalid FEN, position unchanged"}}));
  EXPECT_EQ(console.run("bd"), start_diagram());
  // A white pawn on the last rank.
  EXPECT_EQ(console.run({"edit", "#", "w Ke1 Pa8", "b Ke8", "."}), join({help, {"invalid FEN, position unchanged"}}));
  EXPECT_EQ(console.run("bd"), start_diagram());
}

TEST(ConsoleSwap, ListsTheExchangeOnEveryAttackedPiece) {
  Console console;
  // Nothing is attacked in the start position.
  EXPECT_EQ(console.run("swap"), Lines{});

  // Bxc3 wins the knight: nothing recaptures (350). dxe4 wins a pawn: Nxe4 Nxe4 would
  // cost white a knight for a pawn, so white does not recapture (100). exd5 the same
  // way: Nxd5 Nxd5 loses white's knight (100).
  console.run("fen 4k3/8/5n2/3p4/1b2P3/2N5/8/3QK3 w - - 0 1");
  EXPECT_EQ(console.run("swap"), (Lines{"sq= c3, swap1=  350", "sq= e4, swap1=  100", "sq= d5, swap1=  100"}));

  // Doubled rooks on the d-file: each front rook falls for a rook, the recapture is
  // answered through the x-ray, so the first capture gains a whole rook.
  console.run("fen 3r3k/3r4/8/8/8/8/3R4/3R3K w - - 0 1");
  EXPECT_EQ(console.run("swap"), (Lines{"sq= d2, swap1=  550", "sq= d7, swap1=  550"}));

  // With a knight as the only defender of d7: Rxd7 Nxd7 Rxd7 nets 550 - 550 + 350 = 350;
  // Rxd2 Rxd2 trades a rook for a rook (0).
  console.run("fen 1n5k/3r4/8/8/8/8/3R4/3R3K w - - 0 1");
  EXPECT_EQ(console.run("swap"), (Lines{"sq= d2, swap1=    0", "sq= d7, swap1=  350"}));

  // A king in check shows the king-capture value.
  console.run("fen 4k3/8/8/8/8/8/8/4R1K1 b - - 0 1");
  EXPECT_EQ(console.run("swap"), Lines{"sq= e8, swap1= 9999"});
}

}  // namespace
