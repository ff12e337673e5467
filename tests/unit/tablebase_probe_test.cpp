// Probing the shared 3- and 4-men tables against values computed independently of them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "base/settings.h"
#include "tablebase/tbfiles.h"
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
      std::snprintf(base::settings.syzygy_path, sizeof(base::settings.syzygy_path), "%s", kTables.c_str());
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
