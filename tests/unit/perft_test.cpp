// Perft: leaf counts of the legal move tree against published reference counts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "position/makemove.h"
#include "position/perft.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::set_board;

// NESK_QUICK=1 (the sanitizer run) keeps to the small counts.
bool quick() {
  const char* value = std::getenv("NESK_QUICK");
  return value && std::strcmp(value, "1") == 0;
}
uint64_t count_limit() { return quick() ? 200000 : 5000000; }

struct PerftLine {
  std::string fen;
  std::vector<std::pair<int, uint64_t>> counts;  // depth, leaves
  bool chess960 = false;
};

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  size_t end = text.find_last_not_of(" \t\r\n");
  return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// Lines of "FEN ;D1 n ;D2 n ... [;chess960]".
std::vector<PerftLine> read_perft_file(const std::string& path) {
  std::vector<PerftLine> lines;
  std::ifstream file(path);
  std::string text;
  while (std::getline(file, text)) {
    if (trim(text).empty()) continue;
    std::stringstream fields(text);
    std::string field;
    PerftLine line;
    std::getline(fields, field, ';');
    line.fen = trim(field);
    while (std::getline(fields, field, ';')) {
      field = trim(field);
      if (field == "chess960") {
        line.chess960 = true;
      } else if (field.size() > 1 && field[0] == 'D') {
        std::stringstream entry(field.substr(1));
        int depth = 0;
        uint64_t leaves = 0;
        if (entry >> depth >> leaves) line.counts.emplace_back(depth, leaves);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

class Perft : public nesk_test::GameTest {
 protected:
  uint64_t perft_of(const std::string& fen, int depth) {
    Position& pos = set_board(fen.c_str());
    Position before = pos;
    uint64_t leaves = position::perft(game.position, depth);
    EXPECT_TRUE(nesk_test::same_position(before, pos)) << fen;
    EXPECT_EQ(history.undo_index, 0);
    EXPECT_EQ(history.ply, 1);
    return leaves;
  }
};

TEST_F(Perft, StartPosition) {
  const uint64_t expected[] = {20, 400, 8902, 197281};
  for (int depth = 1; depth <= 4; ++depth) EXPECT_EQ(perft_of(kStartFen, depth), expected[depth - 1]) << depth;
}

TEST_F(Perft, AfterGameMovesTheCountStartsFromTheCurrentPosition) {
  // Perft 2 after 1. e4 counts from the position with black to move, the same as setting
  // that position up; it is the published e2e4 share (600) of perft 3 from the start.
  set_board(kStartFen);
  uint64_t from_start = 0;
  {
    Position& pos = game.position;
    make_move(pos, nesk_test::mv("e2e4"));
    from_start = position::perft(game.position, 2);
    EXPECT_EQ(history.undo_index, 1);
    EXPECT_EQ(history.ply, 2);
  }
  EXPECT_EQ(from_start, perft_of("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", 2));
  EXPECT_EQ(from_start, 600u);
}

TEST_F(Perft, ReferenceCounts) {
  const std::string path = std::string(NESK_TESTDATA) + "/perft.epd";
  std::vector<PerftLine> lines = read_perft_file(path);
  if (lines.empty()) GTEST_SKIP() << "perft reference file not found at " << path;
  int chess960_lines = 0, checked = 0;
  for (const PerftLine& line : lines) {
    ASSERT_FALSE(line.counts.empty()) << line.fen;
    chess960_lines += line.chess960;
    for (auto [depth, leaves] : line.counts) {
      if (leaves > count_limit()) continue;
      EXPECT_EQ(perft_of(line.fen, depth), leaves) << line.fen << " depth " << depth;
      ++checked;
    }
  }
  EXPECT_GT(chess960_lines, 0);
  EXPECT_GT(checked, static_cast<int>(lines.size()));
}

}  // namespace
