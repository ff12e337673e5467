// The console's "perft" command: leaf counts against the published reference counts,
// the depth argument's limits, and counting after moves have been played on the board.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console_support.h"

namespace {

using e2e::Console;
using e2e::diagram;
using e2e::Lines;

// Reads "visited <n> nodes in <s.sss> seconds, nps= <r>" as a whole line; the timing
// figures may be any well-formed numbers. Returns n, or -1 when the line has another form.
long long parse_perft_report(const std::string& line) {
  size_t at = 0;
  auto literal = [&](const char* text) {
    std::string expected(text);
    if (line.compare(at, expected.size(), expected) != 0) return false;
    at += expected.size();
    return true;
  };
  auto digits = [&](size_t exactly = 0) {
    size_t start = at;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
    return at > start && (exactly == 0 || at - start == exactly) ? line.substr(start, at - start) : std::string();
  };
  if (!literal("visited ")) return -1;
  std::string nodes = digits();
  bool well_formed = !nodes.empty() && literal(" nodes in ") && !digits().empty() && literal(".") &&
                     !digits(3).empty() && literal(" seconds, nps= ") && !digits().empty() && at == line.size();
  return well_formed ? std::stoll(nodes) : -1;
}

// The node count of the reply to "perft"; fails the test unless the reply is exactly
// one well-formed report line.
long long perft_nodes(const Lines& reply) {
  long long nodes = reply.size() == 1 ? parse_perft_report(reply[0]) : -1;
  if (nodes < 0) {
    std::string seen;
    for (const std::string& line : reply) seen += "\n  " + line;
    ADD_FAILURE() << "not one perft report:" << seen;
  }
  return nodes;
}

TEST(ConsolePerft, ReportFormat) {
  EXPECT_EQ(parse_perft_report("visited 20 nodes in 0.000 seconds, nps= 20000"), 20);
  EXPECT_EQ(parse_perft_report("visited 8902 nodes in 12.345 seconds, nps= 721"), 8902);
  EXPECT_EQ(parse_perft_report("visited 20 nodes in 0.00 seconds, nps= 20000"), -1);
  EXPECT_EQ(parse_perft_report("visited 20 nodes in 0.000 seconds, nps= 20000 "), -1);
  EXPECT_EQ(parse_perft_report("visited  nodes in 0.000 seconds, nps= 1"), -1);
  EXPECT_EQ(parse_perft_report("info string visited 20 nodes in 0.000 seconds, nps= 1"), -1);
}

struct Reference {
  std::string fen;
  bool chess960 = false;
  std::vector<long long> counts;  // counts[d - 1] for depth d
};

// The reference file holds one position a line: "FEN ;D1 n ;D2 n ..." with ";chess960"
// at the end of Chess960 positions.
std::vector<Reference> read_references(const std::string& path) {
  std::vector<Reference> references;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    size_t semicolon = line.find(';');
    if (semicolon == std::string::npos) continue;
    Reference reference;
    reference.fen = line.substr(0, line.find_last_not_of(' ', semicolon - 1) + 1);
    std::istringstream fields(line.substr(semicolon));
    std::string field;
    while (std::getline(fields, field, ';')) {
      std::istringstream words(field);
      std::string name;
      long long count = 0;
      words >> name;
      if (name == "chess960") reference.chess960 = true;
      if (name.size() >= 2 && name[0] == 'D' && (words >> count)) {
        size_t depth = std::stoul(name.substr(1));
        if (reference.counts.size() < depth) reference.counts.resize(depth);
        reference.counts[depth - 1] = count;
      }
    }
    references.push_back(reference);
  }
  return references;
}

// The FEN the board report starts with after "fen": the same placement, side and
// en-passant field; rook-file castling letters written as KQkq, in that order; the
// half-move clock; and 0 moves made.
std::string shown_fen(const std::string& fen) {
  std::istringstream fields(fen);
  std::string placement, side, castling, ep, clock = "0";
  fields >> placement >> side >> castling >> ep >> clock;
  int white_king = -1, black_king = -1;
  {
    std::istringstream ranks(placement);
    std::string rank;
    for (int r = 7; std::getline(ranks, rank, '/'); --r) {
      int file = 0;
      for (char c : rank) {
        if (c == 'K' && r == 0) white_king = file;
        if (c == 'k' && r == 7) black_king = file;
        file += (c >= '1' && c <= '8') ? c - '0' : 1;
      }
    }
  }
  bool rights[4] = {false, false, false, false};
  for (char c : castling) {
    if (c == 'K') rights[0] = true;
    if (c == 'Q') rights[1] = true;
    if (c == 'k') rights[2] = true;
    if (c == 'q') rights[3] = true;
    if (c >= 'A' && c <= 'H') rights[white_king >= c - 'A' ? 1 : 0] = true;
    if (c >= 'a' && c <= 'h') rights[black_king < c - 'a' ? 2 : 3] = true;
  }
  std::string letters;
  for (int i = 0; i < 4; ++i)
    if (rights[i]) letters += "KQkq"[i];
  return placement + " " + side + " " + (letters.empty() ? "-" : letters) + " " + ep + " " + clock + " 0";
}

TEST(ConsolePerft, StartPositionCounts) {
  Console console;
  const long long expected[] = {20, 400, 8902, 197281};
  for (int depth = 1; depth <= 4; ++depth)
    EXPECT_EQ(perft_nodes(console.run("perft " + std::to_string(depth))), expected[depth - 1]) << "depth " << depth;
}

TEST(ConsolePerft, DepthBelowOneCountsOneDeep) {
  Console console;
  for (const char* command : {"perft", "perft 0", "perft -3"}) EXPECT_EQ(perft_nodes(console.run(command)), 20) << command;
  EXPECT_EQ(perft_nodes(console.run("perft 2")), 400);
}

TEST(ConsolePerft, ReferencePositions) {
  const std::string directory = testdata_directory();
  if (directory.empty()) GTEST_SKIP() << "shared test data not found at " << NESK_TESTDATA;
  std::vector<Reference> references = read_references(directory + "/perft.epd");
  ASSERT_FALSE(references.empty()) << "no positions in perft.epd";

  // For each position the deepest listed count up to 200,000 leaves (at least depth 1),
  // so that the whole file runs in a moment.
  constexpr long long kLeafBudget = 200000;
  Console console;
  int chess960_positions = 0;
  for (const Reference& reference : references) {
    ASSERT_FALSE(reference.counts.empty()) << reference.fen;
    size_t depth = 1;
    while (depth < reference.counts.size() && reference.counts[depth] <= kLeafBudget) ++depth;
    chess960_positions += reference.chess960;

    EXPECT_EQ(console.run("fen " + reference.fen), diagram(shown_fen(reference.fen)));
    EXPECT_EQ(perft_nodes(console.run("perft " + std::to_string(depth))), reference.counts[depth - 1])
        << reference.fen << " at depth " << depth;
  }
  EXPECT_GT(chess960_positions, 0) << "the reference file lists no Chess960 position";
}

TEST(ConsolePerft, CountsFromTheBoardAfterPlayedMoves) {
  const std::string directory = testdata_directory();
  if (directory.empty()) GTEST_SKIP() << "shared test data not found at " << NESK_TESTDATA;
  // A pawn about to promote: its counts include under-promotions at every depth.
  const std::string fen = "8/k1P5/8/1K6/8/8/8/8 w - - 0 1";
  long long reference = -1;
  for (const Reference& r : read_references(directory + "/perft.epd"))
    if (r.fen == fen && r.counts.size() >= 5) reference = r.counts[4];
  ASSERT_GT(reference, 0) << "perft.epd has no depth-5 count for " << fen;

  Console console;
  console.run("fen " + fen);
  // Four king moves come back to the same position, four plies into the game: the count
  // must not depend on the moves played before it.
  console.run({"Kc4", "Ka8", "Kb5"});
  EXPECT_EQ(console.run("Ka7"), e2e::moved("2. move a8a7", "8/k1P5/8/1K6/8/8/8/8 w - - 4 4"));
  EXPECT_EQ(perft_nodes(console.run("perft 5")), reference);
  console.run({"undo", "undo", "undo", "undo"});
  EXPECT_EQ(perft_nodes(console.run("perft 5")), reference);
}

}  // namespace
