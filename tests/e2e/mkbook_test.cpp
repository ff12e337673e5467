// "-mkbook": the engine makes a book from a PGN in its working directory, and then plays
// from that book.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "engine_process.h"
#include "uci_test_support.h"

namespace {

using uci_test::Lines;

TEST(MakeBook, WritesTheBookAndPlaysFromIt) {
  uci_test::ScratchDirectory dir;
  std::string pgn;
  for (int i = 0; i < 5; ++i) pgn += "[Result \"1-0\"]\n\n1. e4 e5 2. Nf3 1-0\n\n[Result \"0-1\"]\n\n1. d4 d5 0-1\n\n";
  uci_test::write_file(dir.file("games.pgn"), pgn);
  EngineProcess maker({"-hash", "1", "-mkbook", "games.pgn"}, dir.path());
  Lines lines = maker.read_until("done");
  EXPECT_EQ(maker.wait_exit(), 0);
  // After the start-up lines: the winners' moves e4, Nf3 and d5 are kept, the losers' e5
  // and d4 are not; so the start position has one book move.
  Lines expected = {" Creating file tmp_book.bin from games in games.pgn", "", "writing book file ...", "",
                    "ngames= 10, nmoves= 5", "book contains 3 moves", "done"};
  ASSERT_GE(lines.size(), expected.size());
  EXPECT_EQ(Lines(lines.end() - expected.size(), lines.end()), expected);
  EXPECT_EQ(std::filesystem::file_size(dir.file("tmp_book.bin")), 3u * 16);

  EngineProcess player({"-hash", "1"}, dir.path());
  player.send("setoption name OwnBook_File value tmp_book.bin");
  player.send("position startpos");
  player.send("go depth 3");
  Lines reply = player.read_until("bestmove e2e4");
  EXPECT_NE(std::find(reply.begin(), reply.end(), "info string book move is e2e4"), reply.end())
      << "no book move among " << reply.size() << " lines";
  player.send("quit");
  EXPECT_EQ(player.wait_exit(), 0);
}

// A PGN named by a long path (deep folders reach 143 characters easily) is read whole.
TEST(MakeBook, ReadsAPgnNamedByALongPath) {
  uci_test::ScratchDirectory dir;
  const std::string folder = dir.file(std::string(120, 'a') + "/" + std::string(120, 'b'));
  std::filesystem::create_directories(folder);
  std::string pgn;
  for (int i = 0; i < 5; ++i) pgn += "[Result \"1-0\"]\n\n1. e4 e5 1-0\n\n";
  uci_test::write_file(folder + "/games.pgn", pgn);
  EngineProcess maker({"-hash", "1", "-mkbook", folder + "/games.pgn"}, dir.path());
  Lines lines = maker.read_until("done");
  EXPECT_EQ(maker.wait_exit(), 0);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "book contains 1 moves"), lines.end()) << lines.size() << " lines";
  EXPECT_EQ(std::filesystem::file_size(dir.file("tmp_book.bin")), 16u);
}

}  // namespace
