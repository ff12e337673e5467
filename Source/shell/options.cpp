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
#include "shell/search_limits.h"

namespace shell {

using namespace base;
using namespace search;

namespace {

constexpr int kMaxConfigNesting = 8;
constexpr int kLowestUciElo = 1500;
constexpr int kHighestUciElo = 3300;
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
int max_elo() { return settings.max_elo > 0 ? static_cast<int>(settings.max_elo) : kHighestUciElo; }

// The UCI_Elo default "uci" shows. An unset Elo becomes the top in the snapshot too, and
// "-nps" may ask for more or less than the option offers: the default shown stays in range.
int listed_uci_elo() {
  EngineSettings& shown = settings_snapshot;
  if (shown.uci_elo == 0) shown.uci_elo = static_cast<int16_t>(max_elo());
  return clamp(shown.uci_elo, kLowestUciElo, max_elo());
}

}  // namespace

bool make_hash_table() {
  if (!search::allocate_hash_table()) return false;
  if (!base::quiet()) {
    char line[96];
    std::snprintf(line, sizeof(line), "info string allocated %d Mbytes for hash table", settings.hash_mb);
    emit_line(line);
    emit_line("info string Cleared hash table");
  }
  return true;
}

namespace {

void set_hash_size(int megabytes) {
  int previous = settings.hash_mb;
  settings.hash_mb = megabytes;
  if (make_hash_table()) return;
  char line[128];
  std::snprintf(line, sizeof(line), "info string cannot allocate %d MB for the hash table, keeping %d MB", megabytes,
                previous);
  settings.hash_mb = previous;
  emit_line(line);
}

// Nothing plays differently by the opponent's rating ("title rating kind name"); it is only
// acknowledged, as GUIs expect an answer to every option they send.
void acknowledge_opponent(const char* value) {
  const char* rest = std::strchr(value, ' ');
  numeric_option("opponent_elo", rest ? rest + 1 : "", 0, 4000);
}

enum OptionKind { kStringOption, kSpinOption, kCheckOption, kButtonOption };

// One engine option, written once for both the "uci" listing and "setoption". A spin's
// value is clamped into low..high and a check's read as 0 or 1, both announced as
// "<name> set to <value>", before `set` takes it; a string is announced as given (unless
// its setter answers itself) and passed to `set_text`, as is a button's empty value.
struct Option {
  const char* name;
  OptionKind kind;
  int low = 0, high = 0;
  int (*listed)() = nullptr;                 // spin, check: the default "uci" shows
  std::string (*listed_text)() = nullptr;    // string: the default "uci" shows
  int (*listed_high)() = nullptr;            // spin: a top for "uci" other than `high`
  void (*set)(int value) = nullptr;          // spin, check
  void (*set_text)(const char* value) = nullptr;  // string, button
  bool answers_itself = false;
};

// In the order "uci" lists them. Some defaults shown are the live values, the others those
// of the snapshot that the command line and the configuration file made.
const Option kOptions[] = {
    {.name = "ConfigFilePath", .kind = kStringOption,
     .listed_text = [] { return settings_snapshot.config_file; },
     .set_text = [](const char* v) {
       settings.config_file = v;
       load_config_file();
     }},
    {.name = "Hash", .kind = kSpinOption, .low = 0, .high = 65536,
     .listed = [] { return int{settings.hash_mb}; }, .set = set_hash_size},
    {.name = "Threads", .kind = kSpinOption, .low = 1, .high = 512,
     .listed = [] { return 1; }, .set = [](int v) { settings.threads = static_cast<int16_t>(v); }},
    {.name = "Clear Hash", .kind = kButtonOption,
     .set_text = [](const char*) {
       search::clear_hash_table();
       emit_line("info string Hash table cleared");
     }},
    {.name = "NN_File", .kind = kStringOption,
     .listed_text = [] { return settings.nn_file; },
     .set_text = [](const char* v) {
       settings.nn_file = v;
       eval::load_network();
     }},
    {.name = "Use_NN_eval", .kind = kCheckOption,
     .listed = [] { return int{settings.use_nn}; }, .set = [](int v) { settings.use_nn = static_cast<uint8_t>(v); }},
    {.name = "OwnBook", .kind = kCheckOption,
     .listed = [] { return int{settings_snapshot.own_book}; },
     .set = [](int v) { settings.own_book = static_cast<uint8_t>(v); }},
    {.name = "OwnBook_File", .kind = kStringOption,
     .listed_text = [] { return settings_snapshot.book_file; },
     .set_text = [](const char* v) { settings.book_file = v; }},
    {.name = "OwnBook_Depth", .kind = kSpinOption, .low = 0, .high = 60,
     .listed = [] { return int{settings_snapshot.book_depth}; },
     .set = [](int v) { settings.book_depth = static_cast<uint8_t>(v); }},
    {.name = "OwnBook2_File", .kind = kStringOption,
     .listed_text = [] { return settings_snapshot.book2_file; },
     .set_text = [](const char* v) { settings.book2_file = v; }},
    {.name = "OwnBook2_Depth", .kind = kSpinOption, .low = 0, .high = 60,
     .listed = [] { return int{settings_snapshot.book2_depth}; },
     .set = [](int v) { settings.book2_depth = static_cast<uint8_t>(v); }},
    {.name = "OwnBook_Variety", .kind = kSpinOption, .low = 0, .high = 100,
     .listed = [] { return int{settings_snapshot.book_variety}; },
     .set = [](int v) { settings.book_variety = static_cast<uint8_t>(v); }},
    {.name = "SyzygyPath", .kind = kStringOption,
     .listed_text = [] { return settings_snapshot.syzygy_path; },
     .set_text = [](const char* v) {
       settings.syzygy_path = v;
       tablebase::tb_init();
     }},
    // The 7-men tables are probed from this depth too, but never closer to the root than 7.
    {.name = "SyzygyProbeDepth6", .kind = kSpinOption, .low = -5, .high = 100,
     .listed = [] { return int{settings_snapshot.syzygy_probe_depth}; },
     .set = [](int v) {
       settings.syzygy_probe_depth = static_cast<int8_t>(v);
       settings.syzygy_probe_depth7 = static_cast<int8_t>(v > 7 ? v : 7);
     }},
    {.name = "Log", .kind = kCheckOption,
     .listed = [] { return int{settings_snapshot.log}; },
     .set = [](int v) {
       settings.log = static_cast<uint8_t>(v);
       if (v) open_log();
     }},
    {.name = "Ponder", .kind = kCheckOption,
     .listed = [] { return int{settings_snapshot.ponder}; },
     .set = [](int v) { settings.ponder = static_cast<int16_t>(v); }},
    {.name = "MultiPV", .kind = kSpinOption, .low = 1, .high = 255,
     .listed = [] { return int{settings_snapshot.multipv}; },
     .set = [](int v) { settings.multipv = static_cast<uint8_t>(v); }},
    {.name = "UCI_Chess960", .kind = kCheckOption,
     .listed = [] { return int{settings.chess960}; },
     .set = [](int v) { settings.chess960 = static_cast<uint8_t>(v); }},
    {.name = "MoveOverhead", .kind = kSpinOption, .low = 0, .high = 1000,
     .listed = [] { return int{settings_snapshot.move_overhead}; },
     .set = [](int v) { settings.move_overhead = static_cast<int16_t>(v); }},
    {.name = "UCI_LimitStrength", .kind = kCheckOption,
     .listed = [] { return int{settings_snapshot.limit_strength}; },
     .set = [](int v) { settings.limit_strength = static_cast<uint8_t>(v); }},
    {.name = "UCI_Elo", .kind = kSpinOption, .low = kLowestUciElo, .high = kHighestUciElo,
     .listed = listed_uci_elo, .listed_high = max_elo,
     .set = [](int v) { settings.uci_elo = static_cast<int16_t>(v); }},
    {.name = "UCI_Opponent", .kind = kStringOption,
     .listed_text = [] { return std::string(); }, .set_text = acknowledge_opponent, .answers_itself = true},
    {.name = "Contempt", .kind = kSpinOption, .low = -150, .high = 150,
     .listed = [] { return int{settings_snapshot.contempt}; },
     .set = [](int v) { settings.contempt = static_cast<int16_t>(v); }},
    {.name = "Selectivity", .kind = kSpinOption, .low = 0, .high = 200,
     .listed = [] { return int{settings_snapshot.selectivity}; },
     .set = [](int v) { settings.selectivity = static_cast<int16_t>(v); }},
};

void apply(const Option& option, const char* value) {
  switch (option.kind) {
    case kSpinOption: option.set(numeric_option(option.name, value, option.low, option.high)); break;
    case kCheckOption: option.set(boolean_option(option.name, value)); break;
    case kStringOption:
      if (!option.answers_itself) announce_text(option.name, value);
      option.set_text(value);
      break;
    case kButtonOption: option.set_text(value); break;
  }
}

void list(const Option& option) {
  char line[256];
  const char* name = option.name;
  switch (option.kind) {
    case kSpinOption:
      std::snprintf(line, sizeof(line), "option name %s type spin default %d min %d max %d", name, option.listed(),
                    option.low, option.listed_high ? option.listed_high() : option.high);
      break;
    case kCheckOption:
      std::snprintf(line, sizeof(line), "option name %s type check default %s", name,
                    option.listed() ? "true" : "false");
      break;
    case kStringOption:
      emit_line(("option name " + std::string(name) + " type string default " + option.listed_text()).c_str());
      return;
    case kButtonOption: std::snprintf(line, sizeof(line), "option name %s type button", name); break;
  }
  emit_line(line);
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
  for (const Option& option : kOptions) {
    if (std::strcmp(name, option.name) != 0) continue;
    apply(option, value);
    return;
  }
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
  take_settings_snapshot();
}

position::MoveStyle move_style() { return {settings.chess960 != 0, settings.uci_mode != 0}; }

void send_option_list() {
  for (const Option& option : kOptions) list(option);
}

}  // namespace shell
