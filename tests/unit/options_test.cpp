// The option handler, the configuration-file reader and the advertised UCI_Elo range,
// where the stored values matter more than the reply lines.
#include "shell/options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "search/control.h"
#include "base/settings.h"

namespace {

using search::control;
using base::settings;
using base::settings_snapshot;

class OptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base::set_default_settings(settings);
    search::set_default_control(control);
    settings_snapshot = settings;
  }

  // What `action` writes to standard output.
  static std::string output_of(const std::function<void()>& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
  }

  static std::string set(const char* name, const std::string& value) {
    return output_of([&] { shell::set_option(name, value.c_str()); });
  }
};

using OptionsHandler = OptionsTest;
using OptionsConfigFile = OptionsTest;
using OptionsList = OptionsTest;

bool same_settings(const base::EngineSettings& a, const base::EngineSettings& b) {
  return a == b;
}

TEST_F(OptionsHandler, SevenPieceProbeDepthFollowsTheSixPieceOne) {
  struct Case {
    const char* value;
    int six, seven;
  };
  for (const Case& c : {Case{"10", 10, 10}, Case{"8", 8, 8}, Case{"7", 7, 7}, Case{"3", 3, 7}, Case{"-6", -5, 7},
                        Case{"101", 100, 100}}) {
    EXPECT_EQ(set("SyzygyProbeDepth6", c.value),
              "info string SyzygyProbeDepth6 set to " + std::to_string(c.six) + "\n");
    EXPECT_EQ(settings.syzygy_probe_depth, c.six) << c.value;
    EXPECT_EQ(settings.syzygy_probe_depth7, c.seven) << c.value;
  }
}

TEST_F(OptionsHandler, UciEloKeepsToItsOwnRangeWhateverTheAdvertisedTop) {
  settings.max_elo = 2800.0f;
  EXPECT_EQ(set("UCI_Elo", "3500"), "info string UCI_Elo set to 3300\n");
  EXPECT_EQ(settings.uci_elo, 3300);
  set("UCI_Elo", "1000");
  EXPECT_EQ(settings.uci_elo, 1500);
}

TEST_F(OptionsHandler, UnknownAndMiscasedNamesChangeNothing) {
  for (const char* name : {"hash", "contempt", "Contempt ", " Contempt", "CONTEMPT", "", "OwnBook_file"})
    EXPECT_EQ(set(name, "5"), "") << '"' << name << '"';
  EXPECT_TRUE(same_settings(settings, settings_snapshot));
}

TEST_F(OptionsHandler, DoesNothingWhileASearchIsRequestedOrRunning) {
  for (uint16_t state :
       {search::kSearchRequested, search::kPonderRequested, search::kThinking, search::kPondering, search::kResultReady}) {
    control.state = state;
    EXPECT_EQ(set("Contempt", "50"), "") << state;
    EXPECT_EQ(set("OwnBook_File", "x.bin"), "") << state;
    EXPECT_EQ(set("Clear Hash", ""), "") << state;
  }
  EXPECT_TRUE(same_settings(settings, settings_snapshot));
  control.state = 0;
  EXPECT_EQ(set("Contempt", "50"), "info string Contempt set to 50\n");
}

// A scratch directory for configuration files, removed at the end of the test.
class ConfigFiles {
 public:
  ConfigFiles() {
    char pattern[] = "/tmp/nesk-options-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
  }
  ~ConfigFiles() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  std::string write(const std::string& name, const std::string& text) const {
    std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }

 private:
  std::string path_;
};

TEST_F(OptionsConfigFile, LoadsValuesAndMakesTheLiveRecordTheAdvertisedOne) {
  ConfigFiles files;
  std::string path = files.write("a.cfg", "MultiPV = 4\nContempt=  -20  \n");
  settings.selectivity = 77;  // as the command line may have set it
  settings.config_file = path.c_str();
  EXPECT_EQ(output_of(shell::load_config_file),
            "info string loading parameters from " + path +
                "\ninfo string MultiPV set to 4\ninfo string Contempt set to -20\n");
  EXPECT_EQ(settings.multipv, 4);
  EXPECT_EQ(settings.contempt, -20);
  EXPECT_TRUE(same_settings(settings, settings_snapshot));
  EXPECT_EQ(settings_snapshot.selectivity, 77);
}

TEST_F(OptionsConfigFile, MissingFileLeavesEverythingAlone) {
  settings.contempt = 5;
  settings.config_file = "/nonexistent-directory/none.cfg";
  base::EngineSettings before = settings_snapshot;
  EXPECT_EQ(output_of(shell::load_config_file), "");
  EXPECT_TRUE(same_settings(settings_snapshot, before));
  EXPECT_EQ(settings.contempt, 5);
}

TEST_F(OptionsConfigFile, CommentsEmptyValuesAndLongLines) {
  ConfigFiles files;
  std::string path = files.write("b.cfg",
                                 "OwnBook_File = book#1.bin\n"  // '#' starts a comment anywhere
                                 "OwnBook2_File =\n"            // an empty value
                                 "Contempt = 9\n"
                                 "Contempt 99\n"  // no '=': skipped
                                 "OwnBook2_File = " +
                                     std::string(3000, 's') + "\n");  // read whole
  settings.book2_file = "old.bin";
  settings.config_file = path.c_str();
  std::string output = output_of(shell::load_config_file);
  EXPECT_NE(output.find("info string OwnBook2_File set to ''\n"), std::string::npos) << output;
  EXPECT_EQ(settings.book_file, "book");
  EXPECT_EQ(settings.book2_file, std::string(3000, 's'));
  EXPECT_EQ(settings.contempt, 9);
}

TEST_F(OptionsList, UciEloDefaultsToTheTopOfTheRange) {
  auto elo_line = [] {
    std::string list = output_of(shell::send_option_list);
    size_t at = list.find("option name UCI_Elo ");
    return at == std::string::npos ? std::string() : list.substr(at, list.find('\n', at) - at);
  };
  // No measurement yet: the top is the highest Elo the option accepts.
  EXPECT_EQ(elo_line(), "option name UCI_Elo type spin default 3300 min 1500 max 3300");
  EXPECT_EQ(settings_snapshot.uci_elo, 3300);
  EXPECT_EQ(settings.uci_elo, 0);

  // A measured top is shown truncated, and becomes the default while none was chosen.
  SetUp();
  settings.max_elo = settings_snapshot.max_elo = 2800.9f;
  EXPECT_EQ(elo_line(), "option name UCI_Elo type spin default 2800 min 1500 max 2800");
  SetUp();
  settings.max_elo = settings_snapshot.max_elo = 2800.9f;
  settings_snapshot.uci_elo = 2000;
  EXPECT_EQ(elo_line(), "option name UCI_Elo type spin default 2000 min 1500 max 2800");
}

}  // namespace
