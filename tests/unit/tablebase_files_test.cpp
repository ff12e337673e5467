// Finding, registering and mapping table files, with damaged copies of the shared tables
// made in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/settings.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "test_support.h"

namespace {

using namespace tablebase;

const std::string kTables = std::string(NESK_TESTDATA) + "/syzygy";

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Expected {
  TBPosition position;
  int wdl, dtz;
  uint64_t key;
};

class TablebaseFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    nesk_test::engine_thread();
    if (!std::ifstream(kTables + "/KQvK.rtbw")) GTEST_SKIP() << "tablebase files not found in " << kTables;
    char pattern[] = "/tmp/nesk_tb_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::ifstream in(kTables + "/expected.epd");
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) continue;
      Expected e;
      e.position = to_tb_position(nesk_test::set_up(line.substr(0, line.find(" wdl_table")).c_str()), 0);
      e.wdl = std::stoi(line.substr(line.find("; wdl ") + 6));
      e.dtz = std::stoi(line.substr(line.find("dtz ") + 4));
      e.key = material_key(e.position, false);
      expected_.push_back(e);
    }
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
    base::settings.syzygy_path.clear();
    tb_init();
  }

  // Loads the tables from `path` and returns what the loading printed.
  static std::string load(const std::string& path) {
    base::settings.syzygy_path = path;
    testing::internal::CaptureStdout();
    tb_init();
    return testing::internal::GetCapturedStdout();
  }

  std::string folder(const std::string& name) {
    std::string path = dir_ + "/" + name;
    mkdir(path.c_str(), 0755);
    return path;
  }
  void copy_table(const std::string& name, const std::string& to) { write_file(to + "/" + name, read_file(kTables + "/" + name)); }

  std::string dir_;
  std::vector<Expected> expected_;
};

int count_of(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(TablebaseFiles, NoPathLoadsNothing) {
  EXPECT_EQ(load(""), "");
  EXPECT_EQ(TB_LARGEST, 0);
  EXPECT_EQ(load("<empty>"), "");
  EXPECT_EQ(TB_LARGEST, 0);
}

// "a;;b" and "a:b" both name the two folders; the first folder that has a file serves it.
TEST_F(TablebaseFiles, DirectoryListsAndCounts) {
  std::string a = folder("a"), b = folder("b");
  copy_table("KQvK.rtbw", a);
  copy_table("KRvK.rtbw", b);
  copy_table("KRvK.rtbz", b);
  const std::string found = "info string Found 2 WDL, 0 DTM and 1 DTZ tablebase files. Largest 3-men\n";
  EXPECT_EQ(load(a + ";;" + b), found);
  EXPECT_EQ(load(a + ":" + b), found);
  EXPECT_EQ(TB_LARGEST, 3);
  TBPosition krk = to_tb_position(nesk_test::set_up("8/8/8/3k4/8/8/8/R3K3 w - -"), 0);
  int success;
  int from_b = probe_dtz(krk, &success);
  EXPECT_NE(success, 0);
  load(kTables);
  EXPECT_EQ(probe_dtz(krk, &success), from_b);
  // KRvKQ is read from the KQvKR table under the flipped key.
  copy_table("KQvKR.rtbw", a);
  load(a);
  EXPECT_EQ(probe_wdl(to_tb_position(nesk_test::set_up("8/8/8/3k4/8/1q6/8/R3K3 w - -"), 0), &success), -2);
  EXPECT_EQ(success, 1);
}

TEST_F(TablebaseFiles, BadDirectoriesAreReportedOnceAndIgnored) {
  std::string good = folder("good"), empty = folder("empty");
  copy_table("KQvK.rtbw", good);
  write_file(dir_ + "/plain", "x");
  std::string out = load(dir_ + "/missing;" + dir_ + "/plain;" + empty + ";" + good);
  EXPECT_EQ(out, "info string Tablebase directory " + dir_ + "/missing not found\n" + "info string Tablebase path " +
                     dir_ + "/plain is not a directory\n" + "info string No tablebase files in " + empty + "\n" +
                     "info string Found 1 WDL, 0 DTM and 0 DTZ tablebase files. Largest 3-men\n");
}

// Sizes other than 16 past a multiple of 64 mark a file as incomplete.
TEST_F(TablebaseFiles, FileSizes) {
  std::string d = folder("sizes");
  ASSERT_EQ(truncate((write_file(d + "/KQvK.rtbw", ""), d + "/KQvK.rtbw").c_str(), 1000016), 0);
  ASSERT_EQ(truncate((write_file(d + "/KRvK.rtbw", ""), d + "/KRvK.rtbw").c_str(), 1000000), 0);
  write_file(d + "/KBvK.rtbw", "");
  EXPECT_EQ(load(d), "info string Incomplete tablebase file KRvK.rtbw\ninfo string Incomplete tablebase file KBvK.rtbw\n"
                     "info string Found 1 WDL, 0 DTM and 0 DTZ tablebase files. Largest 3-men\n");
}

// Damaged copies: the material is dropped with one message, probes fail or stay in range,
// and nothing reads outside the mapping (the sanitizer builds run this too).
TEST_F(TablebaseFiles, DamagedFilesNeverEscape) {
  const char* names[] = {"KQvKR.rtbw", "KQvKR.rtbz", "KPvKP.rtbw", "KPvKP.rtbz", "KRPvK.rtbw", "KBBvK.rtbz"};
  std::mt19937 random(7);
  int variants = 0, dropped = 0;
  for (const char* name : names) {
    std::string original = read_file(kTables + "/" + name);
    ASSERT_GT(original.size(), 1024u);
    std::vector<std::pair<std::string, bool>> copies;  // bytes, must be refused
    std::string magic = original;
    magic[0] ^= 1;
    copies.push_back({magic, true});
    for (size_t keep : {size_t{80}, original.size() / 2, original.size() - 64})
      copies.push_back({original.substr(0, keep / 64 * 64 + 16), true});
    for (int i = 0; i < 40; ++i) {
      std::string flipped = original;
      int flips = 1 + static_cast<int>(random() % 4);
      size_t span = i % 2 ? flipped.size() : 512;
      for (int f = 0; f < flips; ++f) flipped[random() % span] ^= static_cast<char>(1 + random() % 255);
      copies.push_back({flipped, false});
    }
    for (auto& [bytes, refused] : copies) {
      char label[32];
      std::snprintf(label, sizeof(label), "v%d", variants++);
      std::string d = folder(label);
      write_file(d + "/" + name, bytes);
      std::string other = name;
      other.back() = other.back() == 'w' ? 'z' : 'w';
      copy_table(other, d);
      load(d);
      testing::internal::CaptureStdout();
      for (const Expected& e : expected_) {
        int success;
        int wdl = probe_wdl(e.position, &success);
        if (success) {
          EXPECT_TRUE(wdl >= -2 && wdl <= 2) << name;
          probe_dtz(e.position, &success);
        }
      }
      std::string out = testing::internal::GetCapturedStdout();
      int messages = count_of(out, "info string Corrupted table");
      EXPECT_LE(messages, 1) << name;
      dropped += messages;
      if (refused) {
        EXPECT_EQ(messages, 1) << name << " variant " << variants;
      }
      std::system(("rm -rf " + d).c_str());
    }
  }
  EXPECT_GT(dropped, 6 * 4 - 1);
}

int mapped_tables() {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find(".rtb") != std::string::npos;
  return n;
}

// Loading again releases every mapping of the previous load.
TEST_F(TablebaseFiles, ReloadingReleasesMappings) {
  load(kTables);
  int success;
  for (const Expected& e : expected_) probe_dtz(e.position, &success);
  int mapped = mapped_tables();
  EXPECT_GT(mapped, 40);
  load(kTables);
  EXPECT_EQ(mapped_tables(), 0);
  for (const Expected& e : expected_) probe_dtz(e.position, &success);
  EXPECT_EQ(mapped_tables(), mapped);
  load("");
  EXPECT_EQ(mapped_tables(), 0);
}

// Threads probing at once right after loading race for the first mappings.
TEST_F(TablebaseFiles, ConcurrentFirstProbes) {
  load(kTables);
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (size_t i = 0; i < expected_.size(); ++i) {
        const Expected& e = expected_[(i + 50 * t) % expected_.size()];
        int success;
        if (probe_wdl(e.position, &success) != e.wdl || probe_dtz(e.position, &success) != e.dtz) ++wrong;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
