// Playing from an opening book as a GUI sees it: the book's moves are listed and one of
// them is played at once; out of book, or where the book move repeats into a draw, the
// engine searches. The console lists both books on request.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "book/key.h"
#include "book/probe.h"
#include "engine_process.h"
#include "position/bitboard.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "uci_test_support.h"

namespace {

using uci_test::Lines;
using uci_test::ScratchDirectory;
using uci_test::UciEngine;

constexpr uint64_t kStartKey = 0x463B96181691FC9CULL;

std::string square_name(int square) { return {static_cast<char>('a' + square % 8), static_cast<char>('1' + square / 8)}; }
std::string move_name(uint16_t move) { return square_name((move >> 6) & 63) + square_name(move & 63); }

std::string performance_book() { return std::string(NESK_TESTDATA) + "/books/performance.bin"; }

// The moves of weight above 0 the file stores for `key`, in file order.
std::vector<std::string> stored_moves(const std::string& path, uint64_t key) {
  std::vector<std::string> moves;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return moves;
  for (book::BookEntry e; book::book_read_entry(file, e) == 0;)
    if (e.key == key && e.weight) moves.push_back(move_name(e.move));
  std::fclose(file);
  return moves;
}

uint64_t key_of(const char* fen) {
  static const bool ready = [] {
    position::init_tables();
    position::init_zobrist();
    return true;
  }();
  (void)ready;
  static position::Position pos;  // a bare board: no history needed for the key
  EXPECT_EQ(position::set_position(pos, fen), 0) << fen;
  return book::book_key(pos);
}

// The lines of a "go" up to its "bestmove".
Lines go(UciEngine& engine, const std::string& position) {
  engine.process().send(position);
  engine.process().send("go depth 5");
  Lines lines;
  while (auto line = engine.process().read_line(30000)) {
    lines.push_back(*line);
    if (line->rfind("bestmove ", 0) == 0) return lines;
  }
  ADD_FAILURE() << "no bestmove after " << position;
  return lines;
}

bool searched(const Lines& lines) {
  for (const std::string& l : lines)
    if (l.rfind("info depth ", 0) == 0) return true;
  return false;
}

TEST(BookPlay, BookMoveAtOnceThenSearchOutOfBook) {
  std::vector<std::string> moves = stored_moves(performance_book(), kStartKey);
  if (moves.empty()) GTEST_SKIP() << "book not found at " << performance_book();
  ScratchDirectory dir;
  UciEngine engine({}, dir.path());
  engine.ask("setoption name OwnBook_File value " + performance_book());
  std::string listing = "info string ( book moves are: ";
  for (const std::string& m : moves) listing += m + " ";
  listing += " )";
  for (int game = 0; game < 6; ++game) {
    Lines lines = go(engine, "position startpos");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], listing);
    std::string chosen = lines[2].substr(9);
    EXPECT_EQ(lines[1], "info string book move is " + chosen);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), chosen), 1) << chosen;
  }
  // A lone king and rook are in no opening book.
  Lines lines = go(engine, "position fen 8/8/8/4k3/8/8/4K3/4R3 w - - 0 1");
  EXPECT_TRUE(searched(lines));
  EXPECT_TRUE(std::none_of(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.find("book") != std::string::npos; }));
  engine.quit();
}

TEST(BookPlay, MoveIntoARepetitionDrawIsNotPlayed) {
  ScratchDirectory dir;
  // After 1. Nf3 Nf6 2. Ng1 the book answers Ng8.
  uint64_t key = key_of("rnbqkb1r/pppppppp/5n2/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 3 2");
  book::BookEntry entry{key, static_cast<uint16_t>((5 << 9) | (5 << 6) | (7 << 3) | 6), 1, 0};
  std::string bytes;
  for (int b = 7; b >= 0; --b) bytes += static_cast<char>(entry.key >> (8 * b));
  bytes += {static_cast<char>(entry.move >> 8), static_cast<char>(entry.move), 0, 1, 0, 0, 0, 0};
  uci_test::write_file(dir.file("tiny.bin"), bytes);
  UciEngine engine({}, dir.path());
  engine.ask("setoption name OwnBook_File value tiny.bin");
  Lines first = go(engine, "position startpos moves g1f3 g8f6 f3g1");
  EXPECT_EQ(first, (Lines{"info string ( book moves are: f6g8  )", "info string book move is f6g8", "bestmove f6g8"}));
  // The same position a second time: Ng8 would bring the start position back a third time.
  Lines second = go(engine, "position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1");
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second.front(), "info string ( book moves are: f6g8  )");
  EXPECT_EQ(std::count(second.begin(), second.end(), "info string book move is f6g8"), 0);
  EXPECT_TRUE(searched(second));
  engine.quit();
}

TEST(BookPlay, ConsoleListsBothBooks) {
  std::vector<std::string> moves = stored_moves(performance_book(), kStartKey);
  if (moves.empty()) GTEST_SKIP() << "book not found at " << performance_book();
  ASSERT_EQ(moves.size(), 3u);  // three moves of weight 1 each
  EngineProcess engine({"-c", "-book", performance_book()});
  engine.send("book");
  engine.send("sync");
  Lines lines = engine.read_until("invalid: sync");
  ASSERT_GE(lines.size(), 7u);
  lines.pop_back();
  // Before the listing: the greeting and the board.
  Lines tail(lines.end() - 6, lines.end());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(tail[i], "  " + moves[i] + "  cnt=     1, weight= 33.33% -> 33.33%");
  EXPECT_EQ(std::count(moves.begin(), moves.end(), tail[3].substr(10)), 1) << tail[3];
  EXPECT_EQ(tail[3].substr(0, 10), "selecting ");
  EXPECT_EQ(tail[4], "");  // the end of the first book's list
  EXPECT_EQ(tail[5], "");  // the second book: none named
}

// A pipe named as a book, which nobody writes to, is no book: the engine neither waits on
// it when it plays nor when the console lists the books, and searches instead.
TEST(BookPlay, APipeIsNoBook) {
  ScratchDirectory dir;
  ASSERT_EQ(mkfifo(dir.file("pipe.bin").c_str(), 0600), 0);
  UciEngine engine({}, dir.path());
  engine.ask("setoption name OwnBook_File value pipe.bin");
  engine.process().send("position startpos");
  engine.process().send("go depth 2");
  Lines lines;
  while (auto line = engine.process().read_line(5000)) {
    lines.push_back(*line);
    if (line->rfind("bestmove ", 0) == 0) break;
  }
  ASSERT_FALSE(lines.empty()) << "no answer to go: the engine waits on the pipe";
  EXPECT_EQ(lines.back().rfind("bestmove ", 0), 0u) << lines.back();
  EXPECT_TRUE(searched(lines));
  engine.quit();

  EngineProcess console({"-c", "-book", "pipe.bin"}, dir.path());
  console.send("book");
  console.send("sync");
  EXPECT_FALSE(console.read_until("invalid: sync", 5000).empty()) << "the console waits on the pipe";
  console.send("quit");
  EXPECT_EQ(console.wait_exit(), 0);
}

}  // namespace
