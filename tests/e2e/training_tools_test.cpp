// The training-data converters run as the command line starts them, on small files in a
// scratch directory: -epd2bin and -bin2epd round trip, bad input lines skipped and counted,
// -filtertraindata keeping the first of duplicates, -bin2ptb's feature records, and an
// output that cannot be written leaving nothing behind. Then how every tool fails: its
// reason and exit status, inputs it refuses, files it keeps, and what an interrupted run
// leaves.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine_process.h"
#include "uci_test_support.h"

namespace {

using uci_test::Lines;
using uci_test::run_tool;
using uci_test::split_lines;

const Lines kGoodLines = {
    "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 ce -12; sc 30; gr 0.5;",
    "r3k2r/8/8/8/8/8/8/R3K2R b Kq - ce 9990; sc -2999; gr 1.0;",
    "8/8/8/3k4/8/8/1p6/K7 w - - ce -600; gr 0.0;",
    "8/8/8/3k4/8/8/1p6/1K6 b - - 0 61 sc 250;",
};

TEST(TrainingConverters, EpdToBinAndBackSkippingBadLines) {
  uci_test::ScratchDirectory dir;
  std::string king = "4k3/8/8/8/8/8/8/4K3 w - - ";
  std::string text = "# a comment\n\n" + kGoodLines[0] + "\r\n" +
                     king + "ce 1; id \"" + std::string(300, 'x') + "\";\n" +  // too long
                     std::string("4k3/8/8/8/8/8/8/4K3 w - - ce 1;\0\x01\xff garbage\n", 43) + kGoodLines[1] + "\n" +
                     "4k3/8/8/8/8/8/8/4K3 w ce 5; gr 0.5;\n" +  // fields shifted: bad FEN
                     king + "gr 0.5;\n" + king + "ce 12.5;\n" + kGoodLines[2] + "\n" + king + "ce 5\n" + kGoodLines[3];
  uci_test::write_file(dir.file("in.epd"), text);
  Lines expected = {"allocated 0 Mbytes for training data.",
                    "reading positions from file in.epd.",
                    "skipped 6 bad lines: 1 too long, 1 binary, 2 missing fields, 1 bad FEN, 1 bad values",
                    "read 4 positions.",
                    "",
                    "stored 4 positions in in.bin.",
                    ""};
  EXPECT_EQ(run_tool(dir, {"-quiet", "-epd2bin", "in.epd"}), expected);
  std::filesystem::rename(dir.file("in.bin"), dir.file("back.bin"));

  Lines report = run_tool(dir, {"-noise", "99998", "-bin2epd", "back.bin"});
  Lines tail = {"allocated 0 Mbytes for training data.", "read 4 positions from back.bin.", ""};
  ASSERT_GE(report.size(), tail.size());
  EXPECT_EQ(Lines(report.end() - tail.size(), report.end()), tail);
  Lines back = {kGoodLines[0], kGoodLines[1], "8/8/8/3k4/8/8/1p6/K7 w - - ce -600; sc -600; gr 0.0;",
                "8/8/8/3k4/8/8/1p6/1K6 b - - ce 250; sc 250; gr 0.8;"};
  EXPECT_EQ(split_lines(uci_test::file_text(dir.file("back.epd"))), back);
  EXPECT_TRUE(run_tool(dir, {"-quiet", "-bin2epd", "back.bin", "-o", "quiet.epd"}).empty());
}

// The self-play data the network is trained on comes back line for line, "sc" added.
TEST(TrainingConverters, RealDataRoundTrip) {
  std::string data = testdata_directory().empty() ? "" : testdata_directory() + "/../data/train/selfplay-85f5180-6k-part1.epd.xz";
  if (data.empty() || !std::filesystem::exists(data)) GTEST_SKIP() << "no training data beside the repository (../shared/data/train)";
  uci_test::ScratchDirectory dir;
  if (std::system(("xz -dc '" + data + "' > '" + dir.file("real.epd") + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "xz could not unpack " << data;
  Lines original = split_lines(uci_test::file_text(dir.file("real.epd")));
  run_tool(dir, {"-quiet", "-epd2bin", "real.epd"});
  std::filesystem::rename(dir.file("real.bin"), dir.file("back.bin"));
  run_tool(dir, {"-quiet", "-bin2epd", "back.bin"});
  Lines back = split_lines(uci_test::file_text(dir.file("back.epd")));
  ASSERT_EQ(back.size(), original.size());
  std::regex sc(" sc -?[0-9]+;");
  size_t differ = 0;
  for (size_t i = 0; i < back.size(); ++i)
    if (std::regex_replace(back[i], sc, "") != original[i] && ++differ < 5) ADD_FAILURE() << original[i] << "\n" << back[i];
  EXPECT_EQ(differ, 0u);
}

TEST(TrainingConverters, FilterKeepsTheFirstOfEachPosition) {
  uci_test::ScratchDirectory dir;
  std::string a = "4k3/8/8/8/8/8/4P3/4K3 w - - ";
  uci_test::write_file(dir.file("dup.epd"), a + "ce 10; gr 1.0;\n" +
                                                "4k3/8/8/8/8/4P3/8/4K3 w - - ce 20;\n" +
                                                a + "ce -50; gr 0.0;\n" +
                                                "4k3/8/8/8/8/8/4P3/4K3 b - - ce 30;\n" + a + "ce 10; gr 1.0;\n");
  run_tool(dir, {"-quiet", "-epd2bin", "dup.epd"});
  std::string records = uci_test::file_text(dir.file("dup.bin"));
  ASSERT_EQ(records.size(), 5u * 40);
  // A record no converter writes (a piece code 7) and a broken tail are passed over.
  std::string garbage(40, '\x07');
  uci_test::write_file(dir.file("dup.bin"), records + garbage + "tail");

  Lines lines = run_tool(dir, {"-quiet", "-filtertraindata", "dup.bin"});
  std::regex stamp("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "filtering duplicates from dup.bin");
  EXPECT_TRUE(std::regex_match(lines[1], stamp)) << lines[1];
  EXPECT_EQ(Lines(lines.begin() + 2, lines.begin() + 7),
            (Lines{"skipped 1 malformed records", "ignored 4 bytes at the end of dup.bin: not a whole record",
                   "max block count is 1", "wrote 3 positions to filtered.bin", ""}));
  EXPECT_TRUE(std::regex_match(lines[7], stamp)) << lines[7];
  EXPECT_EQ(uci_test::file_text(dir.file("filtered.bin")), records.substr(0, 80) + records.substr(120, 40));
}

TEST(TrainingConverters, FeatureRecordsOfTheUsablePositions) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("f.epd"),
                       "4k3/8/8/8/8/8/4P3/2K5 w - - ce 0; gr 0.5;\n"
                       "4k3/8/8/8/8/8/4P3/2K5 w - - sc 200; gr 0.0;\n");  // result and score disagree
  run_tool(dir, {"-quiet", "-epd2bin", "f.epd"});
  EXPECT_EQ(run_tool(dir, {"-quiet", "-bin2ptb", "f.bin"}), Lines{"wrote 1 positions to f.ptb, left out 1"});
  std::string bytes = uci_test::file_text(dir.file("f.ptb"));
  ASSERT_EQ(bytes.size(), 68u);
  std::vector<int> features;
  for (int i = 0; i < 32; ++i) features.push_back(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  std::vector<int> expected(32, 8193);
  expected[0] = 325, expected[1] = 11, expected[2] = 763;  // king c1 mirrors: c1 -> f1, e2 -> d2, e8 -> d8
  EXPECT_EQ(features, expected);
  float target;
  std::memcpy(&target, bytes.data() + 64, 4);
  EXPECT_FLOAT_EQ(target, 0.5f);
}

TEST(TrainingConverters, AnOutputThatCannotBeWrittenLeavesNothing) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("x.epd"), kGoodLines[0] + "\n");
  std::filesystem::create_directory(dir.file("x.bin"));  // the final name is taken by a folder
  EXPECT_EQ(run_tool(dir, {"-quiet", "-epd2bin", "x.epd"}, 1), Lines{"x.bin exists: not replaced"});
  EXPECT_EQ(run_tool(dir, {"-quiet", "-epd2bin", "x.epd", "-o", "x.bin"}, 1),
            Lines{"cannot write x.bin: it is a directory"});
  auto entries = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  EXPECT_EQ(entries, 2);  // x.epd and the folder: no temporary file left
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("x.bin")));
}

// The engine's exit status and its standard output and error, each kept apart.
struct SeparateStreams {
  int status = -1;
  std::string out, err;
};

SeparateStreams run_with_separate_streams(const uci_test::ScratchDirectory& dir, const Lines& arguments) {
  std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0 || !std::freopen(out.c_str(), "w", stdout) ||
        !std::freopen(err.c_str(), "w", stderr))
      _exit(126);
    std::vector<char*> argv = {const_cast<char*>(NESK_BINARY)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(NESK_BINARY, argv.data());
    _exit(127);
  }
  SeparateStreams result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = uci_test::file_text(out);
  result.err = uci_test::file_text(err);
  return result;
}

// Every tool that cannot read its input says why and fails, so that a script stops there;
// the reason reaches standard error too, for a pipeline that keeps only that.
TEST(ToolFailures, AMissingInputFailsWithItsReason) {
  uci_test::ScratchDirectory dir;
  const std::vector<Lines> runs = {
      {"-epd2bin", "missing.epd"},          {"-bin2epd", "missing.bin"},
      {"-bin2ptb", "missing.bin"},          {"-filtertraindata", "missing.bin"},
      {"-scan_pgn", "missing.pgn"},         {"-scoretraindata", "missing.epd"},
      {"-anepd", "missing.epd"},            {"-mkbook2", "missing.epd"},
      {"-gentraindata", "out.epd", "100", "missing.epd"},
  };
  for (const Lines& run : runs) {
    SCOPED_TRACE(run[0]);
    Lines arguments = uci_test::joined({"-quiet"}, run);
    std::string missing = run.back();
    EXPECT_EQ(run_tool(dir, arguments, 1), Lines{"cannot read " + missing + ": No such file or directory"});
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  SeparateStreams streams = run_with_separate_streams(dir, {"-quiet", "-epd2bin", "missing.epd"});
  EXPECT_EQ(streams.status, 1);
  EXPECT_EQ(streams.out, "cannot read missing.epd: No such file or directory\n");
  EXPECT_EQ(streams.err, "nesk: cannot read missing.epd: No such file or directory\n");
}

// A folder, or a file whose reading fails, is no input: nothing is written for it.
TEST(ToolFailures, FoldersAndReadErrorsAreNoInput) {
  uci_test::ScratchDirectory dir;
  for (const char* folder : {"d.epd", "d.bin", "d.pgn"}) std::filesystem::create_directory(dir.file(folder));
  struct Case {
    Lines arguments;
    std::string reason;
  };
  std::vector<Case> cases = {{{"-epd2bin", "d.epd"}, "cannot read d.epd: it is a directory"},
                             {{"-filtertraindata", "d.bin"}, "cannot read d.bin: it is a directory"},
                             {{"-scan_pgn", "d.pgn", "-o", "games.epd"}, "cannot read d.pgn: it is a directory"}};
  // Reading a process's own memory from its start fails on every Linux system.
  bool proc = std::filesystem::exists("/proc/self/mem");
  for (const char* name : {"unreadable.epd", "unreadable.bin", "unreadable.pgn"})
    if (proc) std::filesystem::create_symlink("/proc/self/mem", dir.file(name));
  if (proc) {
    cases.push_back({{"-epd2bin", "unreadable.epd", "-o", "out.bin"}, "cannot read unreadable.epd: read error"});
    cases.push_back({{"-filtertraindata", "unreadable.bin"}, "cannot read unreadable.bin: read error"});
    cases.push_back({{"-scan_pgn", "unreadable.pgn", "-o", "games.epd"}, "cannot read unreadable.pgn: read error"});
  }
  auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[1]);
    Lines report = run_tool(dir, uci_test::joined({"-quiet"}, c.arguments), 1);
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report.back(), c.reason);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);  // nothing written
  if (!proc) GTEST_SKIP() << "no /proc/self/mem to make a read fail";
}

// A name a tool derives or picks itself never replaces a file; "-o" may, but not the input.
// Names are derived from the file name, whatever its folder is called, and an output that
// cannot be made is reported.
TEST(ToolFailures, AFileAlreadyThereIsKeptUnlessNamedWithO) {
  uci_test::ScratchDirectory dir;
  std::string original = "# labelled by hand\n" + kGoodLines[0] + " id \"opening\";\n";
  uci_test::write_file(dir.file("a.epd"), original);
  run_tool(dir, {"-quiet", "-epd2bin", "a.epd"});
  EXPECT_EQ(run_tool(dir, {"-quiet", "-bin2epd", "a.bin"}, 1), Lines{"a.epd exists: not replaced"});
  EXPECT_EQ(uci_test::file_text(dir.file("a.epd")), original);
  std::string records = uci_test::file_text(dir.file("a.bin"));
  uci_test::write_file(dir.file("none.epd"), "# nothing to convert\n");
  uci_test::write_file(dir.file("none.bin"), records);
  EXPECT_EQ(run_tool(dir, {"-quiet", "-epd2bin", "none.epd"}, 1), Lines{"none.bin exists: not replaced"});
  EXPECT_EQ(uci_test::file_text(dir.file("none.bin")), records);
  EXPECT_EQ(run_tool(dir, {"-quiet", "-epd2bin", "a.epd", "-o", "a.epd"}, 1),
            Lines{"cannot write a.epd: it is the input"});
  EXPECT_EQ(uci_test::file_text(dir.file("a.epd")), original);

  EXPECT_TRUE(run_tool(dir, {"-quiet", "-bin2epd", "a.bin", "-o", "none.epd"}).empty());
  EXPECT_EQ(split_lines(uci_test::file_text(dir.file("none.epd"))), Lines{kGoodLines[0]});

  std::filesystem::create_directory(dir.file("v1.epd"));
  uci_test::write_file(dir.file("v1.epd/t.epd"), kGoodLines[1] + "\n");
  Lines report = run_tool(dir, {"-quiet", "-epd2bin", "v1.epd/t.epd"});
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report[report.size() - 2], "stored 1 positions in v1.epd/t.bin.");
  EXPECT_EQ(uci_test::file_text(dir.file("v1.epd/t.bin")).size(), 40u);
  uci_test::write_file(dir.file("g.pgn"), "[Event \"e\"]\n\n1. e4 e5 1-0\n");
  EXPECT_EQ(run_tool(dir, {"-quiet", "-scan_pgn", "g.pgn", "-o", "nowhere/g.epd"}, 1),
            Lines{"cannot write nowhere/g.epd: No such file or directory"});
}

// Where a run stopped by SIGINT or SIGTERM, whose output is still a temporary file, leaves
// nothing behind: it ends as the signal ends it, without the temporary file.
TEST(ToolFailures, AnInterruptedRunRemovesItsTemporaryFile) {
  uci_test::ScratchDirectory dir;
  uci_test::write_file(dir.file("suite.epd"), "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Bb5;\n");
  for (int signal_number : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal_number);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // As from a terminal, even where the tests run as a background job that ignores SIGINT.
      signal(signal_number, SIG_DFL);
      if (chdir(dir.path().c_str()) != 0 || !std::freopen("/dev/null", "w", stdout)) _exit(126);
      execl(NESK_BINARY, NESK_BINARY, "-quiet", "-d", "60", "-anepd", "suite.epd", "-o", "out.epd", nullptr);
      _exit(127);
    }
    auto writing = [&] {
      for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("out.epd.part", 0) == 0) return true;
      return false;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() < deadline && !writing() &&
           !(ended = waitpid(pid, &status, WNOHANG) == pid))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(ended) << "the search ended before it could be interrupted";
    kill(pid, signal_number);
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && !(ended = waitpid(pid, &status, WNOHANG) == pid))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!ended) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "the signal did not end the run";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // suite.epd alone
  }
}

}  // namespace

namespace {

// A match manager's games: "{score/depth time}" comments, a game lost on time that gives
// nothing, and a move that does not read.
TEST(PgnScan, MatchManagerGamesToLabelledEpd) {
  uci_test::ScratchDirectory dir;
  std::string opening = "1. Nf3 {book} Nf6 {book} 2. Ng1 Ng8 3. Nf3 Nf6 4. Ng1 Ng8 5. Nf3 Nf6 6. Ng1 Ng8 "
                        "7. Nf3 Nf6 8. Ng1 Ng8 9. Nf3 Nf6 10. Ng1 Ng8\n";
  uci_test::write_file(dir.file("games.pgn"),
                       "\xEF\xBB\xBF[Event \"m\"]\n[Result \"0-1\"]\n\n" + opening +
                           "11. e4 {+0.35/12 1.2s} e5 {-0.07/11 0.9s}\n12. Qh5 {-M7/30 0.1s} 0-1\n\n"
                           "[Event \"m\"]\n[Result \"1-0\"]\n[Termination \"time forfeit\"]\n\n" + opening + "1-0\n\n"
                           "[Event \"m\"]\n[Result \"1/2-1/2\"]\n\n" + opening + "11. Ke3 1/2-1/2\n");
  Lines report = run_tool(dir, {"-quiet", "-scan_pgn", "games.pgn", "-o", "games.epd"});
  std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
  EXPECT_EQ(report, (Lines{"can't parse move 11. Ke3 in game #3  " + start, "read 3 games", ""}));
  EXPECT_EQ(split_lines(uci_test::file_text(dir.file("games.epd"))),
            (Lines{start + " ce 35; gr 0.0;",
                   "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 ce -7; gr 1.0;",
                   "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 ce -9900; gr 0.0;",
                   "rnbqkbnr/pppp1ppp/8/4p2Q/4P3/8/PPPP1PPP/RNB1KBNR b KQkq - ce 0; gr 1.0;",
                   start + " ce 0; gr 0.5;", ""}));
}

// Text from the file is shown without its control bytes, and a game longer than the scan
// reads (1 MB) is reported; the games around it are read as usual.
TEST(PgnScan, ControlBytesEscapedAndOverlongGamesReported) {
  uci_test::ScratchDirectory dir;
  std::string opening = "1. Nf3 Nf6 2. Ng1 Ng8 3. Nf3 Nf6 4. Ng1 Ng8 5. Nf3 Nf6 6. Ng1 Ng8 7. Nf3 Nf6 8. Ng1 Ng8 "
                        "9. Nf3 Nf6 10. Ng1 Ng8\n";
  uci_test::write_file(dir.file("games.pgn"), "[Event \"a\"]\n\n" + opening + "11. Q\x1b[2J 1-0\n\n" +
                                                   "[Event \"b\"]\n\n" + opening + "{" + std::string(1100000, 'x') +
                                                   "} 1-0\n\n[Event \"c\"]\n\n" + opening + "1-0\n");
  Lines report = run_tool(dir, {"-quiet", "-scan_pgn", "games.pgn", "-o", "games.epd"});
  std::string start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
  EXPECT_EQ(report, (Lines{"can't parse move 11. Q\\x1B[2J in game #1  " + start,
                           "cut 1 games at 1 MB: their later text is not read", "read 3 games", ""}));
  EXPECT_EQ(split_lines(uci_test::file_text(dir.file("games.epd"))).size(), 4u);  // a, b and c's last position, ""
}

// Chess960 games from a match manager, from their own FEN: written from the 9th position.
TEST(PgnScan, SharedChess960Games) {
  if (testdata_directory().empty()) GTEST_SKIP() << "no shared test data beside the repository (../shared/testdata)";
  uci_test::ScratchDirectory dir;
  Lines report = run_tool(dir, {"-quiet", "-scan_pgn", testdata_directory() + "/pgn/cutechess-fischerrandom.pgn", "-o", "frc.epd"});
  EXPECT_EQ(report, (Lines{"read 4 games", ""}));
  Lines lines = split_lines(uci_test::file_text(dir.file("frc.epd")));
  ASSERT_GT(lines.size(), 2u);
  // After 1. d4 d5 2. c3 Nb6 3. e4 dxe4 4. Bxe4 g6, with the comment of 5. g4 {+0.31/11 0.30s}.
  EXPECT_EQ(lines[0], "1bbrknrq/ppp1pp1p/1n4p1/8/3PB3/2P5/PP3PPP/N1BRKNRQ w KQkq - ce 31; gr 0.0;");
  EXPECT_EQ(lines.back(), "");
}

}  // namespace
