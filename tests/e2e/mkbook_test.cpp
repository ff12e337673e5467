// "-mkbook": the engine makes a book from a PGN in its working directory, and then plays
// from that book.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

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

// Runs "-mkbook" on `pgn` in `directory`; returns its exit status and its output, where
// standard error is mixed in.
std::pair<int, Lines> make_book(const std::string& pgn, const std::string& directory) {
  EngineProcess maker({"-hash", "1", "-mkbook", pgn}, directory);
  Lines lines = maker.read_available(10000);
  return {maker.wait_exit(), lines};
}

// How often the output (standard error mixed in) says `reason`: once, since both streams
// go to one place here.
int times_said(const Lines& lines, const std::string& reason) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), reason));
}

// Every way the build can fail says why, exits with status 1 and leaves what stood under
// the book's name alone; a build that succeeds replaces an older book.
TEST(MakeBook, FailuresSayWhyAndExitNonZero) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("games.pgn"), "[Result \"1-0\"]\n\n1. e4 e5 1-0\n");
  ASSERT_EQ(mkfifo(dir.file("pipe.pgn").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.file("folder.pgn"));

  auto [status, lines] = make_book("missing.pgn", dir.path());
  EXPECT_EQ(status, 1);
  EXPECT_EQ(times_said(lines, "cannot read missing.pgn: No such file or directory; no book written"), 1);
  // A pipe would block the reading for ever; a directory reads as nothing.
  for (const char* special : {"pipe.pgn", "folder.pgn"}) {
    std::tie(status, lines) = make_book(special, dir.path());
    EXPECT_EQ(status, 1) << special;
    EXPECT_EQ(times_said(lines, std::string("cannot read ") + special + ": not a regular file; no book written"), 1);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("tmp_book.bin")));

  // An empty directory under the book's name stays, and so would a file of an older book.
  std::filesystem::create_directory(dir.file("tmp_book.bin"));
  std::tie(status, lines) = make_book("games.pgn", dir.path());
  EXPECT_EQ(status, 1);
  EXPECT_EQ(times_said(lines, "cannot write tmp_book.bin: not a regular file, left as it is"), 1);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("tmp_book.bin")));
  std::filesystem::remove(dir.file("tmp_book.bin"));

  uci_test::write_file(dir.file("tmp_book.bin"), std::string(48, 'x'));
  std::tie(status, lines) = make_book("games.pgn", dir.path());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::filesystem::file_size(dir.file("tmp_book.bin")), 0u);  // one game keeps nothing
  // Only the book is left: no temporary file beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 4);

  // A directory nobody can create files in, not even root.
  if (!std::filesystem::is_directory("/proc")) GTEST_SKIP() << "no /proc to stand for an unwritable directory";
  std::tie(status, lines) = make_book(dir.file("games.pgn"), "/proc");
  EXPECT_EQ(status, 1);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("cannot write tmp_book.bin: ", 0), 0u) << lines.back();
}

}  // namespace
