// The limits of "go" as the engine stores them, for numbers beyond what their fields hold.
#include <gtest/gtest.h>

#include <string>

#include "base/settings.h"
#include "search/control.h"
#include "shell/game.h"
#include "shell/search_limits.h"
#include "shell/uci.h"
#include "test_support.h"

namespace {

using base::settings;
using search::control;
using shell::kept_limits;

class UciGo : public testing::Test {
 protected:
  void SetUp() override {
    nesk_test::engine_thread();
    // "go" reads whose clock and increment apply from the shell's game.
    ASSERT_EQ(position::set_position(shell::game_position(), position::kStartFen), 0);
    base::set_default_settings(settings);
    search::set_default_control(control);
    kept_limits = shell::KeptLimits{};
  }
  void TearDown() override {
    search::set_default_control(control);
    kept_limits = shell::KeptLimits{};
  }

  // Runs one "go" as if no search were running.
  static void go(const std::string& arguments) {
    control.state = 0;
    shell::uci_command(("go " + arguments).c_str());
    EXPECT_EQ(control.state, search::kSearchRequested) << arguments;
  }
};

// Huge, tiny and non-numbers are brought inside each field's range before conversion
// (converting them as they stand is undefined).
TEST_F(UciGo, NumbersOutsideTheirFieldsAreBroughtInside) {
  go("depth -1e300");
  EXPECT_EQ(kept_limits.standing.depth, -100);
  go("depth 1e300");
  EXPECT_EQ(kept_limits.standing.depth, 80);
  go("nodes 1e30");
  EXPECT_EQ(kept_limits.standing.nodes, 1000000000000000ULL);
  go("nodes -5");
  EXPECT_EQ(kept_limits.standing.nodes, 0u);
  go("movestogo 99999");
  EXPECT_EQ(kept_limits.moves_to_go, 10000);
  go("wtime 1e400 btime nan winc -1e300");
  EXPECT_EQ(kept_limits.clock[position::kWhite], 1e7f);
  EXPECT_EQ(kept_limits.clock[position::kBlack], 0.0f);
  EXPECT_EQ(settings.increment, -1e7f);
  go("movetime 1e40");
  EXPECT_EQ(settings.base_time, 1e7f);
  // Ordinary values pass unchanged.
  go("wtime 61000 btime 59500 winc 1000 movestogo 12");
  EXPECT_EQ(kept_limits.clock[position::kWhite], 61.0f);
  EXPECT_EQ(kept_limits.clock[position::kBlack], 59.5f);
  EXPECT_EQ(settings.increment, 1.0f);
  EXPECT_EQ(kept_limits.moves_to_go, 12);
}

}  // namespace
