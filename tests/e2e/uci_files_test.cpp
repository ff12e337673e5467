// The files the engine reads and writes around the protocol: configuration files and the
// log "nesk.log", seen from a GUI that starts the engine in a directory of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_process.h"
#include "uci_test_support.h"

namespace {

using uci_test::file_lines;
using uci_test::hash_reply;
using uci_test::joined;
using uci_test::kHello;
using uci_test::Lines;
using uci_test::ScratchDirectory;
using uci_test::table_lines;
using uci_test::UciEngine;
using uci_test::write_file;

Lines directory_listing(const std::string& path) {
  Lines names;
  for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
  return names;
}

std::string loading(const std::string& file) { return "info string loading parameters from " + file; }

// The greeting and the report of the default table, which open every normal start-up.
Lines greeting() { return joined({kHello}, table_lines(64)); }

// ---------------------------------------------------------------------------------------
// Configuration files

TEST(UciConfig, FileGivenOnTheCommandLine) {
  ScratchDirectory dir;
  write_file(dir.file("nesk.cfg"),
             "# Settings for the club match\n"
             "Hash   =   16   # sixteen megabytes\n"
             "Threads=2\n"
             "OwnBook_File =   my book.bin   \n"
             "Contempt 99\n"
             "# Contempt = 99\n"
             "\n"
             "UCI_Elo = 2000\n"
             "NoSuchOption = 5\n"
             "MultiPV=3");  // the last line has no line end
  // The file is read after the command line, so its Hash wins.
  UciEngine engine({"-hash", "32", "-cfg", "nesk.cfg"}, dir.path());
  Lines expected = joined({kHello}, table_lines(32));
  expected.push_back(loading("nesk.cfg"));
  expected = joined(expected, hash_reply(16));
  expected = joined(expected, {"info string Threads set to 2", "info string OwnBook_File set to 'my book.bin'",
                               "info string UCI_Elo set to 2000", "info string MultiPV set to 3"});
  EXPECT_EQ(engine.head(), expected);
  // The file's values become the advertised defaults.
  engine.expect_uci({{"ConfigFilePath", "nesk.cfg"},
                     {"Hash", "16"},
                     {"OwnBook_File", "my book.bin"},
                     {"UCI_Elo", "2000"},
                     {"MultiPV", "3"}});
  engine.quit();
}

TEST(UciConfig, MissingFileIsIgnored) {
  ScratchDirectory dir;
  UciEngine engine({"-cfg", "absent.cfg"}, dir.path());
  EXPECT_EQ(engine.head(), greeting());
  engine.expect_uci({{"ConfigFilePath", "absent.cfg"}});
  EXPECT_EQ(engine.ask("setoption name ConfigFilePath value absent.cfg"),
            Lines{"info string ConfigFilePath set to 'absent.cfg'"});
  engine.quit();
}

TEST(UciConfig, FileNamedBySetoption) {
  ScratchDirectory dir;
  write_file(dir.file("engine.cfg"), "Selectivity = 150\nOwnBook = false\n");
  UciEngine engine({}, dir.path());
  EXPECT_EQ(engine.head(), greeting());
  EXPECT_EQ(engine.ask("setoption name ConfigFilePath value engine.cfg"),
            (Lines{"info string ConfigFilePath set to 'engine.cfg'", loading("engine.cfg"),
                   "info string Selectivity set to 150", "info string OwnBook set to 0"}));
  engine.expect_uci({{"ConfigFilePath", "engine.cfg"}, {"Selectivity", "150"}, {"OwnBook", "false"}});
  // An absolute path works the same.
  const std::string absolute = dir.file("engine.cfg");
  EXPECT_EQ(engine.ask("setoption name ConfigFilePath value " + absolute),
            (Lines{"info string ConfigFilePath set to '" + absolute + "'", loading(absolute),
                   "info string Selectivity set to 150", "info string OwnBook set to 0"}));
  engine.quit();
}

// Files c1.cfg ... cN.cfg, each naming the next one before setting Contempt to its number.
void write_chain(const ScratchDirectory& dir, int files) {
  for (int i = 1; i <= files; ++i) {
    std::string text;
    if (i < files) text += "ConfigFilePath = c" + std::to_string(i + 1) + ".cfg\n";
    text += "Contempt = " + std::to_string(i) + "\n";
    write_file(dir.file("c" + std::to_string(i) + ".cfg"), text);
  }
}

TEST(UciConfig, EightFilesMayNestButNotNine) {
  for (int files : {8, 9}) {
    SCOPED_TRACE(std::to_string(files) + " files");
    ScratchDirectory dir;
    write_chain(dir, files);
    UciEngine engine({"-cfg", "c1.cfg"}, dir.path());
    Lines expected = greeting();
    for (int i = 1; i <= 8; ++i) {
      expected.push_back(loading("c" + std::to_string(i) + ".cfg"));
      if (i < files) expected.push_back("info string ConfigFilePath set to 'c" + std::to_string(i + 1) + ".cfg'");
    }
    if (files == 9) expected.push_back("info string configuration files nested too deeply, not loaded");
    // The outer files finish their own lines after the inner ones.
    for (int i = 8; i >= 1; --i) expected.push_back("info string Contempt set to " + std::to_string(i));
    EXPECT_EQ(engine.head(), expected);
    engine.expect_uci({{"ConfigFilePath", files == 9 ? "c9.cfg" : "c8.cfg"}, {"Contempt", "1"}});
    engine.quit();
  }
}

// A file that names itself is not loaded again inside itself: named k times it would
// otherwise load k^8 times.
TEST(UciConfig, FileNamingItselfIsLoadedOnce) {
  ScratchDirectory dir;
  write_file(dir.file("self.cfg"), "Hash = 8\nConfigFilePath = self.cfg\nConfigFilePath = self.cfg\nContempt = 3\n");
  UciEngine engine({}, dir.path());
  EXPECT_EQ(engine.head(), greeting());
  Lines expected = {"info string ConfigFilePath set to 'self.cfg'", loading("self.cfg")};
  expected = joined(expected, hash_reply(8));
  for (int naming = 0; naming < 2; ++naming) {
    expected.push_back("info string ConfigFilePath set to 'self.cfg'");
    expected.push_back("info string self.cfg is being loaded already, not loaded again");
  }
  expected.push_back("info string Contempt set to 3");
  EXPECT_EQ(engine.ask("setoption name ConfigFilePath value self.cfg"), expected);
  engine.expect_uci({{"ConfigFilePath", "self.cfg"}, {"Hash", "8"}, {"Contempt", "3"}});
  engine.quit();
}

TEST(UciConfig, LogSwitchedOnByTheFileRecordsWhatFollowsIt) {
  ScratchDirectory dir;
  write_file(dir.file("log.cfg"), "Contempt = 4\nLog = true\nSelectivity = 90\n");
  UciEngine engine({"-cfg", "log.cfg"}, dir.path());
  EXPECT_EQ(engine.head(), joined(greeting(), {loading("log.cfg"), "info string Contempt set to 4",
                                               "info string Log set to 1", "info string Selectivity set to 90"}));
  engine.quit();
  EXPECT_EQ(file_lines(dir.file("nesk.log")),
            joined(joined({"info string Selectivity set to 90"}, engine.startup_tail()),
                   {"CMD: isready", "readyok", "CMD: quit"}));
}

TEST(UciConfig, LogFromTheCommandLineOpensAfterTheFileIsRead) {
  ScratchDirectory dir;
  write_file(dir.file("plain.cfg"), "Contempt = 4\n");
  UciEngine engine({"-log", "-cfg", "plain.cfg"}, dir.path());
  EXPECT_EQ(engine.head(), joined(greeting(), {loading("plain.cfg"), "info string Contempt set to 4"}));
  // Reading the file made every live value an advertised default, the command line's too.
  Lines reply = engine.uci();
  EXPECT_EQ(reply, engine.expected_uci({{"ConfigFilePath", "plain.cfg"}, {"Contempt", "4"}, {"Log", "true"}}, reply));
  engine.quit();
  EXPECT_EQ(
      file_lines(dir.file("nesk.log")),
      joined(joined(engine.startup_tail(), joined({"CMD: isready", "readyok", "CMD: uci"}, reply)), {"CMD: quit"}));
}

// ---------------------------------------------------------------------------------------
// The log

TEST(UciLog, RecordsEachCommandAndEveryReply) {
  UciEngine engine({"-log"});
  EXPECT_EQ(engine.head(), greeting());
  engine.process().send("uci");
  Lines replies = engine.ask(Lines{"setoption name Hash value 2", "position startpos moves e2e4 e2e4"});
  auto uciok = std::find(replies.begin(), replies.end(), "uciok");
  ASSERT_NE(uciok, replies.end());
  Lines reply(replies.begin(), uciok + 1);
  EXPECT_EQ(reply, engine.expected_uci({{"Log", "true"}}, reply));
  EXPECT_EQ(Lines(uciok + 1, replies.end()),
            joined(hash_reply(2), {"info string illegal move e2e4, the rest ignored"}));
  engine.quit();

  // The greeting and the first table report come before the log is opened.
  Lines expected = joined(engine.startup_tail(), {"CMD: isready", "readyok", "CMD: uci"});
  expected = joined(expected, reply);
  expected.push_back("CMD: setoption name Hash value 2");
  expected = joined(expected, hash_reply(2));
  expected =
      joined(expected, {"CMD: position startpos moves e2e4 e2e4", "info string illegal move e2e4, the rest ignored",
                        "CMD: isready", "readyok", "CMD: quit"});
  EXPECT_EQ(file_lines(engine.process().directory() + "/nesk.log"), expected);
}

TEST(UciLog, EachStartReplacesTheOldLog) {
  ScratchDirectory dir;
  write_file(dir.file("nesk.log"), "a line from an earlier game\n");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    UciEngine engine({"-log"}, dir.path());
    EXPECT_EQ(engine.ask("setoption name Contempt value " + std::to_string(run)),
              Lines{"info string Contempt set to " + std::to_string(run)});
    engine.quit();
    EXPECT_EQ(file_lines(dir.file("nesk.log")),
              joined(engine.startup_tail(),
                     {"CMD: isready", "readyok", "CMD: setoption name Contempt value " + std::to_string(run),
                      "info string Contempt set to " + std::to_string(run), "CMD: isready", "readyok", "CMD: quit"}));
  }
}

TEST(UciLog, NoFileIsWrittenWithoutLogging) {
  for (const Lines& arguments : {Lines{}, Lines{"-log", "-quiet"}}) {
    SCOPED_TRACE(arguments.empty() ? "no arguments" : "-log -quiet");
    UciEngine engine(arguments);
    EXPECT_EQ(engine.ask(Lines{"uci", "setoption name Contempt value 5", "position startpos moves e2e4"}).size(),
              engine.expected_uci().size() + 1);
    engine.quit();
    EXPECT_EQ(directory_listing(engine.process().directory()), Lines{});
  }
}

TEST(UciLog, QuietSilencesTheStartupReports) {
  {
    // Only the calibration line is left, and a new table is not reported either.
    UciEngine engine({"-quiet"});
    EXPECT_EQ(engine.head(), Lines{});
    EXPECT_EQ(engine.network(), Lines{});
    EXPECT_EQ(engine.ask("setoption name Hash value 2"), Lines{"info string Hash set to 2"});
    engine.quit();
    EXPECT_EQ(directory_listing(engine.process().directory()), Lines{});
  }
  {
    // "-log" after "-quiet" turns the log back on.
    UciEngine engine({"-quiet", "-log"});
    EXPECT_EQ(engine.head(), Lines{});
    engine.quit();
    EXPECT_EQ(file_lines(engine.process().directory() + "/nesk.log"),
              joined(engine.startup_tail(), {"CMD: isready", "readyok", "CMD: quit"}));
  }
}

TEST(UciLog, LogOptionOpensTheLogOnceAndPausesIt) {
  ScratchDirectory dir;
  write_file(dir.file("nesk.log"), "a line from an earlier game\n");
  UciEngine engine({}, dir.path());
  EXPECT_EQ(engine.head(), greeting());
  // The reply is printed before logging starts.
  EXPECT_EQ(engine.ask("setoption name Log value true"), Lines{"info string Log set to 1"});
  EXPECT_EQ(engine.ask("setoption name Contempt value 7"), Lines{"info string Contempt set to 7"});
  // Switched off: its own reply is still logged, what follows is not.
  EXPECT_EQ(engine.ask("setoption name Log value false"), Lines{"info string Log set to 0"});
  EXPECT_EQ(engine.ask("setoption name Contempt value 8"), Lines{"info string Contempt set to 8"});
  // Switched on again: the same file goes on, nothing is lost.
  EXPECT_EQ(engine.ask("setoption name Log value true"), Lines{"info string Log set to 1"});
  engine.quit();
  EXPECT_EQ(file_lines(dir.file("nesk.log")),
            (Lines{"CMD: isready", "readyok", "CMD: setoption name Contempt value 7", "info string Contempt set to 7",
                   "CMD: isready", "readyok", "CMD: setoption name Log value false", "info string Log set to 0",
                   "CMD: isready", "readyok", "CMD: quit"}));
}

TEST(UciLog, LogThatCannotBeReplacedIsNotUsed) {
  // A directory named like the log, with something in it, cannot be removed.
  ScratchDirectory dir;
  std::filesystem::create_directory(dir.file("nesk.log"));
  write_file(dir.file("nesk.log/keep"), "kept\n");
  UciEngine engine({"-log"}, dir.path());
  EXPECT_EQ(engine.head(), joined(greeting(), {"log file in use."}));
  EXPECT_EQ(engine.ask("setoption name Log value true"), (Lines{"info string Log set to 1", "log file in use."}));
  engine.quit();
  EXPECT_EQ(directory_listing(dir.file("nesk.log")), Lines{"keep"});
  EXPECT_EQ(directory_listing(dir.path()), Lines{"nesk.log"});
}

}  // namespace
