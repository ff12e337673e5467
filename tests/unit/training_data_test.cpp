// The training-data converters' pieces: the record encoding, the score/probability map,
// the EPD line reader and its faults, the decoder's rejections, the feature indexes, the
// duplicate keys, the all-or-nothing output file that keeps what it may not replace, and
// reading a training file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "tools/epd_to_training.h"
#include "tools/filter_training.h"
#include "tools/output_file.h"
#include "tools/text_lines.h"
#include "tools/training_features.h"
#include "tools/training_file.h"
#include "tools/training_to_epd.h"

namespace {

using namespace tools;
using nesk_test::sq;
using position::Position;

TrainingRecord record_of(const std::string& line) {
  nesk_test::engine_thread();
  EpdLine epd;
  EpdRecordResult r = epd_line_to_record(line, false, epd);
  EXPECT_TRUE(r.made) << line;
  return r.record;
}

std::string epd_of(const TrainingRecord& r) {
  char text[160];
  return std::string(text, training_record_to_epd(r, text));
}

TEST(TrainingScore, ProbabilityMapAndItsStoredInverse) {
  EXPECT_DOUBLE_EQ(score_to_prob(0), 0.5);
  EXPECT_NEAR(score_to_prob(200 * std::log(3.0)), 0.75, 1e-12);
  EXPECT_NEAR(score_to_prob(-200 * std::log(3.0)), 0.25, 1e-12);
  // Certain results are held off 0 and 1 in single precision.
  EXPECT_EQ(prob_to_score(1.0), 2760);
  EXPECT_EQ(prob_to_score(0.0), -2763);
  EXPECT_EQ(prob_to_score(0.5), 0);
  EXPECT_EQ(prob_to_score(0.75), 219);  // 219.72 cut toward zero
  EXPECT_EQ(prob_to_score(0.25), -219);
  for (double p = 0.02; p < 0.99; p += 0.01) EXPECT_NEAR(score_to_prob(prob_to_score(p)), p, 0.00126) << p;
}

TEST(TrainingRecordEncoding, BytesOfTheBoardFlagsAndScores) {
  TrainingRecord r = record_of("4k3/8/8/8/8/8/4P3/4K3 w - - ce 35; gr 1.0;");
  std::vector<uint8_t> board(r.bytes, r.bytes + 32), expected(32, 0);
  expected[2] = 0x06;   // e1 (square 4, low nibble): white king
  expected[6] = 0x01;   // e2 (12): white pawn
  expected[30] = 0x0E;  // e8 (60): black king
  EXPECT_EQ(board, expected);
  EXPECT_EQ(r.bytes[32], 0);
  EXPECT_EQ(r.bytes[33], 64);
  EXPECT_EQ(r.bytes[34] | r.bytes[35] << 8, 2760);
  EXPECT_EQ(record_ce(r), 35);
  EXPECT_EQ(record_sc(r), 35);  // missing "sc" takes "ce"

  r = record_of("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBN1 b Qkq e3 0 2 ce -12; sc 3500; gr 0.0;");
  EXPECT_EQ(r.bytes[32], 0x10 | 2 | 4 | 8);  // black to move; white's king side right went with its rook
  EXPECT_EQ(r.bytes[33], sq("e3"));
  EXPECT_EQ(r.bytes[14] & 15, 1);              // e4 (28): white pawn
  EXPECT_EQ(r.bytes[18] & 15, 9);              // e5 (36): black pawn
  EXPECT_EQ(record_result_score(r), -2763);
  EXPECT_EQ(record_ce(r), -12);
  EXPECT_EQ(record_sc(r), 3000);  // held inside +-3000

  // Only "sc": "ce" takes it, and the result is the probability it stands for.
  r = record_of("4k3/8/8/8/8/8/4P3/4K3 b - - sc -300;");
  EXPECT_EQ(record_ce(r), -300);
  EXPECT_NEAR(record_result_score(r), -300, 1);
}

TEST(TrainingRecordEncoding, EpdComesBackFromTheRecord) {
  for (const char* line : {"rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 ce -12; sc 30; gr 0.5;",
                           "r3k2r/8/8/8/8/8/8/R3K2R b Kq - ce 9990; sc -2999; gr 1.0;",
                           "8/8/8/3k4/8/8/1p6/K7 w - - ce -600; sc -700; gr 0.0;",
                           "8/8/8/3k4/8/8/1p6/K7 w - - ce -60; sc -70; gr 0.3;"})
    EXPECT_EQ(epd_of(record_of(line)), std::string(line) + "\n");
}

TEST(EpdLineReader, KeepsSevenOpcodesAndDropsBlanksInOperands) {
  EpdLine epd;
  ASSERT_TRUE(read_epd_line("8/8/8/8/8/8/8/K6k  w  -  -  0 1 bm Nf3, e4; xx 5; id \"a b\"; c0 e4=10; ce 7", epd));
  EXPECT_STREQ(epd.fen, "8/8/8/8/8/8/8/K6k w - -");
  EXPECT_STREQ(epd.operand[kOpBm], "Nf3,e4");
  EXPECT_STREQ(epd.operand[kOpId], "\"ab\"");
  EXPECT_STREQ(epd.operand[kOpC0], "e4=10");
  EXPECT_FALSE(epd.present[kOpCe]);  // no ";": not read
  EXPECT_FALSE(epd.present[kOpAm]);
  EXPECT_FALSE(read_epd_line("8/8/8/8/8/8/8/K6k w -", epd));
}

TEST(EpdLineReader, BadLinesAreSkippedForTheirFault) {
  nesk_test::engine_thread();
  struct Case {
    std::string line;
    bool ignored;
    LineFault fault;
  };
  const std::string king = "4k3/8/8/8/8/8/8/4K3 w - - ";
  std::vector<Case> cases = {
      {"# a comment line that is long enough", true, kBadValue},
      {" 4k3/8/8/8/8/8/8/4K3 w - - ce 1;", true, kBadValue},
      {"4k3/8/8/8 w - -", true, kBadValue},  // under 20 characters
      {king + "ce 1;\x01\x02\x7f", false, kBinary},
      {std::string("4k3/8/8/8/8/8/8/4K3 w - - ce 1;\0;", 33), false, kBinary},
      {"4k3/8/8/8/8/8/8/4K3 w ce 5; gr 0.5;", false, kBadFen},  // fields shifted
      {"4k3/8/8/8/8/8/8/4K3 w", false, kMissingField},
      {king + "gr 0.5;", false, kMissingField},
      {king + "ce 5", false, kMissingField},  // no ";"
      {"4k3/8/8/8/8/8/8/4K4 w - - ce 5;", false, kBadFen},    // nine files
      {"4k3/8/8/8/8/8/8/4X3 w - - ce 5;", false, kBadFen},
      {"4k3/8/8/8/8/8/8/8 w - - ce 5; gr 1.0;", false, kBadFen},  // no white king
      {"4k3/4R3/8/8/8/8/8/4K3 w - - ce 5;", false, kBadFen},     // black in check, white to move
      {"4k3/8/8/8/8/8/8/4K3 x - - ce 5;", false, kBadFen},
      {king + "ce abc;", false, kBadValue},
      {king + "ce 40000;", false, kBadValue},
      {king + "ce 5; sc 1.5;", false, kBadValue},
      {king + "ce 5; gr 1.5;", false, kBadValue},
      {king + "ce 5; gr nan;", false, kBadValue},
  };
  EpdLine epd;
  for (const Case& c : cases) {
    EpdRecordResult r = epd_line_to_record(c.line, false, epd);
    EXPECT_FALSE(r.made) << c.line;
    EXPECT_EQ(r.ignored, c.ignored) << c.line;
    if (!c.ignored) {
      EXPECT_EQ(r.fault, c.fault) << c.line;
    }
  }
  EpdRecordResult r = epd_line_to_record(king + "ce 5;", true, epd);
  EXPECT_EQ(r.fault, kTooLong);
  EXPECT_FALSE(r.made);
}

TEST(TextLines, LongLinesAreCutAndNeverSpillIntoTheNext) {
  std::string path = std::filesystem::temp_directory_path() / ("nesk-lines-" + std::to_string(getpid()));
  std::string huge(3 << 20, 'x');  // longer than a read block
  {
    std::ofstream out(path, std::ios::binary);
    out << std::string(255, 'a') << "\n" << std::string(254, 'b') << "\r\n" << huge << "\nlast\r\n\nend";
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(file);
  TextLines lines(file, 254);
  std::vector<std::pair<std::string, bool>> got;
  std::string_view line;
  bool too_long;
  while (lines.next(line, too_long)) got.emplace_back(std::string(line), too_long);
  std::fclose(file);
  std::filesystem::remove(path);
  std::vector<std::pair<std::string, bool>> expected = {
      {std::string(254, 'a'), true}, {std::string(254, 'b'), false}, {std::string(254, 'x'), true},
      {"last", false}, {"", false}, {"end", false}};
  EXPECT_EQ(got, expected);
}

// The rules differ by tool: what one passes over, another reads or counts as a fault.
TEST(EpdReader, PassesOverWhatItsRulesSayAndCountsTheRest) {
  const std::string text = std::string("\tk7/8/8/8/8/8/8/K7 w - -\n") + "# note\n" + "k7/8 w\n" +
                           std::string("\0k7/8/8/8/8/8/8/K7 w - -\n", 25) + "K7/8/8/8/8/8/8/7k b - - bm Kb8;\n";
  auto read_all = [&](const EpdLineRules& rules, std::vector<std::string>& fens) {
    std::string bytes = text;
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    EpdReader reader(file, rules);
    while (reader.next()) fens.push_back(reader.epd().fen);
    LineFaults faults = reader.faults();
    std::fclose(file);
    return faults;
  };
  std::vector<std::string> fens;
  LineFaults faults = read_all(EpdLineRules{}, fens);
  EXPECT_EQ(fens, (std::vector<std::string>{"k7/8/8/8/8/8/8/K7 w - -", "K7/8/8/8/8/8/8/7k b - -"}));
  EXPECT_EQ(faults.count[kMissingField], 1u);  // "k7/8 w"
  EXPECT_EQ(faults.count[kBinary], 1u);        // a leading NUL is no comment mark
  fens.clear();
  faults = read_all(kLabelledLines, fens);  // indented and short lines pass over
  EXPECT_EQ(fens, std::vector<std::string>{"K7/8/8/8/8/8/8/7k b - -"});
  EXPECT_EQ(faults.total(), 1u);
  fens.clear();
  EpdLineRules first_lines;
  first_lines.max_lines = 4;  // every line counts, read or passed over
  EXPECT_EQ(read_all(first_lines, fens).total(), 2u);
  EXPECT_EQ(fens.size(), 1u);
}

TEST(TrainingRecordDecoding, RejectsWhatTrainingCannotUseAndBlendsTheTarget) {
  Position pos;
  float target = -1;
  TrainingRecord r = record_of("4k3/8/8/8/8/8/4P3/4K3 w - - ce 100; sc 100; gr 0.5;");
  ASSERT_EQ(decode_training_record(r, pos, target), 1);
  EXPECT_NEAR(target, 0.25 * 0.5 + 0.75 * score_to_prob(100), 1e-6);
  EXPECT_EQ(pos.king_square[position::kBlack], sq("e8"));
  EXPECT_EQ(pos.board[sq("e2")], position::piece_code(position::kWhite, position::kPawn));

  // Result and search disagree by more than 0.45: a lost game at +200 does, a drawn one not.
  EXPECT_EQ(decode_training_record(record_of("4k3/8/8/8/8/8/4P3/4K3 w - - sc 200; gr 0.0;"), pos, target), 0);
  EXPECT_EQ(decode_training_record(record_of("4k3/8/8/8/8/8/4P3/4K3 w - - sc 200; gr 0.5;"), pos, target), 1);

  TrainingRecord no_king = r;
  no_king.bytes[30] = 0;  // e8 emptied
  EXPECT_EQ(decode_training_record(no_king, pos, target), 0);
  // The pawn moved from e2 to d7 (51, high nibble), where it checks the king on e8.
  TrainingRecord in_check = r;
  in_check.bytes[6] = 0;
  in_check.bytes[25] = 0x10;
  in_check.bytes[32] = 0x10;  // black to move: a check to answer is fine
  EXPECT_EQ(decode_training_record(in_check, pos, target), 1);
  in_check.bytes[32] = 0;     // white to move: the black king could be taken
  EXPECT_EQ(decode_training_record(in_check, pos, target), 0);
  TrainingRecord garbage = r;
  garbage.bytes[0] = 0x07;  // no piece has code 7
  EXPECT_FALSE(record_well_formed(garbage));
  EXPECT_EQ(decode_training_record(garbage, pos, target), 0);
}

std::vector<uint16_t> features_of(const std::string& line) {
  Position pos;
  float target;
  EXPECT_EQ(decode_training_record(record_of(line), pos, target), 1) << line;
  uint16_t features[kFeatureSlots];
  feature_indexes(pos, features);
  return std::vector<uint16_t>(features, features + kFeatureSlots);
}

std::vector<uint16_t> padded(std::vector<uint16_t> used) {
  used.resize(kFeatureSlots, kNoFeature);
  return used;
}

TEST(TrainingFeatures, IndexesFromTheMoversViewMirroredAndFlipped) {
  // White to move, king on g1: own king 320 + 6, own pawn e2 = 12, other king 384 + 320 + 60.
  EXPECT_EQ(features_of("4k3/8/8/8/8/8/4P3/6K1 w - - ce 0;"), padded({326, 12, 764}));
  // King on c1 (files a-d): every square mirrored, e2 = 12 becomes 11, c1 = 2 becomes 5.
  EXPECT_EQ(features_of("4k3/8/8/8/8/8/4P3/2K5 w - - ce 0;"), padded({325, 11, 763}));
  // The same game colours reversed, black to move: flipped upside down, the same features
  // (men listed in square order: e1, e7, g8).
  EXPECT_EQ(features_of("6k1/4p3/8/8/8/8/8/4K3 b - - ce 0;"), padded({764, 12, 326}));
  // Black to move with its king on b8: mirrored and flipped, square ^ 63.
  EXPECT_EQ(features_of("1k6/4p3/8/8/8/8/8/4K3 b - - ce 0;"), padded({384 + 320 + (4 ^ 63), 52 ^ 63, 320 + (57 ^ 63)}));
  // Queens, rooks and knights of both sides, king on the e-h side: 64 x (type - 1) + square.
  EXPECT_EQ(features_of("r3k3/8/8/8/8/8/8/1N2K2Q w - - ce 0;"),
            padded({64 + 1, 320 + 4, 256 + 7, 384 + 192 + 56, 384 + 320 + 60}));

  uint16_t features[kFeatureSlots];
  std::fill(features, features + kFeatureSlots, kNoFeature);
  features[0] = 0x1234;
  uint8_t bytes[kFeatureRecordSize];
  encode_feature_record(features, 0.75f, bytes);
  EXPECT_EQ(bytes[0], 0x34);
  EXPECT_EQ(bytes[1], 0x12);
  EXPECT_EQ(bytes[62] | bytes[63] << 8, kNoFeature);
  EXPECT_EQ((std::vector<uint8_t>{bytes[64], bytes[65], bytes[66], bytes[67]}),
            (std::vector<uint8_t>{0x00, 0x00, 0x40, 0x3F}));  // 0.75f
}

TEST(DuplicateFilter, KeyOfThePositionAndTheFirstKept) {
  TrainingRecord a = record_of("4k3/8/8/8/8/8/4P3/4K3 w - - ce 10;");
  TrainingRecord again = record_of("4k3/8/8/8/8/8/4P3/4K3 w - - ce -50; gr 0.0;");
  TrainingRecord black = record_of("4k3/8/8/8/8/8/4P3/4K3 b - - ce 10;");
  TrainingRecord moved = record_of("4k3/8/8/8/8/4P3/8/4K3 w - - ce 10;");
  EXPECT_EQ(record_key(a), record_key(again));  // the labels are no part of the position
  EXPECT_NE(record_key(a), record_key(black));
  EXPECT_NE(record_key(a), record_key(moved));
  Position pos;
  float target;
  decode_training_record(a, pos, target);
  EXPECT_EQ(record_key(a), pos.key);  // the engine's own key for white to move

  KeySet seen(2);  // far too small: it must grow
  std::vector<uint64_t> keys;
  for (uint64_t i = 0; i < 5000; ++i) keys.push_back(i * 0x9E3779B97F4A7C15ULL);  // key 0 among them
  for (uint64_t key : keys) EXPECT_TRUE(seen.insert(key));
  for (uint64_t key : keys) EXPECT_FALSE(seen.insert(key));
  EXPECT_EQ(seen.size(), keys.size());
}

TEST(OutputFile, AllOrNothingUnderTheFinalName) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("nesk-out-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string final_name = (dir / "data.bin").string();
  { std::ofstream(final_name) << "old"; }
  {
    OutputFile out;
    ASSERT_TRUE(out.open(final_name, Existing::kReplace));
    out.write(std::string(3 << 20, 'n'));  // past the buffer, so some of it reached the disk
  }  // not committed: the old file stays, the temporary one is gone
  EXPECT_EQ(std::filesystem::file_size(final_name), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  {
    OutputFile out;
    ASSERT_TRUE(out.open(final_name, Existing::kReplace));
    out.write("new");
    EXPECT_TRUE(out.commit());
  }
  std::ifstream in(final_name);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  std::filesystem::remove_all(dir);
}

// A name the tool made up never replaces a file, not even one that appears while the tool
// writes (the tools' end-to-end tests show the rest of what may be replaced).
TEST(OutputFile, KeepsAFileThatAppearsWhileItWrites) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("nesk-keep-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string late = (dir / "late.bin").string();
  OutputFile out;
  ASSERT_TRUE(out.open(late, Existing::kRefuse));
  out.write("ours");
  { std::ofstream(late) << "theirs"; }
  EXPECT_FALSE(out.commit());
  EXPECT_EQ(out.failure(), late + " exists: not replaced");
  std::ifstream in(late);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "theirs");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temporary file left
  std::filesystem::remove_all(dir);
}

TEST(TrainingFileNames, DerivedFromTheFileNameNotTheFolder) {
  EXPECT_EQ(derived_name("a.epd", ".epd", ".bin"), "a.bin");
  EXPECT_EQ(derived_name("v1.epd/t.epd", ".epd", ".bin"), "v1.epd/t.bin");
  EXPECT_EQ(derived_name("x.bin/data.epd.bin", ".bin", ".epd"), "x.bin/data.epd.epd");
  EXPECT_EQ(derived_name("v1.epd/t.txt", ".epd", ".bin"), "");
}

// A pipe has no size to go by: its records are read as they come, a broken tail noticed.
// A file that is not there is said to be missing (the trainers rely on this message).
TEST(TrainingFileLoading, ReadsAPipeToItsEndAndSaysWhatIsMissing) {
  const size_t count = 70000;  // more than one read's worth
  std::string bytes;
  for (size_t i = 0; i < count; ++i) {
    TrainingRecord r = record_of("4k3/8/8/8/8/8/4P3/4K3 w - - ce " + std::to_string(i % 1000) + ";");
    bytes.append(reinterpret_cast<const char*>(r.bytes), sizeof r.bytes);
  }
  bytes += "tail";
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  // The pipe under a training file's name: the loader opens it as a user's "<(...)" would.
  std::string name = std::filesystem::temp_directory_path() / ("nesk-pipe-" + std::to_string(getpid()) + ".bin");
  std::filesystem::create_symlink("/proc/self/fd/" + std::to_string(ends[0]), name);
  std::thread writer([&] {
    sigset_t broken_pipe;  // a loader that stops early makes the writes fail, not the test
    sigemptyset(&broken_pipe);
    sigaddset(&broken_pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &broken_pipe, nullptr);
    for (size_t at = 0; at < bytes.size();) {
      ssize_t n = write(ends[1], bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    close(ends[1]);
  });
  std::vector<TrainingRecord> records;
  testing::internal::CaptureStdout();
  int result = load_training_file(name.c_str(), records);
  std::string said = testing::internal::GetCapturedStdout();
  close(ends[0]);
  writer.join();
  std::filesystem::remove(name);
  ASSERT_EQ(result, 0) << said;
  ASSERT_EQ(records.size(), count);
  EXPECT_EQ(record_ce(records[count - 1]), static_cast<int>((count - 1) % 1000));
  EXPECT_NE(said.find("ignored 4 bytes at the end of " + name + ": not a whole record"), std::string::npos) << said;

  testing::internal::CaptureStdout();
  EXPECT_EQ(load_training_file("/nonexistent/missing.bin", records), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "cannot read /nonexistent/missing.bin: No such file or directory\n");
}

}  // namespace
