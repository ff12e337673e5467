#include "match/config.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace match {

namespace {

using Words = std::vector<std::string>;

bool to_int64(const std::string& text, int64_t& value, int64_t lowest) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (!end || *end || v < lowest) return false;
  value = v;
  return true;
}

bool to_int(const std::string& text, int& value, int lowest) {
  int64_t v;
  if (!to_int64(text, v, lowest) || v > 1000000000) return false;
  value = static_cast<int>(v);
  return true;
}

bool to_double(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end && !*end && std::isfinite(value);
}

bool to_bool(const std::string& text, bool& value) {
  if (text == "true" || text == "1" || text == "on") return value = true, true;
  if (text == "false" || text == "0" || text == "off") return value = false, true;
  return false;
}

Words split_words(const std::string& text) {
  std::istringstream in(text);
  Words words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// One "key=value" word of an -engine or -each group into the engine.
bool apply_engine_word(const std::string& word, EngineSetup& e, std::string& error) {
  size_t eq = word.find('=');
  if (eq == std::string::npos) {
    error = "expected key=value, got " + word;
    return false;
  }
  std::string key = word.substr(0, eq), value = word.substr(eq + 1);
  bool good = true;
  if (key == "cmd") {
    e.command = split_words(value);
    good = !e.command.empty();
  } else if (key == "arg") {
    e.command.push_back(value);
  } else if (key == "name") {
    e.name = value;
  } else if (key == "dir") {
    e.directory = value;
  } else if (key.rfind("option.", 0) == 0 && key.size() > 7) {
    e.options.emplace_back(key.substr(7), value);
  } else if (key == "tc") {
    good = value == "inf" || parse_time_control(value, e.limits);
    if (value == "inf") e.limits.base_ms = 0;
  } else if (key == "st") {
    good = parse_seconds(value, e.limits.move_time_ms) && e.limits.move_time_ms > 0;
  } else if (key == "nodes") {
    good = to_int64(value, e.limits.nodes, 1);
  } else if (key == "depth") {
    good = to_int(value, e.limits.depth, 1);
  } else if (key == "timemargin") {
    good = to_int64(value, e.limits.margin_ms, 0);
  } else {
    error = "unknown engine setting " + key;
    return false;
  }
  if (!good) error = "bad value in " + word;
  return good;
}

// The words after an option up to the next one ("-name").
Words group_after(const Words& args, size_t& i) {
  Words group;
  while (i + 1 < args.size() && !(args[i + 1].size() > 1 && args[i + 1][0] == '-' && !std::isdigit(args[i + 1][1])))
    group.push_back(args[++i]);
  return group;
}

bool read_pairs(const Words& group, const std::string& option, std::string& error,
                const std::function<bool(const std::string&, const std::string&)>& apply) {
  for (const std::string& word : group) {
    size_t eq = word.find('=');
    if (eq == std::string::npos || !apply(word.substr(0, eq), word.substr(eq + 1))) {
      error = "bad setting for " + option + ": " + word;
      return false;
    }
  }
  return true;
}

std::string base_name(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The option's single value; an error when it was given none or several.
bool one_value(const std::string& option, const Words& group, std::string& value, std::string& error) {
  if (group.size() != 1) {
    error = option + " takes one value";
    return false;
  }
  value = group[0];
  return true;
}

bool read_openings(const Words& group, const std::string& option, OpeningSource& o, std::string& error) {
  return read_pairs(group, option, error, [&](const std::string& k, const std::string& v) {
    if (k == "file") return o.file = v, true;
    if (k == "format") {
      o.format = v == "epd" ? OpeningSource::Format::kEpd : OpeningSource::Format::kMoves;
      return v == "epd" || v == "moves";
    }
    if (k == "order") return o.random = v == "random", v == "random" || v == "sequential";
    if (k == "seed") {
      int64_t seed;
      return to_int64(v, seed, 0) && (o.seed = static_cast<uint64_t>(seed), true);
    }
    if (k == "start") return to_int(v, o.start, 1);
    if (k == "plies") return to_int(v, o.plies, 0);
    return false;
  });
}

bool read_sprt(const Words& group, const std::string& option, SprtSetup& sprt, std::string& error) {
  bool good = read_pairs(group, option, error, [&](const std::string& k, const std::string& v) {
    if (k == "elo0") return to_double(v, sprt.elo0);
    if (k == "elo1") return to_double(v, sprt.elo1);
    if (k == "alpha") return to_double(v, sprt.alpha) && sprt.alpha > 0 && sprt.alpha < 1;
    if (k == "beta") return to_double(v, sprt.beta) && sprt.beta > 0 && sprt.beta < 1;
    return false;
  });
  if (good && sprt.elo1 <= sprt.elo0) {
    error = "-sprt needs elo1 above elo0";
    return false;
  }
  return good;
}

bool read_resign(const Words& group, const std::string& option, ResignRule& resign, std::string& error) {
  return read_pairs(group, option, error, [&](const std::string& k, const std::string& v) {
    if (k == "movecount") return to_int(v, resign.move_count, 1);
    if (k == "score") return to_int(v, resign.score, 1);
    if (k == "twosided") return to_bool(v, resign.two_sided);
    return false;
  });
}

bool read_draw(const Words& group, const std::string& option, DrawRule& draw, std::string& error) {
  return read_pairs(group, option, error, [&](const std::string& k, const std::string& v) {
    if (k == "movenumber") return to_int(v, draw.move_number, 0);
    if (k == "movecount") return to_int(v, draw.move_count, 1);
    if (k == "score") return to_int(v, draw.score, 0);
    return false;
  });
}

// One option of the match itself (not -engine or -each) with the words after it. False
// when the option is unknown or its words are bad; `error` says why, or is left empty for
// the caller's "bad value for" message.
bool read_match_option(const std::string& option, const Words& group, MatchConfig& c, std::string& error) {
  std::string value;
  if (option == "-openings") return read_openings(group, option, c.openings, error);
  if (option == "-games")
    return one_value(option, group, value, error) && to_int(value, c.games_per_round, 1) && c.games_per_round <= 2;
  if (option == "-rounds") return one_value(option, group, value, error) && to_int64(value, c.rounds, 1);
  if (option == "-concurrency")
    return one_value(option, group, value, error) && to_int(value, c.concurrency, 1) && c.concurrency <= 256;
  if (option == "-sprt") {
    c.sprt_on = true;
    return read_sprt(group, option, c.sprt, error);
  }
  if (option == "-resign") return read_resign(group, option, c.resign, error);
  if (option == "-draw") return read_draw(group, option, c.draw, error);
  if (option == "-maxmoves") return one_value(option, group, value, error) && to_int(value, c.max_moves, 1);
  if (option == "-tb") {
    bool good = one_value(option, group, value, error);
    c.tb_paths = value;
    return good;
  }
  if (option == "-tbpieces") return one_value(option, group, value, error) && to_int(value, c.tb_men, 3);
  if (option == "-pgnout") {
    bool good = one_value(option, group, value, error);
    c.pgn_file = value;
    return good;
  }
  if (option == "-event") {
    for (size_t k = 0; k < group.size(); ++k) value += (k ? " " : "") + group[k];
    c.event = value;
    return !group.empty();
  }
  if (option == "-grace") return one_value(option, group, value, error) && parse_seconds(value, c.grace_ms);
  if (option == "-ratinginterval")
    return one_value(option, group, value, error) && to_int(value, c.rating_interval, 0);
  error = "unknown option " + option;
  return false;
}

// The engine words as read: those of each -engine and those of -each, for both.
struct EngineWords {
  Words own[2];
  Words each;
  int engines = 0;
};

// Each engine from the -each words, then its own, which may override them. False with
// `error` set when an engine lacks a command or a limit.
bool set_up_engines(const EngineWords& words, MatchConfig& c, std::string& error) {
  if (words.engines != 2) {
    error = "give two engines with -engine";
    return false;
  }
  for (int k = 0; k < 2; ++k) {
    EngineSetup& e = c.engines[k];
    for (const Words* group : {&words.each, &words.own[k]})
      for (const std::string& word : *group)
        if (!apply_engine_word(word, e, error)) return false;
    if (e.command.empty()) {
      error = "engine " + std::to_string(k + 1) + " has no cmd=";
      return false;
    }
    if (!e.limits.has_any_limit()) {
      error = "engine " + std::to_string(k + 1) + " has no tc=, st=, nodes= or depth=";
      return false;
    }
    if (e.name.empty()) e.name = base_name(e.command[0]);
  }
  if (c.engines[0].name == c.engines[1].name) c.engines[1].name += "-2";
  return true;
}

}  // namespace

bool parse_command_line(const Words& args, MatchConfig& c, std::string& error) {
  EngineWords engine_words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    Words group = group_after(args, i);
    if (option == "-engine") {
      if (engine_words.engines == 2) {
        error = "a match has two engines";
        return false;
      }
      engine_words.own[engine_words.engines++] = group;
    } else if (option == "-each") {
      engine_words.each.insert(engine_words.each.end(), group.begin(), group.end());
    } else if (!read_match_option(option, group, c, error)) {
      if (error.empty()) error = "bad value for " + option;
      return false;
    }
  }
  return set_up_engines(engine_words, c, error);
}

const char* usage_text() {
  return "Usage: nesk-match -engine cmd=PROGRAM [key=value ...] -engine cmd=PROGRAM [...] [options]\n"
         "Engine settings (after -engine, or -each for both):\n"
         "  cmd=PROGRAM  arg=ARGUMENT  name=NAME  dir=FOLDER  option.NAME=VALUE\n"
         "  tc=[MOVES/]SECONDS[+INCREMENT]  st=SECONDS  nodes=N  depth=N  timemargin=MS\n"
         "Options:\n"
         "  -openings file=FILE [format=epd|moves] [order=random|sequential] [seed=N] [start=N] [plies=N]\n"
         "  -games 1|2       games per opening (2: both colours, a pair)   -rounds N\n"
         "  -concurrency N   games at once\n"
         "  -sprt elo0=E0 elo1=E1 [alpha=0.05] [beta=0.05]\n"
         "  -resign movecount=N score=CP [twosided=true|false]\n"
         "  -draw movenumber=N movecount=N score=CP     -maxmoves N\n"
         "  -tb FOLDERS [-tbpieces N]   tablebase adjudication\n"
         "  -pgnout FILE  -event NAME  -grace SECONDS  -ratinginterval N\n";
}

}  // namespace match
