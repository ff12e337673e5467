// The PolyGlot key against the format's published examples.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "book/key.h"
#include "book/probe.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "test_support.h"

namespace {

TEST(BookKey, PublishedExamples) {
  struct Case {
    const char* fen;
    uint64_t key;
  };
  // The start position, then 1. e4 d5 2. e5 f5 3. Ke2 Kf7, and 1. a4 b5 2. h4 b4 3. c4
  // bxc3 4. Ra3: en-passant files count only where a capture is possible, castling rights
  // leave with the king's and the rook's moves.
  const Case cases[] = {
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0x463B96181691FC9CULL},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1", 0x823C9B50FD114196ULL},
      {"rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 0x0756B94461C50FB0ULL},
      {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2", 0x662FAFB965DB29D4ULL},
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 0x22A48B5A8E47FF78ULL},
      {"rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR b kq - 0 3", 0x652A607CA3F242C1ULL},
      {"rnbq1bnr/ppp1pkpp/8/3pPp2/8/8/PPPPKPPP/RNBQ1BNR w - - 0 4", 0x00FDD303C946BDD9ULL},
      {"rnbqkbnr/p1pppppp/8/8/PpP4P/8/1P1PPPP1/RNBQKBNR b KQkq c3 0 3", 0x3C8123EA7B067637ULL},
      {"rnbqkbnr/p1pppppp/8/8/P6P/R1p5/1P1PPPP1/1NBQKBNR b Kkq - 0 4", 0x5C3F9B829B279560ULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    EXPECT_EQ(book::book_key(nesk_test::set_up(c.fen)), c.key);
  }
}

// The same position reached by moves has the same key, and the en-passant square of a
// double step counts only where a pawn can take.
TEST(BookKey, MovesAndTheEnPassantRule) {
  position::Position& pos = nesk_test::set_up(position::kStartFen);
  for (const char* m : {"e2e4", "d7d5", "e4e5", "f7f5"}) position::make_move(pos, nesk_test::mv(m));
  EXPECT_EQ(book::book_key(pos), 0x22A48B5A8E47FF78ULL);
  // After 1. e4 no black pawn stands on d4 or f4: the key ignores e3.
  position::Position& e4 = nesk_test::set_up("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
  uint64_t with_square = book::book_key(e4);
  EXPECT_EQ(with_square, book::book_key(nesk_test::set_up("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -")));
}

// The published examples touch few of the table's numbers. A real book holds the keys of
// thousands of opening positions: following its own moves from the start position must
// keep finding the positions they lead to (a wrong number for any square or right that
// these openings use would lose every position with it).
TEST(BookKey, FollowingATestBookFindsItsPositions) {
  const std::string path = std::string(NESK_TESTDATA) + "/books/performance.bin";
  std::ifstream stream(path, std::ios::binary);
  if (!stream) GTEST_SKIP() << "test book not found at " << path;
  nesk_test::engine_thread();  // the attack tables, which set-up reads
  std::unordered_map<uint64_t, std::vector<uint16_t>> book;
  unsigned char record[16];
  while (stream.read(reinterpret_cast<char*>(record), 16)) {
    uint64_t key = 0;
    for (int i = 0; i < 8; ++i) key = key << 8 | record[i];
    book[key].push_back(static_cast<uint16_t>(record[8] << 8 | record[9]));
  }
  static position::GameHistory history;
  position::Position start{};
  start.game = &history;
  ASSERT_EQ(position::set_position(start, position::kStartFen), 0);
  std::vector<position::Position> frontier{start};
  std::unordered_set<uint64_t> reached{book::book_key(start)};
  int found = 0, missing = 0;
  while (!frontier.empty()) {
    std::vector<position::Position> next;
    for (position::Position pos : frontier) {
      history.undo_index = 0;
      for (uint16_t stored : book[book::book_key(pos)]) {
        position::Move move = book::book_move_to_move(stored, pos);
        if (!position::is_legal_move(pos, move)) continue;
        position::make_move(pos, move);
        uint64_t key = book::book_key(pos);
        if (!book.count(key)) {
          ++missing;
        } else {
          ++found;
          if (reached.insert(key).second) next.push_back(pos);
        }
        position::unmake_move(pos);
      }
    }
    frontier.swap(next);
  }
  // Lines end where the book's games part: about a quarter of the moves lead out of it.
  EXPECT_GT(reached.size(), 4000u);
  EXPECT_GT(found, 3 * missing);
}

}  // namespace
