#include "match/tournament.h"

#include <cstdio>
#include <thread>
#include <vector>

#include "match/uci_engine.h"

namespace match {

namespace {

// How long an engine may take to start, or to answer "isready", before it has failed.
constexpr int64_t kStartMs = 10000;

void print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

Tournament::Tournament(const MatchConfig& config, const OpeningBook& book)
    : config_(config),
      book_(book),
      scoreboard_(config.engines[0].name, config.engines[1].name, config.games_per_round == 2),
      date_(pgn_date()) {}

void Tournament::fail(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failed_) print("Error: " + message);
  failed_ = true;
  stop_ = true;
}

void Tournament::report(const GameRecord& game, bool first_is_white, int64_t round) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_) return;  // a verdict or failure came first: the game is not counted
  scoreboard_.add(game.result, first_is_white, round);
  ++finished_;
  pgn_.write(format_pgn(game, config_.event, date_));
  print("Finished game " + std::to_string(game.game_number) + " (" + game.white + " vs " + game.black +
        "): " + result_text(game.result) + " {" + game.reason + "}");
  print(scoreboard_.score_line());
  bool verdict = config_.sprt_on && sprt_verdict(scoreboard_.llr(config_.sprt), config_.sprt) != SprtVerdict::kContinue;
  if (verdict || (config_.rating_interval && finished_ % config_.rating_interval == 0)) {
    print(scoreboard_.elo_line());
    if (config_.sprt_on) print(scoreboard_.sprt_line(config_.sprt));
  }
  if (verdict) stop_ = true;
}

void Tournament::worker() {
  UciEngine engines[2] = {UciEngine(config_.engines[0]), UciEngine(config_.engines[1])};
  int64_t total = config_.rounds * config_.games_per_round;
  while (!stop_) {
    int64_t index = next_game_++;
    if (index >= total) break;
    int64_t round = index / config_.games_per_round;
    // Colours alternate game by game: within a pair, and from round to round for single games.
    bool first_is_white = index % 2 == 0;
    for (UciEngine& engine : engines) {
      std::string error;
      if (!engine.running() && !engine.start(kStartMs, error)) return fail("cannot start " + engine.setup().name + ": " + error);
      if (!engine.new_game(kStartMs)) return fail(engine.setup().name + " does not answer isready");
    }
    UciEngine& white = engines[first_is_white ? 0 : 1];
    UciEngine& black = engines[first_is_white ? 1 : 0];
    GameRecord game = play_game(white, black, book_.for_round(round), config_, stop_);
    if (game.result == GameResult::kUnfinished) continue;
    game.round = round + 1;
    game.game_number = index + 1;
    report(game, first_is_white, round);
  }
}

int Tournament::run() {
  if (!config_.pgn_file.empty() && !pgn_.open(config_.pgn_file)) {
    print("Error: cannot write " + config_.pgn_file);
    return 1;
  }
  print("Match " + config_.engines[0].name + " vs " + config_.engines[1].name + ": " +
        std::to_string(config_.rounds * config_.games_per_round) + " games, " + std::to_string(book_.size()) +
        " openings, concurrency " + std::to_string(config_.concurrency));
  std::vector<std::thread> threads;
  for (int i = 0; i < config_.concurrency; ++i) threads.emplace_back([this] { worker(); });
  for (std::thread& t : threads) t.join();
  if (failed_) return 1;
  print("Match finished after " + std::to_string(finished_) + " games");
  print(scoreboard_.score_line());
  print(scoreboard_.elo_line());
  if (config_.sprt_on) print(scoreboard_.sprt_line(config_.sprt));
  return 0;
}

}  // namespace match
