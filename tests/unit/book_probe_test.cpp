// Book probing: moves to and from the file's form, the variety arithmetic, the weighted
// choice against a real book, and files that are short, unsorted or garbage.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "book/key.h"
#include "book/probe.h"
#include "position/makemove.h"
#include "test_support.h"

namespace {

using namespace position;
using book::BookEntry;
using nesk_test::mv;
using nesk_test::set_up;
using nesk_test::SettingGuard;

// The file's move code, written out from the format's bit layout.
uint16_t code(const char* text, int promotion = 0) {
  return static_cast<uint16_t>(promotion << 12 | (text[1] - '1') << 9 | (text[0] - 'a') << 6 | (text[3] - '1') << 3 |
                               (text[2] - 'a'));
}

// Entries in the file's byte order.
std::string bytes_of(const std::vector<BookEntry>& entries) {
  std::string bytes;
  for (const BookEntry& e : entries) {
    uint64_t fields[4] = {e.key, e.move, e.weight, e.learn};
    int sizes[4] = {8, 2, 2, 4};
    for (int f = 0; f < 4; ++f)
      for (int b = sizes[f] - 1; b >= 0; --b) bytes += static_cast<char>(fields[f] >> (8 * b));
  }
  return bytes;
}

// A book file in /tmp, removed with the object.
class BookFile {
 public:
  explicit BookFile(const std::string& bytes) {
    char pattern[] = "/tmp/nesk-book-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path_ = pattern;
    std::ofstream(path_, std::ios::binary) << bytes;
  }
  ~BookFile() { std::remove(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

class BookProbe : public testing::Test {
 protected:
  static void SetUpTestSuite() { nesk_test::engine_thread(); }
  // Probes report nothing unless a test asks for it.
  SettingGuard uci_mode_{base::settings.uci_mode, 0};
  SettingGuard variety_{base::settings.book_variety, 25};
  float noise_ = base::settings.noise;
  void SetUp() override { base::set_quiet(); }
  void TearDown() override { base::settings.noise = noise_; }
};

constexpr uint64_t kStartKey = 0x463B96181691FC9CULL;
const char* const kSicilianC3 = "rnbqkbnr/pp1ppppp/8/2p5/4P3/2P5/PP1P1PPP/RNBQKBNR b KQkq - 0 2";

TEST_F(BookProbe, MovesBothWays) {
  // Every move of both sides, promotions to all four pieces and castling on both wings
  // among them, comes back from its book form unchanged.
  for (const char* fen : {"r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1", "r3k2r/1P6/8/8/8/8/6p1/R3K2R b KQkq - 0 1"}) {
    Position& pos = set_up(fen);
    int castlings = 0, promotions = 0;
    for (Move m : nesk_test::pseudo_legal_moves(pos)) {
      int type = type_of(pos.board[move_from(m)]);
      castlings += type == kKing && (m & kFlagMask);
      promotions += type == kPawn && (m & kFlagMask);
      EXPECT_EQ(book::book_move_to_move(book::move_to_book_move(pos, m), pos), m) << fen << " " << m;
    }
    EXPECT_EQ(castlings, 2) << fen;
    EXPECT_EQ(promotions, 8) << fen;
  }
  Position& pos = set_up("r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1");
  EXPECT_EQ(book::move_to_book_move(pos, mv("e1g1", kFlagKingSide)), code("e1h1"));
  EXPECT_EQ(book::move_to_book_move(pos, mv("e1c1", kFlagQueenSide)), code("e1a1"));
  EXPECT_EQ(book::move_to_book_move(pos, mv("b7b8", kFlagKnight)), code("b7b8", 1));
  EXPECT_EQ(book::move_to_book_move(pos, mv("b7a8", kFlagQueen)), code("b7a8", 4));
  // Tools that set the promotion field of a castling still mean castling.
  EXPECT_EQ(book::book_move_to_move(code("e1h1", 4), pos), mv("e1g1", kFlagKingSide));
  EXPECT_EQ(book::book_move_to_move(code("e1a1", 1), pos), mv("e1c1", kFlagQueenSide));
  EXPECT_EQ(book::book_move_to_move(code("b7b8", 3), pos), mv("b7b8", kFlagRook));
  EXPECT_EQ(book::book_move_to_move(code("e8h8"), set_up("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1")),
            mv("e8g8", kFlagKingSide));
  // Without the king on e1 (e8) the same squares are an ordinary move.
  Position& rooks = set_up("4q2k/8/8/8/8/8/8/K3R3 w - - 0 1");
  EXPECT_EQ(book::book_move_to_move(code("e1h1"), rooks), mv("e1h1"));
  EXPECT_EQ(book::book_move_to_move(code("e8a8"), rooks), mv("e8a8"));
  EXPECT_TRUE(is_legal_move(rooks, book::book_move_to_move(code("e1h1"), rooks)));
}

TEST_F(BookProbe, VarietyShares) {
  // Written to a file and read back, so the reader's byte order is checked on the way.
  BookFile file(bytes_of({{kStartKey, code("e2e4"), 100, 0},
                 {kStartKey, code("d2d4"), 50, 0},
                 {kStartKey, code("c2c4"), 20, 0},
                 {kStartKey, code("g1f3"), 10, 0}}));
  std::vector<BookEntry> entries(4);
  std::FILE* stream = std::fopen(file.path(), "rb");
  ASSERT_TRUE(stream);
  for (BookEntry& e : entries) ASSERT_EQ(book::book_read_entry(stream, e), 0);
  EXPECT_EQ(book::book_read_entry(stream, entries[0]), 1);
  std::fclose(stream);
  EXPECT_EQ(entries[2].move, code("c2c4"));
  EXPECT_EQ(entries[2].weight, 20);

  // Total 180. At 25 the shares follow the weights; at 100 every weight gains 75 (three
  // quarters of the first weight, 100), at 0 it loses 25 and the two weak moves drop out.
  const std::map<int, std::vector<int32_t>> expected = {
      {25, {5555, 2777, 1111, 555}}, {100, {9722, 6944, 5277, 4722}}, {0, {4166, 1388, 0, 0}}};
  for (const auto& [variety, shares] : expected) {
    std::vector<int32_t> adjusted(4);
    int32_t sum = book::book_shares(entries.data(), 4, variety, adjusted.data());
    EXPECT_EQ(adjusted, shares) << "variety " << variety;
    EXPECT_EQ(sum, shares[0] + shares[1] + shares[2] + shares[3]);
  }

  // The console listing shows each move's weight and share; UCI names the moves only.
  base::settings.noise = 0;
  book::set_book_random_state(1);  // 1 * 12345 + 76543 = 88888: r = 0.888 * 9998 = 8878
  testing::internal::CaptureStdout();
  EXPECT_EQ(book::book_probe(set_up(kStartFen), file.path()), mv("c2c4"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  e2e4  cnt=   100, weight= 55.56% -> 55.56%\n"
            "  d2d4  cnt=    50, weight= 27.78% -> 27.78%\n"
            "  c2c4  cnt=    20, weight= 11.11% -> 11.11%\n"
            "  g1f3  cnt=    10, weight=  5.56% ->  5.55%\n"
            "selecting c2c4\n");
}

TEST_F(BookProbe, PickTakesTheLastEntryBelowTheDraw) {
  const BookEntry entries[3] = {{0, 0, 7, 0}, {0, 0, 3, 0}, {0, 0, 1, 0}};
  const int32_t adjusted[3] = {5000, 0, 3000};
  EXPECT_EQ(book::book_pick(entries, adjusted, 3, 0), 0);
  EXPECT_EQ(book::book_pick(entries, adjusted, 3, 5000), 0);
  EXPECT_EQ(book::book_pick(entries, adjusted, 3, 5001), 2);
  // Moves of weight 0 are never drawn, not even by a draw of 0 when they come first, nor
  // when every share has dropped to 0.
  const BookEntry unweighted[3] = {{0, 0, 0, 0}, {0, 0, 4, 0}, {0, 0, 2, 0}};
  const int32_t shares[3] = {0, 6666, 3333}, zero[3] = {0, 0, 0};
  EXPECT_EQ(book::book_pick(unweighted, shares, 3, 1), 1);
  EXPECT_EQ(book::book_pick(unweighted, shares, 3, 0), 1);
  EXPECT_EQ(book::book_pick(unweighted, zero, 3, 0), 1);
}

// Many probes of positions of the shared book: only its moves come out, as often as the
// shares of its own weights say, flattened at variety 100 and sharpened at 0.
TEST_F(BookProbe, ChoiceFollowsTheWeights) {
  std::string path = std::string(NESK_TESTDATA) + "/books/performance.bin";
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (!stream) GTEST_SKIP() << "book not found at " << path;
  std::vector<BookEntry> all;
  for (BookEntry e; book::book_read_entry(stream, e) == 0;) all.push_back(e);
  std::fclose(stream);
  constexpr int kProbes = 20000;
  for (const char* fen : {kStartFen, kSicilianC3}) {
    Position& pos = set_up(fen);
    std::vector<BookEntry> stored;
    for (const BookEntry& e : all)
      if (e.key == book::book_key(pos)) stored.push_back(e);
    ASSERT_GE(stored.size(), 3u) << fen;
    for (int variety : {25, 100, 0}) {
      base::settings.book_variety = static_cast<uint8_t>(variety);
      double total = 0, sum = 0;
      for (const BookEntry& e : stored) total += e.weight;
      int bias = static_cast<int>((variety - 25) * stored[0].weight / 100.0);
      std::map<Move, double> expected;
      for (const BookEntry& e : stored) sum += std::max(0, e.weight + bias);
      for (const BookEntry& e : stored)
        expected[book::book_move_to_move(e.move, pos)] += std::max(0, e.weight + bias) / sum;
      std::map<Move, int> seen;
      book::set_book_random_state(static_cast<uint32_t>(variety) + 7);
      for (int i = 0; i < kProbes; ++i) ++seen[book::book_probe(pos, path.c_str())];
      for (const auto& [move, count] : seen) {
        ASSERT_TRUE(expected.count(move)) << fen << ": " << move << " is not in the book";
        if (expected[move] == 0) {
          EXPECT_EQ(count, 0) << fen << " variety " << variety;
        }
        EXPECT_NEAR(static_cast<double>(count) / kProbes, expected[move], 0.015) << fen << " variety " << variety;
      }
      for (const auto& [move, share] : expected)
        if (share > 0.02) {
          EXPECT_GT(seen[move], 0) << fen << " variety " << variety;
        }
    }
  }
}

// Files no tool should write: nothing crashes, nothing is read past the end, and what
// comes back is a legal move or nothing.
TEST_F(BookProbe, DamagedFiles) {
  Position& start = set_up(kStartFen);
  std::string entry = bytes_of({{kStartKey, code("e2e4"), 1, 0}});
  EXPECT_EQ(book::book_probe(start, ""), kNoMove);
  EXPECT_EQ(book::book_probe(start, "/tmp/nesk-no-such-book.bin"), kNoMove);
  EXPECT_EQ(book::book_probe(start, "/tmp"), kNoMove);
  EXPECT_EQ(book::book_probe(start, BookFile("").path()), kNoMove);
  EXPECT_EQ(book::book_probe(start, BookFile(entry.substr(0, 15)).path()), kNoMove);
  EXPECT_EQ(book::book_probe(start, BookFile(entry + "x").path()), mv("e2e4"));
  // Out of order, the search misses the key; it never strays past the end.
  EXPECT_EQ(book::book_probe(start, BookFile(bytes_of({{~0ULL, code("e2e4"), 1, 0}}) + entry).path()), kNoMove);
  // A move that is not legal here (a collision or a corrupt entry), or a promotion code
  // the format lacks, is not played.
  EXPECT_EQ(book::book_probe(start, BookFile(bytes_of({{kStartKey, code("e2e5"), 1, 0}})).path()), kNoMove);
  EXPECT_EQ(book::book_probe(start, BookFile(bytes_of({{kStartKey, code("e2e4", 6), 1, 0}})).path()), kNoMove);
  // Only 127 entries of a key count: here they all weigh 0, so the book has no move.
  std::vector<BookEntry> crowded(127, {kStartKey, code("e2e4"), 0, 0});
  crowded.insert(crowded.end(), 73, {kStartKey, code("d2d4"), 5, 0});
  EXPECT_EQ(book::book_probe(start, BookFile(bytes_of(crowded)).path()), kNoMove);
  crowded.erase(crowded.begin());
  // The first entry weighs 0: neither a draw above 0 nor one of 0 plays it. The state
  // 1043801 draws 0: 1043801 * 12345 + 76543 = 898000 (mod 2^32).
  for (uint32_t state : {1u, 1043801u}) {
    book::set_book_random_state(state);
    EXPECT_EQ(book::book_probe(start, BookFile(bytes_of(crowded)).path()), mv("d2d4")) << "state " << state;
  }

  // Unsorted files and random bytes, with keys of the probed positions mixed in so that
  // garbage moves get as far as the legality test.
  std::vector<std::string> fens = {kStartFen, kSicilianC3, "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
                                   "r3k2r/1P6/8/8/8/8/6p1/R3K2R b KQkq - 0 1", "4q2k/8/8/8/8/8/8/K3R3 w - - 0 1"};
  std::vector<uint64_t> keys;
  for (const std::string& fen : fens) keys.push_back(book::book_key(set_up(fen.c_str())));
  std::mt19937 random(2024);
  for (int round = 0; round < 400; ++round) {
    std::vector<BookEntry> entries(random() % 40);
    for (BookEntry& e : entries)
      e = {random() % 3 ? keys[random() % keys.size()] : (uint64_t{random()} << 32 | random()),
           static_cast<uint16_t>(random()), static_cast<uint16_t>(random() % 4 ? random() % 50 : 0), 0};
    std::string bytes = bytes_of(entries) + std::string(random() % 16, static_cast<char>(random()));
    if (round % 4 == 0)
      for (char& c : bytes) c = static_cast<char>(random());
    BookFile file(bytes);
    for (const std::string& fen : fens) {
      Position& pos = set_up(fen.c_str());
      base::settings.book_variety = static_cast<uint8_t>(random() % 101);
      Move move = book::book_probe(pos, file.path());
      EXPECT_TRUE(move == kNoMove || is_legal_move(pos, move)) << fen << " round " << round;
    }
  }
}

}  // namespace
