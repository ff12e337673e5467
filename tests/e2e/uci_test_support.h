// Helpers shared by the UCI end-to-end tests: the expected "uci" reply, the start-up
// report, a command/answer exchange synchronised with "isready", and scratch directories.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine_process.h"

namespace uci_test {

using Lines = std::vector<std::string>;

inline const std::string kHello = "info string Hello from Nesk 7.07";

// The two lines every (re)allocation of the transposition table prints unless silenced.
inline Lines table_lines(int megabytes) {
  return {"info string allocated " + std::to_string(megabytes) + " Mbytes for hash table",
          "info string Cleared hash table"};
}

// The reply to "setoption name Hash value ..." that ends with `megabytes`.
inline Lines hash_reply(int megabytes) {
  Lines lines = {"info string Hash set to " + std::to_string(megabytes)};
  for (const std::string& l : table_lines(megabytes)) lines.push_back(l);
  return lines;
}

// The report of the network loader. Its wording depends on the network the program
// carries, so the tests recognise it rather than spell it out.
inline bool is_network_line(const std::string& line) {
  return line.rfind("info string loaded ", 0) == 0 || line.rfind("info string no network loaded", 0) == 0 ||
         line.rfind("info string can't open", 0) == 0;
}

inline bool is_calibration_line(const std::string& line) { return line.rfind("info string et= ", 0) == 0; }

// The tops of the UCI_Elo range that the calibration line allows: the Elo that its node
// rate buys (850 + 250 L - 5 L^2), cut to an integer. The rate is printed rounded, so a
// value a hair from an integer allows the neighbour too.
inline std::vector<int> elo_tops(const std::string& calibration) {
  double elapsed = 0, nps = 0, elo = 0;
  if (std::sscanf(calibration.c_str(), "info string et= %lf, calibration nps= %lf, elo= %lf", &elapsed, &nps, &elo) !=
          3 ||
      nps <= 0)
    return {};
  double l = std::log(nps);
  double top = 850 + 250 * l - 5 * l * l;
  int whole = static_cast<int>(std::floor(top));
  std::vector<int> tops = {whole};
  if (top - whole < 0.01) tops.push_back(whole - 1);
  if (whole + 1 - top < 0.01) tops.push_back(whole + 1);
  return tops;
}

// One line of the option list as the engine advertises it at start-up.
struct AdvertisedOption {
  const char* name;
  const char* type;
  const char* default_value;
  const char* range;  // " min X max Y" for spin options
};

inline const std::vector<AdvertisedOption>& advertised_options() {
  static const std::vector<AdvertisedOption> options = {
      {"ConfigFilePath", "string", "", ""},
      {"Hash", "spin", "64", " min 0 max 65536"},
      {"Threads", "spin", "1", " min 1 max 512"},
      {"Clear Hash", "button", "", ""},
      {"NN_File", "string", "embedded", ""},
      {"Use_NN_eval", "check", "true", ""},
      {"OwnBook", "check", "true", ""},
      {"OwnBook_File", "string", "nesk_book.bin", ""},
      {"OwnBook_Depth", "spin", "24", " min 0 max 60"},
      {"OwnBook2_File", "string", "", ""},
      {"OwnBook2_Depth", "spin", "0", " min 0 max 60"},
      {"OwnBook_Variety", "spin", "25", " min 0 max 100"},
      {"SyzygyPath", "string", "", ""},
      {"SyzygyProbeDepth6", "spin", "1", " min -5 max 100"},
      {"Log", "check", "false", ""},
      {"Ponder", "check", "false", ""},
      {"MultiPV", "spin", "1", " min 1 max 255"},
      {"UCI_Chess960", "check", "false", ""},
      {"MoveOverhead", "spin", "50", " min 0 max 1000"},
      {"UCI_LimitStrength", "check", "false", ""},
      {"UCI_Elo", "spin", "", ""},  // default and top from the calibration
      {"UCI_Opponent", "string", "", ""},
      {"Contempt", "spin", "0", " min -150 max 150"},
      {"Selectivity", "spin", "100", " min 0 max 200"},
  };
  return options;
}

// The complete reply to "uci", with the defaults named in `changed` replaced, for a
// calibration whose Elo top is `elo_top`. UCI_Elo shows the top until a value is chosen.
inline Lines uci_reply(const std::map<std::string, std::string>& changed, int elo_top) {
  Lines lines = {"id name Nesk 7.07", "id author Drennick"};
  size_t used = 0;
  for (const AdvertisedOption& o : advertised_options()) {
    std::string name = o.name, line = "option name " + name + " type " + o.type;
    std::string value = o.default_value, range = o.range;
    if (name == "UCI_Elo") {
      value = std::to_string(elo_top);
      range = " min 1500 max " + std::to_string(elo_top);
    }
    auto it = changed.find(name);
    if (it != changed.end()) {
      value = it->second;
      ++used;
    }
    if (std::string(o.type) != "button") line += " default " + value + range;
    lines.push_back(line);
  }
  EXPECT_EQ(used, changed.size()) << "a changed default names no advertised option";
  lines.push_back("uciok");
  return lines;
}

// Sends `commands` followed by "isready" and returns every line before "readyok".
inline Lines ask(EngineProcess& engine, const Lines& commands) {
  for (const std::string& c : commands) engine.send(c);
  engine.send("isready");
  Lines lines = engine.read_until("readyok");
  if (lines.empty()) {
    ADD_FAILURE() << "no readyok after " << (commands.empty() ? std::string("isready") : commands.back());
    return lines;
  }
  lines.pop_back();
  return lines;
}

inline Lines ask(EngineProcess& engine, const std::string& command) { return ask(engine, Lines{command}); }

// The engine in its normal mode, with its start-up report taken apart: the lines before
// the network report (greeting, table, configuration file, log), the network report, and
// the calibration line that ends start-up.
class UciEngine {
 public:
  explicit UciEngine(const Lines& arguments = {}, const std::string& directory = "") : process_(arguments, directory) {
    Lines lines = uci_test::ask(process_, Lines{});
    if (!lines.empty() && is_calibration_line(lines.back())) {
      calibration_ = lines.back();
      lines.pop_back();
    }
    while (!lines.empty() && is_network_line(lines.back())) {
      network_.insert(network_.begin(), lines.back());
      lines.pop_back();
    }
    head_ = lines;
    tops_ = elo_tops(calibration_);
    EXPECT_FALSE(tops_.empty()) << "no calibration line at start-up";
  }

  EngineProcess& process() { return process_; }
  const Lines& head() const { return head_; }
  const Lines& network() const { return network_; }
  const std::string& calibration() const { return calibration_; }
  // The start-up lines from the network report on, as the log also receives them.
  Lines startup_tail() const {
    Lines lines = network_;
    lines.push_back(calibration_);
    return lines;
  }

  Lines ask(const Lines& commands) { return uci_test::ask(process_, commands); }
  Lines ask(const std::string& command) { return uci_test::ask(process_, Lines{command}); }

  Lines uci() {
    process_.send("uci");
    return process_.read_until("uciok");
  }

  // The expected "uci" reply; where the calibration allows two tops, the one `actual` shows.
  Lines expected_uci(const std::map<std::string, std::string>& changed = {}, const Lines& actual = {}) const {
    if (tops_.empty()) return {};
    Lines expected = uci_reply(changed, tops_[0]);
    for (size_t i = 1; i < tops_.size() && actual != expected; ++i) {
      Lines other = uci_reply(changed, tops_[i]);
      if (other == actual) expected = other;
    }
    return expected;
  }

  // Asks for the option list and compares it, line by line, with the expected one.
  void expect_uci(const std::map<std::string, std::string>& changed = {}) {
    Lines actual = uci();
    EXPECT_EQ(actual, expected_uci(changed, actual));
  }

  void quit() {
    process_.send("quit");
    EXPECT_EQ(process_.wait_exit(), 0);
  }

 private:
  EngineProcess process_;
  Lines head_, network_;
  std::string calibration_;
  std::vector<int> tops_;
};

// The lines of a text file; empty when it cannot be read.
inline Lines file_lines(const std::string& path) {
  Lines lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A file's bytes as they are; empty when it cannot be read.
inline std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

// Text cut at its newlines; a last line without one still counts.
inline Lines split_lines(const std::string& text) {
  Lines lines;
  size_t at = 0;
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline Lines joined(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/nesk-uci-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs the engine with `arguments` in `dir` to its end, expects the exit status `status`,
// and returns its output lines (standard output and error together). The tools are quiet
// until they finish, which under a sanitizer on a loaded machine takes many seconds: the
// output is read to its end, not to a pause in it.
inline Lines run_tool(const ScratchDirectory& dir, const Lines& arguments, int status = 0) {
  EngineProcess tool(arguments, dir.path());
  Lines lines = tool.read_available(60000);
  EXPECT_EQ(tool.wait_exit(60000), status);
  return lines;
}

}  // namespace uci_test
