// The shared transposition table: replacement within a bucket, generations, mate-score
// adjustment, sizing, the check word and the validation of stored moves.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "search/tt.h"
#include "search/control.h"
#include "base/settings.h"
#include "test_support.h"

namespace {

using nesk_test::mv;
using nesk_test::set_up;
using position::Move;
using position::Position;
using search::TTEntry;
using search::TTProbe;

constexpr const char* kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// A 1 MB table: 65,536 entries, 32,768 per side, so keys that agree modulo 32,768 share
// a bucket.
constexpr uint64_t kOneMbIndexSpan = 32768;

class Transposition : public testing::Test {
 protected:
  void SetUp() override {
    saved_settings_ = base::settings;
    base::set_default_settings(base::settings);
    search::set_default_control(search::control);
    base::set_quiet();  // no allocation lines
    search::main_thread = &nesk_test::engine_thread();
    use_table(1);
    // Generation 1, whatever the previous tests left behind.
    search::control.tt_age = 0;
    search::tt_new_search();
    base_ = set_up(kStart);
  }

  void TearDown() override {
    base::settings = saved_settings_;
    search::set_default_control(search::control);
  }

  static void use_table(int megabytes) {
    base::settings.hash_mb = megabytes;
    ASSERT_EQ(search::allocate_hash_table(), 1);
  }

  // The start position under another key: the table sees a different position while every
  // stored move stays valid on the board.
  Position with_key(uint64_t key, int side = position::kWhite) const {
    Position p = base_;
    p.key = key;
    p.side = static_cast<uint8_t>(side);
    return p;
  }

  static std::optional<TTProbe> probe(const Position& p, int ply = 0) {
    TTProbe hit{};
    if (!search::tt_probe(p, ply, hit)) return std::nullopt;
    return hit;
  }

  static void store(const Position& p, int depth, Move move, int score = 17, int bound = search::kExactBound,
                    int ply = 0) {
    search::tt_store(p, ply, depth, move, 5, score, bound);
  }

  static TTEntry* bucket(const Position& p) { return const_cast<TTEntry*>(search::tt_bucket(p)); }

  Position base_{};
  base::EngineSettings saved_settings_{};
};

// Keys of four or more distinct positions that land in one bucket of the 1 MB table.
uint64_t colliding_key(int j) { return 0x5A5A000000000123ULL + static_cast<uint64_t>(j) * kOneMbIndexSpan; }

TEST_F(Transposition, StoreWithoutMoveLeavesTheTableUnchanged) {
  Position p = with_key(colliding_key(0));
  TTEntry before[4];
  std::memcpy(before, bucket(p), sizeof before);
  store(p, 7, 0);
  EXPECT_EQ(std::memcmp(before, bucket(p), sizeof before), 0);
  EXPECT_FALSE(probe(p));

  // With a move the same call is stored and found.
  store(p, 7, mv("e2e4"));
  auto hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->move, mv("e2e4"));
  EXPECT_EQ(hit->depth, 7);
  EXPECT_EQ(hit->score, 17);
  EXPECT_EQ(hit->eval, 5);
  EXPECT_EQ(hit->bound, search::kExactBound);
}

TEST_F(Transposition, SamePositionIsReplacedOnlyByAResultAtMostTwoPliesShallower) {
  Position p = with_key(colliding_key(0));
  store(p, 10, mv("e2e4"));
  store(p, 8, mv("d2d4"));  // 8 >= 10 - 2: replaces
  auto hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->move, mv("d2d4"));
  EXPECT_EQ(hit->depth, 8);

  store(p, 5, mv("g1f3"), 40, search::kLowerBound);  // stored 8 = 5 + 3: kept
  hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->move, mv("d2d4"));
  EXPECT_EQ(hit->depth, 8);
  EXPECT_EQ(hit->score, 17);
  EXPECT_EQ(hit->bound, search::kExactBound);

  store(p, 6, mv("g1f3"), 40, search::kLowerBound);  // stored 8 = 6 + 2: replaced
  hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->move, mv("g1f3"));
  EXPECT_EQ(hit->depth, 6);
  EXPECT_EQ(hit->score, 40);
  EXPECT_EQ(hit->bound, search::kLowerBound);
}

TEST_F(Transposition, FullBucketOfTheCurrentSearchLosesItsFirstShallowestEntry) {
  const int depths[4] = {5, 3, 7, 3};
  for (int j = 0; j < 4; ++j) store(with_key(colliding_key(j)), depths[j], mv("e2e4"));
  for (int j = 0; j < 4; ++j) EXPECT_TRUE(probe(with_key(colliding_key(j)))) << j;

  store(with_key(colliding_key(4)), 9, mv("d2d4"));
  EXPECT_TRUE(probe(with_key(colliding_key(0))));
  EXPECT_FALSE(probe(with_key(colliding_key(1)))) << "the first of the two depth-3 entries goes";
  EXPECT_TRUE(probe(with_key(colliding_key(2))));
  EXPECT_TRUE(probe(with_key(colliding_key(3))));
  auto hit = probe(with_key(colliding_key(4)));
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->move, mv("d2d4"));
}

TEST_F(Transposition, EntryOfAnEarlierSearchIsReplacedBeforeAnyOfTheCurrentOne) {
  // Previous search: four entries, the third one deep.
  const int depths[4] = {1, 1, 20, 1};
  for (int j = 0; j < 4; ++j) store(with_key(colliding_key(j)), depths[j], mv("e2e4"));
  search::tt_new_search();
  // The current search rewrites the first two; the deep third and the fourth stay old.
  store(with_key(colliding_key(0)), 1, mv("d2d4"));
  store(with_key(colliding_key(1)), 1, mv("d2d4"));

  store(with_key(colliding_key(4)), 1, mv("g1f3"));
  EXPECT_FALSE(probe(with_key(colliding_key(2)))) << "the old entry goes although it is the deepest";
  EXPECT_TRUE(probe(with_key(colliding_key(0))));
  EXPECT_TRUE(probe(with_key(colliding_key(1))));
  EXPECT_TRUE(probe(with_key(colliding_key(3))));
  EXPECT_TRUE(probe(with_key(colliding_key(4))));
}

TEST_F(Transposition, FirstHitOnAnOldEntryLowersItsDepthByTwoAndReAgesIt) {
  Position p = with_key(colliding_key(0));
  store(p, 10, mv("e2e4"), 33, search::kUpperBound);
  const int old_age = search::tt_age();
  search::tt_new_search();
  ASSERT_NE(search::tt_age(), old_age);

  auto hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->depth, 8);
  EXPECT_EQ(hit->bound, search::kUpperBound);
  EXPECT_EQ(hit->score, 33);
  const TTEntry& entry = bucket(p)[0];
  EXPECT_EQ(entry.flags & 31, search::tt_age());
  EXPECT_EQ(entry.flags >> 5, search::kUpperBound);

  // Now of the current search: no further lowering.
  hit = probe(p);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->depth, 8);
}

TEST_F(Transposition, MateScoresReadBackWithTheSameDistanceFromTheNode) {
  struct Case {
    int stored_at_ply, score, read_at_ply, expected;
  };
  const Case cases[] = {
      // Mate delivered 3 plies below a node at ply 5 (at ply 8: 9999 - 7), read at ply 2:
      // mate 3 plies below that node too, at ply 5.
      {5, 9999 - 7, 2, 9999 - 4},
      {5, 9999 - 7, 5, 9999 - 7},
      {5, 9999 - 7, 30, 9999 - 32},
      // Mated one ply below the node (at ply 6), read at ply 9: mated at ply 10.
      {5, 6 - 10000, 9, 10 - 10000},
      {5, 6 - 10000, 1, 2 - 10000},
      // The edges of the mate band: 9798 and -9799 are ordinary scores.
      {5, 9798, 2, 9798},
      {5, -9799, 2, -9799},
      {5, 9799, 2, 9802},
      {5, -9800, 2, -9803},
      {5, 250, 40, 250},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "score " << c.score << " stored at ply " << c.stored_at_ply);
    Position p = with_key(colliding_key(0) + 0x1000);
    search::control.tt_age = 0;
    search::tt_new_search();
    search::clear_hash_table();
    store(p, 4, mv("e2e4"), c.score, search::kExactBound, c.stored_at_ply);
    auto hit = probe(p, c.read_at_ply);
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->score, c.expected);
  }
}

TEST_F(Transposition, GenerationsRunUpToThirtyOneAndBackWithoutRepeating) {
  search::control.tt_age = 0;
  std::vector<int> ages;
  for (int i = 0; i < 130; ++i) {
    search::tt_new_search();
    ages.push_back(search::tt_age());
  }
  // 1, 2, ..., 31, 30, ..., 1, 0, 1, 2, ...
  std::vector<int> expected;
  int age = 0, step = 1;
  while (expected.size() < ages.size()) {
    if (age == 31) step = -1;
    if (age == 0) step = 1;
    age += step;
    expected.push_back(age);
  }
  EXPECT_EQ(ages, expected);
  EXPECT_EQ(ages[30], 31);
  EXPECT_EQ(ages[31], 30);
  EXPECT_EQ(ages[60], 1);
  EXPECT_EQ(ages[61], 0);
  EXPECT_EQ(ages[62], 1);
  for (size_t i = 1; i < ages.size(); ++i) EXPECT_NE(ages[i], ages[i - 1]) << i;
}

TEST_F(Transposition, SizeThatIsNotAPowerOfTwoUsesTheLargestPowerOfTwoPerSide) {
  use_table(100);
  EXPECT_EQ(search::tt_entry_count(), 6553600u);
  const uint64_t span = 2097152;  // largest power of two not above 3,276,800
  const TTEntry* first = search::tt_bucket(with_key(0));
  EXPECT_EQ(search::tt_bucket(with_key(span)), first);
  EXPECT_EQ(search::tt_bucket(with_key(span - 1)) - first, static_cast<std::ptrdiff_t>(span - 1));
  EXPECT_EQ(search::tt_bucket(with_key(span / 2)) - first, static_cast<std::ptrdiff_t>(span / 2));
  // The black sub-table starts eight entries behind the white half.
  EXPECT_EQ(search::tt_bucket(with_key(0, position::kBlack)) - first, 3276800 + 8);

  // Behaviour: five positions 2^21 apart share one bucket and evict one another; five
  // positions 2^20 apart spread over two buckets and all stay.
  for (int j = 0; j < 5; ++j) store(with_key(0x77000000000000AAULL + j * span), 10 - j, mv("e2e4"));
  int found = 0;
  for (int j = 0; j < 5; ++j) found += probe(with_key(0x77000000000000AAULL + j * span)) ? 1 : 0;
  EXPECT_EQ(found, 4);
  for (int j = 0; j < 5; ++j) store(with_key(0x66000000000000BBULL + j * (span / 2)), 10 - j, mv("e2e4"));
  found = 0;
  for (int j = 0; j < 5; ++j) found += probe(with_key(0x66000000000000BBULL + j * (span / 2))) ? 1 : 0;
  EXPECT_EQ(found, 5);

  // 3 MB: 196,608 entries, 98,304 a side, buckets indexed modulo 65,536.
  use_table(3);
  EXPECT_EQ(search::tt_entry_count(), 196608u);
  first = search::tt_bucket(with_key(0));
  EXPECT_EQ(search::tt_bucket(with_key(65536)), first);
  EXPECT_EQ(search::tt_bucket(with_key(65535)) - first, 65535);
  EXPECT_EQ(search::tt_bucket(with_key(0, position::kBlack)) - first, 98304 + 8);
}

TEST_F(Transposition, LastBucketOfTheBlackHalfStaysInsideTheBlock) {
  // 1 MB, a power of two: the black half's last bucket reaches into the spare entries.
  EXPECT_EQ(search::tt_entry_count(), 65536u);
  const TTEntry* first = search::tt_bucket(with_key(0));
  const uint64_t last_index = kOneMbIndexSpan - 1;
  const TTEntry* last = search::tt_bucket(with_key(last_index, position::kBlack));
  EXPECT_EQ(last - first, static_cast<std::ptrdiff_t>(32768 + 8 + last_index));
  EXPECT_LE(last + 4, first + 65536 + 16);
  for (int j = 0; j < 4; ++j)
    store(with_key(0x3300000000000000ULL + last_index + j * kOneMbIndexSpan, position::kBlack), 3 + j, mv("e7e5"));
  for (int j = 0; j < 4; ++j)
    EXPECT_TRUE(probe(with_key(0x3300000000000000ULL + last_index + j * kOneMbIndexSpan, position::kBlack))) << j;
  // The same keys with white to move are other positions.
  EXPECT_FALSE(probe(with_key(0x3300000000000000ULL + last_index, position::kWhite)));
}

TEST_F(Transposition, HashSizeZeroSwitchesTheTableOff) {
  use_table(0);
  EXPECT_EQ(search::tt_enabled(), 0);
  EXPECT_EQ(search::tt_entry_count(), 0u);
  EXPECT_EQ(search::tt_bucket(base_), nullptr);
  store(base_, 5, mv("e2e4"));
  EXPECT_FALSE(probe(base_));
  search::clear_hash_table();
  EXPECT_EQ(search::hashfull_estimate(), 0);

  use_table(1);
  EXPECT_EQ(search::tt_enabled(), 1);
  store(base_, 5, mv("e2e4"));
  EXPECT_TRUE(probe(base_));
}

TEST_F(Transposition, CheckWordRejectsATornEntry) {
  Position p = with_key(colliding_key(0));
  store(p, 6, mv("e2e4"), 120);
  ASSERT_TRUE(probe(p));
  TTEntry& entry = bucket(p)[0];
  ASSERT_EQ(entry.key_low, static_cast<uint32_t>(p.key));

  // Score from another write under this key and check word.
  entry.score = 121;
  EXPECT_FALSE(probe(p));
  entry.score = 120;
  EXPECT_TRUE(probe(p));

  // Move from another write.
  entry.move = mv("d2d4");
  EXPECT_FALSE(probe(p));
  entry.move = mv("e2e4");
  EXPECT_TRUE(probe(p));

  // The same entry read under a key whose high half differs (a key_low collision).
  Position other = with_key(p.key ^ 0x0000010000000000ULL);
  EXPECT_FALSE(probe(other));
}

TEST_F(Transposition, InvalidStoredMoveIsReportedErasedAndMissed) {
  Position p = set_up(kStart);
  store(p, 6, mv("e3e4"));  // nothing stands on e3
  testing::internal::CaptureStdout();
  EXPECT_FALSE(probe(p));
  std::string report = testing::internal::GetCapturedStdout();
  EXPECT_EQ(report,
            "info fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n"
            "info string illegal hash move: e3e4, flags= 0, code= 2\n\n");
  EXPECT_EQ(bucket(p)[0].move, 0);

  // The erased entry no longer matches its check word: a quiet miss.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(probe(p));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  // A promotion flag on a knight move reports the flag bits in hexadecimal.
  search::clear_hash_table();
  store(p, 6, mv("g1f3", position::kFlagBishop));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(probe(p));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "info fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n"
            "info string illegal hash move: g1f3, flags= 4000, code= 6\n\n");
}

TEST_F(Transposition, HashMoveProblemCodes) {
  struct Case {
    const char* fen;
    const char* move;
    Move flags;
    int code;
  };
  const Case cases[] = {
      // Valid moves.
      {kStart, "e2e4", 0, 0},
      {kStart, "g1f3", 0, 0},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - d6", "e5d6", 0, 0},
      {"4k3/P7/8/8/8/8/8/4K3 w - -", "a7a8", position::kFlagKnight, 0},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1g1", position::kFlagKingSide, 0},
      {"r3k2r/8/8/8/8/8/8/R3K2R b KQkq -", "e8c8", position::kFlagQueenSide, 0},
      // 2: empty from-square; a capture of a king.
      {kStart, "e3e4", 0, 2},
      {"4k3/8/8/8/8/8/8/R3K3 w - -", "a1a8", 0, 0},
      {"R2nk3/8/8/8/8/8/8/4K3 w - -", "a8e8", 0, 2},
      // 12: castling without the right, with the path blocked, or from off the back rank.
      {"r3k2r/8/8/8/8/8/8/R3K2R w Qkq -", "e1g1", position::kFlagKingSide, 12},
      {kStart, "e1g1", position::kFlagKingSide, 12},
      {"r3k2r/8/8/8/8/8/8/RN2K2R w KQkq -", "e1c1", position::kFlagQueenSide, 12},
      {"4k3/8/8/8/8/8/4K3/8 w - -", "e2g2", position::kFlagKingSide, 12},
      // 1: from equals to.
      {kStart, "e2e2", 0, 1},
      // 3: the piece belongs to the other side.
      {kStart, "e7e5", 0, 3},
      // 4: own piece on the to-square.
      {kStart, "g1e2", 0, 4},
      {kStart, "d1d2", 0, 4},
      // 6: promotion flags on a non-pawn, too early, or two of them.
      {kStart, "g1f3", position::kFlagQueen, 6},
      {kStart, "e2e4", position::kFlagQueen, 6},
      {"4k3/P7/8/8/8/8/8/4K3 w - -", "a7a8", position::kFlagQueen | position::kFlagRook, 6},
      // 7: pawn geometry.
      {"4k3/P7/8/8/8/8/8/4K3 w - -", "a7a8", 0, 7},
      {kStart, "e2d3", 0, 7},
      {kStart, "e2e5", 0, 7},
      {"4k3/8/8/3pP3/8/8/8/4K3 w - -", "e5d6", 0, 7},
      {"4k3/8/8/8/8/4P3/8/4K3 w - -", "e3e5", 0, 7},
      {"4k3/8/8/8/8/4n3/4P3/4K3 w - -", "e2e4", 0, 7},
      {"4k3/8/8/8/8/4n3/4P3/4K3 w - -", "e2e3", 0, 7},
      // 8 to 11: piece geometry or a blocked path.
      {kStart, "g1g3", 0, 8},
      {kStart, "c1e3", 0, 9},
      {"4k3/8/8/8/8/8/8/2B1K3 w - -", "c1c4", 0, 9},
      {kStart, "a1a3", 0, 10},
      {"4k3/8/8/8/8/8/8/R3K3 w - -", "a1b2", 0, 10},
      {kStart, "d1d3", 0, 11},
      {"4k3/8/8/8/8/8/8/3QK3 w - -", "d1e3", 0, 11},
      // 13: a king move of more than one square without castling flags.
      {"4k3/8/8/8/8/8/8/4K3 w - -", "e1e3", 0, 13},
      {"r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "e1g1", 0, 13},
      // 14: pseudo-legal, but the own king is left in check.
      {"4k3/4r3/8/8/8/8/4B3/4K3 w - -", "e2d3", 0, 14},
      {"4k3/8/8/8/8/8/3r4/4K3 w - -", "e1e2", 0, 14},
      // Castling with the right and an empty path, but across an attacked square.
      {"4k3/8/8/8/8/8/8/4K2R w K -", "e1g1", position::kFlagKingSide, 0},
      {"4k3/8/8/8/8/5r2/8/4K2R w K -", "e1g1", position::kFlagKingSide, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fen) + " " + c.move);
    Position& p = set_up(c.fen);
    EXPECT_EQ(search::hash_move_problem(p, mv(c.move, c.flags)), c.code);
  }
}

TEST_F(Transposition, ClearingZeroesEveryEntryWithAnyNumberOfClearingThreads) {
  struct Case {
    int megabytes, threads;
  };
  for (const Case c : {Case{1, 3}, Case{16, 1}, Case{16, 2}, Case{16, 3}, Case{16, 7}}) {
    SCOPED_TRACE(testing::Message() << c.megabytes << " MB, " << c.threads << " threads");
    base::settings.threads = static_cast<int16_t>(c.threads);
    use_table(c.megabytes);
    const uint64_t total = search::tt_entry_count() + 16;
    unsigned char* block = reinterpret_cast<unsigned char*>(bucket(with_key(0)));
    std::memset(block, 0xA5, total * sizeof(TTEntry));
    search::clear_hash_table();
    uint64_t dirty = 0;
    for (uint64_t i = 0; i < total * sizeof(TTEntry); ++i) dirty += block[i] != 0;
    EXPECT_EQ(dirty, 0u);
  }
}

TEST_F(Transposition, FillSampleCountsEntriesOfTheCurrentSearchAmongTheFirstFiveHundredPerSide) {
  EXPECT_EQ(search::hashfull_estimate(), 0);
  // Consecutive keys fill consecutive entries of a freshly cleared half.
  for (uint64_t j = 0; j < 250; ++j) store(with_key(0x4400000000000000ULL + j), 2, mv("e2e4"));
  for (uint64_t j = 0; j < 100; ++j) store(with_key(0x4400000000000000ULL + j, position::kBlack), 2, mv("e7e5"));
  // Beyond the sampled entries: not counted.
  for (uint64_t j = 600; j < 700; ++j) store(with_key(0x4400000000000000ULL + j), 2, mv("e2e4"));
  EXPECT_EQ(search::hashfull_estimate(), 350);
  search::tt_new_search();
  EXPECT_EQ(search::hashfull_estimate(), 0);
}

}  // namespace
