// The evaluation parameter registry: packed scores, registration order and the loading of
// parameter text.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "eval/embedded.h"
#include "eval/hce_info.h"
#include "eval/params.h"

namespace {

using eval::pack_score;
using eval::params;
using eval::score_eg;
using eval::score_mg;
using eval::slots;

class ParamsTest : public testing::Test {
 protected:
  void SetUp() override {
    eval::register_eval_params();
    eval::load_embedded_params();
  }
  // Leave the registry as start-up leaves it for the tests that follow.
  void TearDown() override {
    eval::register_eval_params();
    eval::load_embedded_params();
  }
};

TEST(PackedScore, PacksEndgameHighAndMiddlegameLow) {
  EXPECT_EQ(pack_score(100, 100), 6553700);
  EXPECT_EQ(pack_score(-6, 55), 3604474);
  EXPECT_EQ(pack_score(0, 0), 0);
  const int values[] = {-30000, -5000, -300, -6, -1, 0, 1, 55, 300, 5000, 30000};
  for (int mg : values) {
    for (int eg : values) {
      int32_t packed = pack_score(mg, eg);
      EXPECT_EQ(score_mg(packed), mg) << mg << "/" << eg;
      EXPECT_EQ(score_eg(packed), eg) << mg << "/" << eg;
    }
  }
}

TEST(PackedScore, ScaledTermsTruncateEachHalfTowardZero) {
  eval::EvalParam p{};
  p.score = pack_score(-7, 10);
  p.mg = -7.0f;
  p.eg = 10.0f;
  // -3.5 -> -3 (not -4, which a floor of the packed value would give), 5.0 -> 5.
  EXPECT_EQ(static_cast<int32_t>(eval::hce_detail::scaled(&p, 0.5f)), pack_score(-3, 5));
  // -7 * 0.33 = -2.31 -> -2; 10 * 0.33 = 3.3 -> 3.
  EXPECT_EQ(static_cast<int32_t>(eval::hce_detail::scaled(&p, 0.33f)), pack_score(-2, 3));
  // A negative factor flips both halves: -7 * -0.333 = 2.33 -> 2; 10 * -0.333 = -3.33 -> -3.
  EXPECT_EQ(static_cast<int32_t>(eval::hce_detail::scaled(&p, -0.333f)), pack_score(2, -3));
  // Sums of packed terms keep the halves apart even when the middlegame half is negative.
  uint32_t sum = eval::hce_detail::term(&p, 3) + eval::hce_detail::scaled(&p, 0.5f);
  EXPECT_EQ(score_mg(static_cast<int32_t>(sum)), -24);
  EXPECT_EQ(score_eg(static_cast<int32_t>(sum)), 35);
}

TEST_F(ParamsTest, RegistersEveryRecordInOrder) {
  eval::register_eval_params();
  ASSERT_EQ(eval::param_count, 651);
  EXPECT_EQ(eval::first_pst_index, 43);
  EXPECT_STREQ(params[0].name, "mtl_pawn");
  EXPECT_EQ(params[0].score, 6553700);
  EXPECT_EQ(params[0].mg, 100.0f);
  EXPECT_EQ(params[3].score, pack_score(535, 535));
  EXPECT_STREQ(params[41].name, "mtl_imbalance");
  EXPECT_STREQ(params[42].name, "stm_bonus");
  const char* tables[] = {"PST_P1", "PST_P2", "PST_CP", "PST_DP", "PST_N", "PST_B", "PST_R", "PST_Q", "PST_K"};
  for (int t = 0; t < 9; ++t)
    for (int sq = 0; sq < 64; ++sq) ASSERT_STREQ(params[43 + 64 * t + sq].name, tables[t]) << t << " " << sq;
  for (int i = 619; i < 651; ++i) EXPECT_STREQ(params[i].name, "ttune");
  for (int i = 0; i < 651; ++i) {
    EXPECT_EQ(params[i].work1, 0.0f);
    EXPECT_EQ(params[i].work2, 0.0f);
    EXPECT_EQ(params[i].work3, 0.0f);
  }
  // Slots point at their records.
  EXPECT_EQ(slots.mtl_pawn, &params[0]);
  EXPECT_EQ(slots.mtl_knight, &params[1]);
  EXPECT_EQ(slots.stm_bonus, &params[42]);
  EXPECT_EQ(slots.pst_p1[0], &params[43]);
  EXPECT_EQ(slots.pst_dp[10], &params[43 + 3 * 64 + 10]);
  EXPECT_EQ(slots.pst_k[63], &params[43 + 8 * 64 + 63]);
  EXPECT_EQ(slots.ttune[0], &params[619]);
  EXPECT_EQ(slots.ttune[31], &params[650]);
  // Registering again starts over rather than appending.
  eval::register_eval_params();
  EXPECT_EQ(eval::param_count, 651);
  EXPECT_EQ(slots.mtl_pawn, &params[0]);
}

// Every record after start-up holds the value the built-in text gives it (the text read
// here by a separate, simpler parser).
TEST_F(ParamsTest, BuiltInTextFillsEveryRecord) {
  std::istringstream text(eval::embedded_params_text());
  std::string line;
  int index = 0;
  while (std::getline(text, line)) {
    if (line.empty() || line == "start") continue;
    std::istringstream fields(line);
    std::string name, value;
    std::getline(fields, name, ',');
    std::vector<int> values;
    while (std::getline(fields, value, ',')) values.push_back(std::stoi(value));
    ASSERT_EQ(values.size() % 2, 0u) << name;
    for (size_t i = 0; i < values.size(); i += 2, ++index) {
      ASSERT_LT(index, 651);
      ASSERT_STREQ(params[index].name, name.c_str());
      EXPECT_EQ(params[index].score, pack_score(values[i], values[i + 1])) << name << " " << i / 2;
      EXPECT_EQ(params[index].mg, static_cast<float>(values[i]));
      EXPECT_EQ(params[index].eg, static_cast<float>(values[i + 1]));
    }
  }
  EXPECT_EQ(index, 651);

  EXPECT_EQ(score_mg(slots.mtl_knight->score), 415);
  EXPECT_EQ(score_eg(slots.mtl_knight->score), 329);
  EXPECT_EQ(score_mg(slots.stm_bonus->score), 27);
  EXPECT_EQ(score_eg(slots.stm_bonus->score), 9);
  EXPECT_EQ(slots.ppawn_connected->score, 262153);  // 9/4
  // The king table's shape: files a-d empty, and the home-rank entries e1..h1.
  const int e1_to_h1[4][2] = {{-24, -49}, {-23, -39}, {7, -51}, {10, -65}};
  for (int f = 0; f < 4; ++f) EXPECT_EQ(slots.pst_k[4 + f]->score, pack_score(e1_to_h1[f][0], e1_to_h1[f][1]));
  for (int sq = 0; sq < 64; ++sq) {
    if ((sq & 7) < 4) {
      EXPECT_EQ(slots.pst_k[sq]->score, 0) << sq;
    }
    if (sq < 8 || sq >= 56) {
      EXPECT_EQ(slots.pst_p1[sq]->score, 0) << sq;
      EXPECT_EQ(slots.pst_p2[sq]->score, 0) << sq;
    }
  }
}

TEST_F(ParamsTest, MismatchedNameWarnsAndStillStores) {
  testing::internal::CaptureStdout();
  int written = eval::load_params_text("start\nmtl_pawn,90,95\nknight_value,400,-30\nmtl_bishop,7,8\n");
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, "error knight_value  mtl_knight\n");
  EXPECT_EQ(written, 3);
  EXPECT_EQ(slots.mtl_pawn->score, pack_score(90, 95));
  EXPECT_EQ(slots.mtl_knight->score, pack_score(400, -30));
  EXPECT_EQ(slots.mtl_knight->mg, 400.0f);
  EXPECT_EQ(slots.mtl_knight->eg, -30.0f);
  EXPECT_EQ(slots.mtl_bishop->score, pack_score(7, 8));
  EXPECT_EQ(slots.mtl_rook->score, pack_score(583, 624));  // untouched
}

TEST_F(ParamsTest, LineRulesOfTheText) {
  testing::internal::CaptureStdout();
  // Carriage returns and spaces end lines; short lines and lines with brackets are
  // skipped; a field without digits reads as 0; "mtl_pawn" restarts at the first record.
  eval::load_params_text(
      "start\r\nmtl_pawn,1,2\r\nx,1\r\n(mtl_knight),5,5\r\nmtl_knight,3,\r\n"
      "mtl_pawn,11,-12 mtl_knight,+13,x14\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(slots.mtl_pawn->score, pack_score(11, -12));
  EXPECT_EQ(slots.mtl_knight->score, pack_score(13, 0));
  EXPECT_EQ(slots.mtl_bishop->score, pack_score(426, 336));

  // A table line fills 64 records, a field without digits still takes its place, and a
  // line that runs short fills the rest of its records with zeros.
  std::string text = "start\n";
  for (int i = 0; i < eval::first_pst_index; ++i) text += std::string(params[i].name) + ",0,0\n";
  for (const char* t : {"PST_P1", "PST_P2", "PST_CP", "PST_DP"}) {
    text += t;
    for (int i = 0; i < 64; ++i) text += ",0,0";
    text += "\n";
  }
  text += "PST_N";
  for (int i = 0; i < 64; ++i) {
    text += ',';
    text += i == 5 ? std::string("?") : std::to_string(i);
    text += ',';
    text += std::to_string(-i);
  }
  text += "\nPST_B,9,9\n";
  testing::internal::CaptureStdout();
  int written = eval::load_params_text(text.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(written, eval::first_pst_index + 6 * 64);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(slots.pst_n[i]->score, pack_score(i == 5 ? 0 : i, -i)) << i;
  EXPECT_EQ(slots.pst_b[0]->score, pack_score(9, 9));
  for (int i = 1; i < 64; ++i) ASSERT_EQ(slots.pst_b[i]->score, 0) << i;
}

}  // namespace
