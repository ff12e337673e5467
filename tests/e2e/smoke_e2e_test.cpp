#include <gtest/gtest.h>
#include "engine_process.h"
TEST(E2ESmoke, Starts) {
  EngineProcess engine({"-c"});
  auto line = engine.read_line();
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "info string Hello from Nesk 7.07");
}
