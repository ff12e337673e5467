#include "tools/selfplay.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "base/settings.h"
#include "position/makemove.h"
#include "search/thread.h"
#include "tools/epd.h"
#include "tools/progress.h"
#include "tools/text_lines.h"
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

// The openings whose positions can be set up; bad lines are counted.
std::vector<std::string> read_openings(const char* path, LineFaults& faults) {
  std::vector<std::string> openings;
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return openings;
  TextLines lines(file, kMaxEpdLine);
  auto epd = std::make_unique<EpdLine>();
  Position scratch{};
  std::string_view line;
  bool too_long;
  for (size_t read = 0; read < kMaxOpenings && lines.next(line, too_long); ++read) {
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (too_long) faults.add(kTooLong);
    else if (line_is_binary(line)) faults.add(kBinary);
    else if (!read_epd_line(line, *epd)) faults.add(kMissingField);
    else if (set_position(scratch, epd->fen) != 0) faults.add(kBadFen);
    else openings.emplace_back(epd->fen);
  }
  std::fclose(file);
  return openings;
}

bool only_kings(const Position& pos) { return pos.material[kWhite] == 0 && pos.material[kBlack] == 0; }

// Plays one game from `opening`; false when a stop was asked for before it ended.
bool play_game(const std::string& opening, std::vector<SelfplayPly>& plies, double (&result)[2]) {
  Position& pos = search::main_thread->position;
  set_position(pos, opening.c_str());
  search::main_thread->game.undo_index = 0;
  plies.clear();
  result[kWhite] = result[kBlack] = 0.5;
  int average = 0;
  char fen[128];
  for (;;) {
    if (is_draw(pos, 0) || only_kings(pos)) return true;
    ToolSearchResult r = tool_search();
    if (stop_requested || settings.quit) return false;
    if (!r.best_move) return true;
    SelfplayPly ply;
    ply.side = pos.side;
    if (quiet_for_training(pos, r)) {
      write_fen(pos, fen, 0);
      ply.record = std::string(fen) + " ce " + std::to_string(r.score) + ";";
    }
    plies.push_back(std::move(ply));
    Adjudication a = adjudicate(r.score, average, search::main_thread->game.undo_index);
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

void generate_selfplay_epd(uint64_t count) {
  const char* openings_path = settings.tool_input_file.empty() ? kOpeningsFile : settings.tool_input_file.c_str();
  const char* output_path = settings.training_file.c_str();
  LineFaults faults;
  std::vector<std::string> openings = read_openings(openings_path, faults);
  if (openings.empty()) {
    faults.report(stdout);
    return;
  }
  std::FILE* out = std::fopen(output_path, "wb");
  if (!out) return;
  faults.report(stdout);

  settings.eval_noise = kSelfplayNoise;
  settings.noise = 99999;
  prepare_tool_searches(3);
  stop_requested = 0;
  auto previous_int = std::signal(SIGINT, request_stop);
  auto previous_term = std::signal(SIGTERM, request_stop);

  uint64_t written = 0;
  int games = 0;
  bool write_failed = false;
  {
    Progress progress("positions", count);
    std::vector<SelfplayPly> plies;
    double result[2];
    int fruitless = 0;
    while (written < count && !stop_requested && !settings.quit) {
      const std::string& opening = openings[main_random() % openings.size()];
      if (!play_game(opening, plies, result)) break;
      std::string lines = selfplay_game_lines(plies, result, count - written, main_random);
      ++games;
      if (lines.empty()) {
        if (++fruitless < kFruitlessGames) continue;
        std::printf("no positions from the last %d games: stopping\n", kFruitlessGames);
        break;
      }
      fruitless = 0;
      // One write and a flush per game: what is in the file is always whole games.
      if (std::fwrite(lines.data(), 1, lines.size(), out) != lines.size() || std::fflush(out) != 0) {
        write_failed = true;
        break;
      }
      for (char c : lines) written += c == '\n';
      progress.update(written);
    }
  }
  std::signal(SIGINT, previous_int);
  std::signal(SIGTERM, previous_term);
  if (std::fclose(out) != 0) write_failed = true;
  if (write_failed) std::printf("cannot write %s\n", output_path);
  std::printf("wrote %llu positions from %d games to %s\n", static_cast<unsigned long long>(written), games,
              output_path);
}

}  // namespace tools
