// Probing the shared 3- and 4-men tables against values computed independently of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "base/settings.h"
#include "shell/options.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbindex.h"
#include "tablebase/tbmoves.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "test_support.h"

namespace {

using namespace tablebase;

const std::string kTables = std::string(NESK_TESTDATA) + "/syzygy";

class TablebaseProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    nesk_test::engine_thread();
    std::ifstream check(kTables + "/KQvK.rtbw");
    if (!check) GTEST_SKIP() << "tablebase files not found in " << kTables;
    if (std::string(base::settings.syzygy_path) != kTables) {
      base::settings.syzygy_path = kTables;
      tb_init();
    }
  }

  static TBPosition board(const char* fen) {
    position::Position& pos = nesk_test::set_up(fen);
    return to_tb_position(pos, 0);
  }
};

int field(const std::string& line, const std::string& name) {
  size_t at = line.find(name + " ");
  return at == std::string::npos ? 1000 : std::stoi(line.substr(at + name.size() + 1));
}

// Every position of the expected list: the stored WDL, the WDL with captures resolved and
// the signed DTZ.
TEST_F(TablebaseProbe, ExpectedValues) {
  std::ifstream in(kTables + "/expected.epd");
  ASSERT_TRUE(in) << "expected.epd missing";
  int positions = 0, wrong = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::string fen = line.substr(0, line.find(" wdl_table"));
    TBPosition t = board(fen.c_str());
    int success = 1;
    int table = probe_table(t, 0, &success, 0);
    int table_success = success;
    int wdl = probe_wdl(t, &success);
    int wdl_success = success;
    int dtz = probe_dtz(t, &success);
    ++positions;
    bool ok = table_success != 0 && wdl_success != 0 && success != 0 && table == field(line, "wdl_table") &&
              wdl == field(line, "wdl") && dtz == field(line, "dtz");
    if (!ok) {
      ++wrong;
      ADD_FAILURE() << fen << ": table " << table << " wdl " << wdl << " dtz " << dtz << " success " << success
                    << " expected " << line.substr(fen.size());
    }
  }
  EXPECT_EQ(positions, 200);
  EXPECT_EQ(wrong, 0);
}

}  // namespace

namespace {

// Bare kings need no file; a decisive capture is found before the table is read.
TEST_F(TablebaseProbe, KingsAloneAndDecidingCaptures) {
  int success = -5;
  EXPECT_EQ(probe_wdl(board("8/8/8/3k4/8/8/8/4K3 w - -"), &success), 0);
  EXPECT_EQ(success, 1);
  // Rxe7 wins where the table (rooks on) says draw.
  TBPosition t = board("8/4r3/8/K7/4R3/8/8/5k2 w - -");
  EXPECT_EQ(probe_table(t, 0, &success, 0), 0);
  EXPECT_EQ(probe_wdl(t, &success), 2);
  EXPECT_EQ(success, 2);
  EXPECT_EQ(probe_dtz(t, &success), 1);
}

// KNPvK stores only white to move: black's DTZ comes from a one-ply search over the
// children's values.
TEST_F(TablebaseProbe, DtzOfTheSideNotStoredSearchesOnePly) {
  TBPosition t = board("8/8/8/N2K1k2/P7/8/8/8 b - -");
  int success = 1;
  probe_table(t, -2, &success, 2);
  EXPECT_EQ(success, -1);
  EXPECT_EQ(probe_dtz(t, &success), -4);
  EXPECT_NE(success, 0);
}

TEST_F(TablebaseProbe, MissingMaterialFails) {
  int success = 1;
  // No five-men tables here.
  probe_wdl(board("8/8/8/7k/8/8/QQQ5/4K3 w - -"), &success);
  EXPECT_EQ(success, 0);
}

// Mirror images give the same values: left-right for every material, top-bottom and about
// the diagonal without pawns, and the colour-exchanged position (found under the flipped
// key: KRvKQ reads the KQvKR table) gives the same value for its side to move.
TEST_F(TablebaseProbe, SymmetriesAgree) {
  auto transform = [](const TBPosition& t, int how) {
    auto map = [how](uint64_t b) {
      uint64_t out = 0;
      while (b) {
        int s = position::pop_lsb(b);
        int m = how == 0 ? s ^ 7 : how == 1 ? s ^ 56 : how == 2 ? flip_diagonal(s) : s ^ 56;
        out |= position::bit(m);
      }
      return out;
    };
    TBPosition r = t;
    r.white = map(t.white);
    r.black = map(t.black);
    if (how == 3) std::swap(r.white, r.black), r.turn ^= 1;
    r.kings = map(t.kings);
    r.queens = map(t.queens);
    r.rooks = map(t.rooks);
    r.bishops = map(t.bishops);
    r.knights = map(t.knights);
    r.pawns = map(t.pawns);
    return r;
  };
  std::ifstream in(kTables + "/expected.epd");
  int compared = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    TBPosition t = board(line.substr(0, line.find(" wdl_table")).c_str());
    int success;
    int wdl = probe_wdl(t, &success);
    int dtz = probe_dtz(t, &success);
    for (int how = 0; how < 4; ++how) {
      if (t.pawns && (how == 1 || how == 2)) continue;
      TBPosition r = transform(t, how);
      EXPECT_EQ(probe_wdl(r, &success), wdl) << line << " transform " << how;
      EXPECT_EQ(probe_dtz(r, &success), dtz) << line << " transform " << how;
      ++compared;
    }
  }
  EXPECT_GT(compared, 400);
}

// Castling rights keep a position out of the tables; the same board without them is found.
TEST_F(TablebaseProbe, SearchProbeSkipsCastlingRights) {
  EXPECT_EQ(tb_probe_search(nesk_test::set_up("4k3/8/8/8/8/8/8/4K2R w K -"), 1), -1);
  EXPECT_EQ(tb_probe_search(nesk_test::set_up("4k3/8/8/8/8/8/8/4K2R w - -"), 1), 4);
  EXPECT_EQ(tb_probe_search(nesk_test::set_up("4k3/8/8/8/8/8/8/4K2R b - -"), 1), 0);
}

// SyzygyProbeDepth6 keeps six and seven men out of shallow nodes, never out of the root:
// whatever the option says, the root's probes pass, and a node passes from the option's
// depth on (seven men from 7 at least).
TEST(TablebaseSearch, ProbeDepthOptionHoldsBackShallowNodesOnly) {
  nesk_test::engine_thread();
  base::EngineSettings saved = base::settings;
  for (int option = -5; option <= 100; ++option) {
    testing::internal::CaptureStdout();
    shell::set_option("SyzygyProbeDepth6", std::to_string(option).c_str());
    testing::internal::GetCapturedStdout();
    for (int men : {6, 7}) {
      int needed = men == 7 ? std::max(option, 7) : option;
      EXPECT_TRUE(deep_enough_to_probe(men, kProbeAtAnyDepth)) << men << " men, option " << option;
      EXPECT_TRUE(deep_enough_to_probe(men, needed)) << men << " men, option " << option;
      EXPECT_FALSE(deep_enough_to_probe(men, needed - 1)) << men << " men, option " << option;
    }
    EXPECT_TRUE(deep_enough_to_probe(5, -6));
  }
  base::settings = saved;
}

}  // namespace
