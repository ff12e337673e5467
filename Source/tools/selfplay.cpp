#include "tools/selfplay.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/settings.h"
#include "position/makemove.h"
#include "search/thread.h"
#include "tools/epd.h"
#include "tools/tool_files.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/tool_search.h"

namespace tools {

using base::settings;
using namespace position;

namespace {

constexpr size_t kMaxOpenings = 199001;
constexpr int kSelfplayNoise = 71;
constexpr int kFirstWrittenPly = 8;
constexpr int kShortestGame = 20;
constexpr int kLongestGame = 250;
constexpr int kDecisive = 3000;
constexpr int kClearlyWinning = 1200, kWinningAverage = 900;
constexpr int kWinningScore = 600;
// Openings that only give games too short to keep (mates, stalemates, bare kings) would
// keep the generator busy for ever.
constexpr int kFruitlessGames = 1000;

volatile std::sig_atomic_t stop_requested = 0;

// The first Ctrl-C or kill asks for a stop after the current search; the game in play is
// then dropped. A second one ends the program at once, which still leaves whole games.
extern "C" void request_stop(int signal_number) {
  stop_requested = 1;
  std::signal(signal_number, SIG_DFL);
}

uint32_t main_random() { return search::thread_random(*search::main_thread); }

// The openings whose positions can be set up; bad lines are counted. False, with the
// reason reported, when the file cannot be read.
bool read_openings(const std::string& path, std::vector<std::string>& openings, LineFaults& faults) {
  InputFile file;
  if (!file.open(path)) return false;
  // Indented lines are openings too; the limit counts every line read.
  EpdLineRules rules;
  rules.max_lines = kMaxOpenings;
  EpdReader reader(file.get(), rules);
  Position scratch{};
  while (reader.next()) {
    if (set_position(scratch, reader.epd().fen) != 0) reader.faults().add(kBadFen);
    else openings.emplace_back(reader.epd().fen);
  }
  faults = reader.faults();
  return file.finish_reading();
}

// Opens the output for the games; it must not exist yet, so that no earlier run's
// positions (or the openings) are lost.
std::FILE* open_games_output(const std::string& path) {
  std::FILE* out = std::fopen(path.c_str(), "wbx");
  if (out) return out;
  if (errno == EEXIST) base::report_failure("%s exists: not replaced", path.c_str());
  else base::report_failure("cannot write %s: %s", path.c_str(), std::strerror(errno));
  return nullptr;
}

bool only_kings(const Position& pos) { return pos.material[kWhite] == 0 && pos.material[kBlack] == 0; }

// Plays one game from `opening`; false when a stop was asked for before it ended.
bool play_game(const std::string& opening, const search::Limits& limits, std::vector<SelfplayPly>& plies,
               double (&result)[2]) {
  position::Game game;
  Position& pos = game.position;
  set_position(pos, opening.c_str());
  plies.clear();
  result[kWhite] = result[kBlack] = 0.5;
  int average = 0;
  char fen[128];
  for (;;) {
    if (is_draw(pos, 0) || only_kings(pos)) return true;
    ToolSearchResult r = tool_search(pos, limits);
    if (stop_requested || settings.quit) return false;
    if (!r.best_move) return true;
    SelfplayPly ply;
    ply.side = pos.side;
    if (quiet_for_training(pos, r)) {
      write_fen(pos, fen, 0);
      ply.record = std::string(fen) + " ce " + std::to_string(r.score) + ";";
    }
    plies.push_back(std::move(ply));
    Adjudication a = adjudicate(r.score, average, game.history.undo_index);
    if (a.ends) {
      result[pos.side] = a.mover_result;
      result[pos.side ^ 1] = 1 - a.mover_result;
      return true;
    }
    average = (std::abs(r.score) + average) / 2;
    make_move(pos, r.best_move);
  }
}

}  // namespace

Adjudication adjudicate(int score, int average, int plies) {
  int a = std::abs(score);
  Adjudication result;
  if (a < kDecisive && !(a > kClearlyWinning && average > kWinningAverage) && plies < kLongestGame) return result;
  result.ends = true;
  result.mover_result = score > kWinningScore ? 1.0 : score < -kWinningScore ? 0.0 : 0.5;
  return result;
}

std::string selfplay_game_lines(const std::vector<SelfplayPly>& plies, const double (&result)[2], uint64_t limit,
                                uint32_t (*coin)()) {
  std::string lines;
  if (plies.size() < kShortestGame) return lines;
  char tail[32];
  uint64_t written = 0;
  for (size_t i = kFirstWrittenPly; i < plies.size() && written < limit; ++i) {
    if (plies[i].record.empty() || coin() % 100 >= 50) continue;
    std::snprintf(tail, sizeof tail, " gr %0.1f;\n", result[plies[i].side]);
    lines += plies[i].record;
    lines += tail;
    ++written;
  }
  return lines;
}

int generate_selfplay_epd(const std::string& openings_file, const std::string& output, uint64_t count,
                          const search::StandingLimits& standing) {
  const std::string openings_path = openings_file.empty() ? kOpeningsFile : openings_file;
  LineFaults faults;
  std::vector<std::string> openings;
  if (!read_openings(openings_path, openings, faults)) return base::kToolFailed;
  faults.report(stdout);
  if (openings.empty()) return base::report_failure("no opening of %s can be set up", openings_path.c_str());
  std::FILE* out = open_games_output(output);
  if (!out) return base::kToolFailed;

  settings.eval_noise = kSelfplayNoise;
  base::set_quiet();
  const search::Limits limits = prepare_tool_searches(standing, 3);
  stop_requested = 0;
  auto previous_int = std::signal(SIGINT, request_stop);
  auto previous_term = std::signal(SIGTERM, request_stop);

  uint64_t written = 0;
  long whole_games_bytes = 0;
  int games = 0;
  bool write_failed = false, fruitless_stop = false;
  {
    Progress progress("positions", count);
    std::vector<SelfplayPly> plies;
    double result[2];
    int fruitless = 0;
    while (written < count && !stop_requested && !settings.quit) {
      const std::string& opening = openings[main_random() % openings.size()];
      if (!play_game(opening, limits, plies, result)) break;
      std::string lines = selfplay_game_lines(plies, result, count - written, main_random);
      ++games;
      if (lines.empty()) {
        if (++fruitless < kFruitlessGames) continue;
        fruitless_stop = true;
        break;
      }
      fruitless = 0;
      // One write and a flush per game: what is in the file is always whole games.
      if (std::fwrite(lines.data(), 1, lines.size(), out) != lines.size() || std::fflush(out) != 0) {
        write_failed = true;
        break;
      }
      whole_games_bytes += static_cast<long>(lines.size());
      for (char c : lines) written += c == '\n';
      progress.update(written);
    }
  }
  std::signal(SIGINT, previous_int);
  std::signal(SIGTERM, previous_term);
  if (std::fclose(out) != 0) write_failed = true;
  if (write_failed) {
    // A write that failed may have left part of a game: the file goes back to whole games.
    bool whole = truncate(output.c_str(), whole_games_bytes) == 0;
    base::report_failure("cannot write %s%s", output.c_str(), whole ? "" : " (its last game may be cut short)");
  }
  if (fruitless_stop)
    base::report_failure("no positions from the last %d games: stopping", kFruitlessGames);
  std::printf("wrote %llu positions from %d games to %s\n", static_cast<unsigned long long>(written), games,
              output.c_str());
  return write_failed || fruitless_stop ? base::kToolFailed : base::kToolSucceeded;
}

}  // namespace tools
