// The training-data converters run as the command line starts them, on small files in a
// scratch directory: -epd2bin and -bin2epd round trip, bad input lines skipped and counted,
// -filtertraindata keeping the first of duplicates, -bin2ptb's feature records, and an
// output that cannot be written leaving nothing behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
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
  EXPECT_TRUE(run_tool(dir, {"-quiet", "-bin2epd", "back.bin"}).empty());
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
  Lines lines = run_tool(dir, {"-quiet", "-epd2bin", "x.epd"});
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "cannot write x.bin");
  auto entries = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  EXPECT_EQ(entries, 2);  // x.epd and the folder: no temporary file left
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("x.bin")));
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
