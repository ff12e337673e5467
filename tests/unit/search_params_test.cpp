// The pruning margins and late-move reduction tables built from Selectivity and the
// pruning depths at the start of every search.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "search/params.h"
#include "base/settings.h"

namespace {

using search::tables;

class SearchParams : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = base::settings;
    base::set_default_settings(base::settings);
  }
  void TearDown() override { base::settings = saved_; }

  static search::SearchTables built_with(int selectivity) {
    base::settings.selectivity = static_cast<int16_t>(selectivity);
    search::build_search_tables();
    return tables;
  }

  static std::vector<int> row(const int8_t (&table)[32][32], int depth) {
    std::vector<int> values;
    for (int m = 0; m < 12; ++m) values.push_back(table[depth][m]);
    values.push_back(table[depth][31]);
    return values;
  }

  static bool same(const search::SearchTables& a, const search::SearchTables& b) {
    return std::memcmp(a.fp_margins, b.fp_margins, sizeof a.fp_margins) == 0 &&
           std::memcmp(a.sep_margins, b.sep_margins, sizeof a.sep_margins) == 0 &&
           std::memcmp(a.lmr_pv, b.lmr_pv, sizeof a.lmr_pv) == 0 &&
           std::memcmp(a.lmr_non_pv, b.lmr_non_pv, sizeof a.lmr_non_pv) == 0;
  }

  base::EngineSettings saved_{};
};

TEST_F(SearchParams, DefaultMarginsAndPruningDepths) {
  built_with(100);
  const std::vector<int> fp(tables.fp_margins, tables.fp_margins + 8);
  const std::vector<int> sep(tables.sep_margins, tables.sep_margins + 8);
  EXPECT_EQ(fp, (std::vector<int>{0, 110, 220, 330, 440, 9000, 9000, 9000}));
  EXPECT_EQ(sep, (std::vector<int>{0, 60, 120, 180, 9000, 9000, 9000, 9000}));
  EXPECT_EQ(tables.fp_depth, 4);
  EXPECT_EQ(tables.sep_depth, 3);
  EXPECT_EQ(tables.nmp_depth, 3);
  EXPECT_EQ(tables.lmp_depth, 6);
  EXPECT_EQ(tables.lmr_depth, 3);
}

TEST_F(SearchParams, ChangedPruningDepthsMoveTheNineThousandCutOff) {
  base::settings.pruning_depth[base::kFpDepth] = 2;
  base::settings.pruning_depth[base::kSepDepth] = 5;
  built_with(100);
  const std::vector<int> fp(tables.fp_margins, tables.fp_margins + 8);
  const std::vector<int> sep(tables.sep_margins, tables.sep_margins + 8);
  EXPECT_EQ(fp, (std::vector<int>{0, 110, 220, 9000, 9000, 9000, 9000, 9000}));
  EXPECT_EQ(sep, (std::vector<int>{0, 60, 120, 180, 240, 300, 9000, 9000}));
  EXPECT_EQ(tables.fp_depth, 2);
  EXPECT_EQ(tables.sep_depth, 5);
}

TEST_F(SearchParams, ReductionRowsAtDefaultSelectivity) {
  built_with(100);
  EXPECT_EQ(row(tables.lmr_pv, 3), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2}));
  EXPECT_EQ(row(tables.lmr_pv, 8), (std::vector<int>{0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 2, 2, 3}));
  EXPECT_EQ(row(tables.lmr_pv, 16), (std::vector<int>{0, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 3}));
  EXPECT_EQ(row(tables.lmr_non_pv, 3), (std::vector<int>{0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3}));
  EXPECT_EQ(row(tables.lmr_non_pv, 8), (std::vector<int>{0, 1, 1, 2, 2, 2, 2, 2, 2, 2, 3, 3, 4}));
  EXPECT_EQ(row(tables.lmr_non_pv, 16), (std::vector<int>{0, 1, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3, 5}));
  // y = (1 + sqrt 3) * 0.65 - 2.392 + 1.1 = 0.48 rounds down; with two moves, up.
  EXPECT_EQ(tables.lmr_non_pv[3][1], 0);
  EXPECT_EQ(tables.lmr_non_pv[3][2], 1);
}

TEST_F(SearchParams, ReductionTablesAreZeroBelowDepthThreeAndForTheFirstMoveAndBounded) {
  for (int s : {20, 100, 160, 200}) {
    SCOPED_TRACE(s);
    built_with(s);
    for (int d = 0; d < 32; ++d) {
      for (int m = 0; m < 32; ++m) {
        const int pv = tables.lmr_pv[d][m], non_pv = tables.lmr_non_pv[d][m];
        if (d < 3 || m == 0) {
          EXPECT_EQ(pv, 0) << d << "," << m;
          EXPECT_EQ(non_pv, 0) << d << "," << m;
          continue;
        }
        EXPECT_GE(pv, 0);
        EXPECT_LE(pv, 3);
        EXPECT_GE(non_pv, 0);
        EXPECT_LE(non_pv, 5);
        EXPECT_LE(pv, non_pv) << d << "," << m;
        // More moves searched or more depth never reduce less.
        if (m > 1) {
          EXPECT_GE(pv, tables.lmr_pv[d][m - 1]) << d << "," << m;
        }
        if (d > 3) {
          EXPECT_GE(non_pv, tables.lmr_non_pv[d - 1][m]) << d << "," << m;
        }
      }
    }
  }
  // The caps are reached at the widest selectivity.
  built_with(200);
  EXPECT_EQ(tables.lmr_pv[31][31], 3);
  EXPECT_EQ(tables.lmr_non_pv[31][31], 5);
}

TEST_F(SearchParams, SelectivityIsClampedToTwentyAndTwoHundred) {
  const search::SearchTables at20 = built_with(20);
  EXPECT_TRUE(same(built_with(0), at20));
  EXPECT_TRUE(same(built_with(10), at20));
  EXPECT_TRUE(same(built_with(-50), at20));
  const search::SearchTables at200 = built_with(200);
  EXPECT_TRUE(same(built_with(250), at200));
  EXPECT_TRUE(same(built_with(32000), at200));
  EXPECT_FALSE(same(at20, at200));
  EXPECT_FALSE(same(built_with(21), at20));
}

TEST_F(SearchParams, SelectivityScalesMarginsAndReductions) {
  // s = 200: k = 1.5 / 2.5 = 0.6.
  built_with(200);
  EXPECT_EQ(tables.fp_margins[1], 66);
  EXPECT_EQ(tables.sep_margins[1], 36);
  EXPECT_EQ(tables.fp_margins[4], 264);
  EXPECT_EQ(tables.sep_margins[3], 108);
  EXPECT_EQ(tables.fp_margins[5], 9000);
  // Twice the reduction of s = 100 (x = 0.572 at depth 3, eight moves: 1.14 rounds to 1;
  // non-PV y = 1.672: 3.34 rounds to 3).
  EXPECT_EQ(tables.lmr_pv[3][8], 1);
  EXPECT_EQ(tables.lmr_non_pv[3][8], 3);

  // s = 20: k = 1.5 / 0.7; margins 235 and 128 per ply, reductions a fifth (depth 3,
  // eight moves: 0.11 and 0.33 round to 0; depth 16, 31 moves: 0.77 and 0.99 round to 1).
  built_with(20);
  EXPECT_EQ(tables.fp_margins[1], 235);
  EXPECT_EQ(tables.sep_margins[1], 128);
  EXPECT_EQ(tables.lmr_pv[3][8], 0);
  EXPECT_EQ(tables.lmr_non_pv[3][8], 0);
  EXPECT_EQ(tables.lmr_pv[16][31], 1);
  EXPECT_EQ(tables.lmr_non_pv[16][31], 1);
}

TEST_F(SearchParams, ListingShowsMarginsDepthsAndBothTables) {
  built_with(100);
  testing::internal::CaptureStdout();
  search::print_search_tables();
  const std::string text = testing::internal::GetCapturedStdout();
  const std::string head =
      "FP_margins=  110 220 330 440 9000 9000 9000\n"
      "SEP_margins=  60 120 180 9000 9000 9000 9000\n"
      "NMP_depth= 3\n"
      "LMR_depth= 3\n"
      "LMR table:\n"
      " 3  0 0 0 0 0 0 0 0 1 1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 2 2 2 2 2 2 2 2 \n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  // 29 rows per table; the non-PV table follows after two empty lines.
  size_t rows = 0;
  for (size_t at = text.find("\n 3  "); at != std::string::npos; at = text.find("\n 3  ", at + 1)) ++rows;
  EXPECT_EQ(rows, 2u);
  EXPECT_NE(text.find("\n31  0 1 2 2 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 3 \n\n\n 3  0 0 1 1 1"),
            std::string::npos);
}

}  // namespace
