#include "shell/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "eval/network.h"
#include "search/tt.h"
#include "search/control.h"
#include "tablebase/tbfiles.h"
#include "base/output.h"
#include "base/settings.h"

namespace shell {

using namespace base;
using namespace search;

namespace {

constexpr int kMaxConfigNesting = 8;
constexpr int kLowestUciElo = 1500;
int config_nesting = 0;
// The files being loaded, outermost first: a file that names one of them again would load
// itself over and over (a file naming itself k times, k^8 times).
std::string open_configs[kMaxConfigNesting];

int clamp(int value, int low, int high) { return value < low ? low : value > high ? high : value; }

void announce(const char* name, int value) {
  char line[256];
  std::snprintf(line, sizeof(line), "info string %s set to %d", name, value);
  emit_line(line);
}

void announce_text(const char* name, const std::string& value) {
  emit_line(("info string " + std::string(name) + " set to '" + value + "'").c_str());
}

int numeric_option(const char* name, const char* value, int low, int high) {
  int result = clamp(std::atoi(value), low, high);
  announce(name, result);
  return result;
}

int boolean_option(const char* name, const char* value) {
  int result = std::strstr(value, "true") ? 1 : 0;
  announce(name, result);
  return result;
}

// The top of the UCI_Elo range: what the measured node rate buys, or the highest Elo the
// option accepts while no measurement has been made.
int max_elo() { return settings.max_elo > 0 ? static_cast<int>(settings.max_elo) : 3300; }

void spin_line(const char* name, int value, int low, int high) {
  char line[256];
  std::snprintf(line, sizeof(line), "option name %s type spin default %d min %d max %d", name, value, low, high);
  emit_line(line);
}

void check_line(const char* name, int value) {
  char line[256];
  std::snprintf(line, sizeof(line), "option name %s type check default %s", name, value ? "true" : "false");
  emit_line(line);
}

void string_line(const char* name, const std::string& value) {
  emit_line(("option name " + std::string(name) + " type string default " + value).c_str());
}

// The text of a configuration line without the blanks around it.
std::string trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One "name = value" line of a configuration file ('#' starts a comment); a line without
// '=' says nothing.
void apply_config_line(std::string text) {
  text = text.substr(0, text.find('#'));
  size_t equals = text.find('=');
  if (equals == std::string::npos) return;
  set_option(trimmed(text.substr(0, equals)).c_str(), trimmed(text.substr(equals + 1)).c_str());
}

}  // namespace

void set_option(const char* name, const char* value) {
  if (control.state) return;
  EngineSettings& s = settings;
  auto is = [name](const char* option) { return std::strcmp(name, option) == 0; };

  if (is("ConfigFilePath")) {
    s.config_file = value;
    announce_text("ConfigFilePath", s.config_file);
    load_config_file();
  }
  if (is("Hash")) {
    int previous = s.hash_mb;
    s.hash_mb = numeric_option("Hash", value, 0, 65536);
    if (!search::allocate_hash_table()) {
      char line[128];
      std::snprintf(line, sizeof(line), "info string cannot allocate %d MB for the hash table, keeping %d MB", s.hash_mb,
                    previous);
      s.hash_mb = previous;
      emit_line(line);
    }
  }
  if (is("Threads")) s.threads = static_cast<int16_t>(numeric_option("Threads", value, 1, 512));
  if (is("Clear Hash")) {
    search::clear_hash_table();
    emit_line("info string Hash table cleared");
  }
  if (is("NN_File")) {
    s.nn_file = value;
    announce_text("NN_File", s.nn_file);
    eval::load_network();
  }
  if (is("Use_NN_eval")) s.use_nn = static_cast<uint8_t>(boolean_option("Use_NN_eval", value));
  if (is("OwnBook")) s.own_book = static_cast<uint8_t>(boolean_option("OwnBook", value));
  if (is("OwnBook_File")) {
    s.book_file = value;
    announce_text("OwnBook_File", s.book_file);
  }
  if (is("OwnBook_Depth")) s.book_depth = static_cast<uint8_t>(numeric_option("OwnBook_Depth", value, 0, 60));
  if (is("OwnBook2_File")) {
    s.book2_file = value;
    announce_text("OwnBook2_File", s.book2_file);
  }
  if (is("OwnBook2_Depth")) s.book2_depth = static_cast<uint8_t>(numeric_option("OwnBook2_Depth", value, 0, 60));
  if (is("OwnBook_Variety")) s.book_variety = static_cast<uint8_t>(numeric_option("OwnBook_Variety", value, 0, 100));
  if (is("SyzygyPath")) {
    s.syzygy_path = value;
    announce_text("SyzygyPath", s.syzygy_path);
    tablebase::tb_init();
  }
  if (is("SyzygyProbeDepth6")) {
    s.syzygy_probe_depth = static_cast<int8_t>(numeric_option("SyzygyProbeDepth6", value, -5, 100));
    s.syzygy_probe_depth7 = static_cast<int8_t>(s.syzygy_probe_depth > 7 ? s.syzygy_probe_depth : 7);
  }
  if (is("Log")) {
    s.log = static_cast<uint8_t>(boolean_option("Log", value));
    if (s.log) open_log();
  }
  if (is("Ponder")) s.ponder = static_cast<int16_t>(boolean_option("Ponder", value));
  if (is("MultiPV")) s.multipv = static_cast<uint8_t>(numeric_option("MultiPV", value, 1, 255));
  if (is("UCI_Chess960")) s.chess960 = static_cast<uint8_t>(boolean_option("UCI_Chess960", value));
  if (is("MoveOverhead")) s.move_overhead = static_cast<int16_t>(numeric_option("MoveOverhead", value, 0, 1000));
  if (is("UCI_LimitStrength")) s.limit_strength = static_cast<uint8_t>(boolean_option("UCI_LimitStrength", value));
  if (is("UCI_Elo")) s.uci_elo = static_cast<int16_t>(numeric_option("UCI_Elo", value, kLowestUciElo, 3300));
  // Nothing plays differently by the opponent's rating; it is only acknowledged, as
  // GUIs expect an answer to every option they send.
  if (is("UCI_Opponent")) {
    const char* rest = std::strchr(value, ' ');
    numeric_option("opponent_elo", rest ? rest + 1 : "", 0, 4000);
  }
  if (is("Contempt")) s.contempt = static_cast<int16_t>(numeric_option("Contempt", value, -150, 150));
  if (is("Selectivity")) s.selectivity = static_cast<int16_t>(numeric_option("Selectivity", value, 0, 200));
}

void load_config_file() {
  if (config_nesting >= kMaxConfigNesting) {
    emit_line("info string configuration files nested too deeply, not loaded");
    return;
  }
  const std::string path = settings.config_file;
  for (int i = 0; i < config_nesting; ++i) {
    if (open_configs[i] != path) continue;
    emit_line(("info string " + path + " is being loaded already, not loaded again").c_str());
    return;
  }
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) return;
  open_configs[config_nesting] = path;
  emit_line(("info string loading parameters from " + path).c_str());
  ++config_nesting;
  // Lines are read whole, however long: a long directory list must not be cut.
  std::string text;
  for (int c = std::fgetc(file);; c = std::fgetc(file)) {
    if (c == EOF || c == '\n') {
      apply_config_line(text);
      text.clear();
      if (c == EOF) break;
    } else {
      text += static_cast<char>(c);
    }
  }
  --config_nesting;
  std::fclose(file);
  settings_snapshot = settings;
}

void send_option_list() {
  const EngineSettings& live = settings;
  EngineSettings& shown = settings_snapshot;
  string_line("ConfigFilePath", shown.config_file);
  spin_line("Hash", live.hash_mb, 0, 65536);
  spin_line("Threads", 1, 1, 512);
  emit_line("option name Clear Hash type button");
  string_line("NN_File", live.nn_file);
  check_line("Use_NN_eval", live.use_nn);
  check_line("OwnBook", shown.own_book);
  string_line("OwnBook_File", shown.book_file);
  spin_line("OwnBook_Depth", shown.book_depth, 0, 60);
  string_line("OwnBook2_File", shown.book2_file);
  spin_line("OwnBook2_Depth", shown.book2_depth, 0, 60);
  spin_line("OwnBook_Variety", shown.book_variety, 0, 100);
  string_line("SyzygyPath", shown.syzygy_path);
  spin_line("SyzygyProbeDepth6", shown.syzygy_probe_depth, -5, 100);
  check_line("Log", shown.log);
  check_line("Ponder", shown.ponder);
  spin_line("MultiPV", shown.multipv, 1, 255);
  check_line("UCI_Chess960", live.chess960);
  spin_line("MoveOverhead", shown.move_overhead, 0, 1000);
  check_line("UCI_LimitStrength", shown.limit_strength);
  if (shown.uci_elo == 0) shown.uci_elo = static_cast<int16_t>(max_elo());
  // "-nps" may ask for more or less than the option offers: the default shown stays in range.
  spin_line("UCI_Elo", clamp(shown.uci_elo, kLowestUciElo, max_elo()), kLowestUciElo, max_elo());
  emit_line("option name UCI_Opponent type string default ");
  spin_line("Contempt", shown.contempt, -150, 150);
  spin_line("Selectivity", shown.selectivity, 0, 200);
}

}  // namespace shell
