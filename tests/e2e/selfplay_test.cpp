// Complete short games of the engine against itself, driven through the protocol as a
// GUI plays them: every "bestmove" (and "ponder" move) must be legal, and the games end
// by mate, stalemate, the draw rules or a move cap. NESK_QUICK=1 shortens them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine_process.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/notation.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "base/settings.h"
#include "uci_test_support.h"

namespace {

using uci_test::ask;
using Lines = std::vector<std::string>;

constexpr int kMoveTimeoutMs = 30000;

bool quick_run() {
  const char* quick = std::getenv("NESK_QUICK");
  return quick && std::string(quick) == "1";
}

// The game record kept by the test with the engine's own position code.
class Game {
 public:
  // From the start position, or from `fen` when one is given.
  explicit Game(const char* fen = nullptr) : fen_(fen ? fen : "") {
    static const bool ready = [] {
      position::init_tables();
      position::init_zobrist();
      base::set_default_settings(base::settings);  // moves are written as UCI writes them
      return true;
    }();
    (void)ready;
    thread_ = search::allocate_thread(0);
    EXPECT_EQ(position::set_position(thread_->position, fen ? fen : position::kStartFen), 0);
    count_position();
  }
  ~Game() { search::free_thread(thread_); }
  Game(const Game&) = delete;
  Game& operator=(const Game&) = delete;

  // Plays a move given in coordinate text; false when it is not legal here.
  bool play(const std::string& text) {
    position::Move move = find(text);
    if (!move) return false;
    position::make_move(thread_->position, move);
    moves_.push_back(text);
    count_position();
    return true;
  }

  bool is_legal(const std::string& text) const { return find(text) != 0; }

  // Legal after `first`, which must be legal now.
  bool is_legal_after(const std::string& first, const std::string& second) {
    position::Move move = find(first);
    if (!move) return false;
    position::make_move(thread_->position, move);
    bool legal = find(second) != 0;
    position::unmake_move(thread_->position);
    return legal;
  }

  // Why the game is over, or an empty text while it goes on.
  std::string result() const {
    const position::Position& pos = thread_->position;
    if (legal_count() == 0)
      return position::square_attacked(pos, pos.king_square[pos.side], pos.side ^ 1) ? "checkmate" : "stalemate";
    if (pos.rule50 >= 100) return "fifty-move rule";
    if (occurrences_.at(signature()) >= 3) return "threefold repetition";
    if (bare_material()) return "insufficient material";
    return "";
  }

  std::string position_command() const {
    std::string command = fen_.empty() ? "position startpos" : "position fen " + fen_;
    if (!moves_.empty()) command += " moves";
    for (const std::string& m : moves_) command += " " + m;
    return command;
  }

  int plies() const { return static_cast<int>(moves_.size()); }
  int side() const { return thread_->position.side; }

 private:
  position::Move find(const std::string& text) const {
    const position::Position& pos = thread_->position;
    static position::MoveEntry list[search::kMaxMoves];
    position::generate_all_moves(pos, list);
    for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e) {
      char name[16];
      position::move_to_text(pos, pos.side, e->move, name, position::MoveStyle{});
      if (text == name && position::move_is_legal(pos, pos.side, e->move)) return e->move;
    }
    return 0;
  }

  int legal_count() const {
    const position::Position& pos = thread_->position;
    static position::MoveEntry list[search::kMaxMoves];
    position::generate_all_moves(pos, list);
    int count = 0;
    for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e)
      count += position::move_is_legal(pos, pos.side, e->move) ? 1 : 0;
    return count;
  }

  // Placement, side, castling and en passant: what makes two positions the same.
  std::string signature() const {
    char fen[128];
    position::write_fen(thread_->position, fen, 0);
    return fen;
  }

  void count_position() { ++occurrences_[signature()]; }

  // Kings alone, or a king and one minor piece against a king.
  bool bare_material() const {
    const position::Position& pos = thread_->position;
    int minors = 0;
    for (int c = 0; c < 2; ++c) {
      if (pos.pieces[c][position::kPawn] | pos.pieces[c][position::kRook] | pos.pieces[c][position::kQueen])
        return false;
      minors += position::popcount(pos.pieces[c][position::kKnight] | pos.pieces[c][position::kBishop]);
    }
    return minors <= 1;
  }

  std::string fen_;
  search::SearchThread* thread_ = nullptr;
  std::vector<std::string> moves_;
  std::map<std::string, int> occurrences_;
};

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  for (std::string w; in >> w;) result.push_back(w);
  return result;
}

// The "bestmove" line of the search just started; empty when none arrives.
std::string wait_for_bestmove(EngineProcess& engine) {
  while (auto line = engine.read_line(kMoveTimeoutMs))
    if (line->rfind("bestmove ", 0) == 0) return *line;
  return "";
}

struct Match {
  const char* name;
  Lines options;
  // The "go" command for the side to move, given both clocks in milliseconds.
  std::string (*go)(long long white_ms, long long black_ms);
  bool keep_clocks;
  const char* fen;  // null: the start position
};

// Plays one game; returns how it ended.
std::string play_game(EngineProcess& engine, const Match& match, int max_plies) {
  EXPECT_EQ(ask(engine, "ucinewgame"), Lines{});
  Game game(match.fen);
  long long clock_ms[2] = {3000, 3000};
  const long long increment_ms = 30;
  while (game.result().empty() && game.plies() < max_plies) {
    SCOPED_TRACE(game.position_command());
    engine.send(game.position_command());
    auto started = std::chrono::steady_clock::now();
    engine.send(match.go(std::max(0LL, clock_ms[0]), std::max(0LL, clock_ms[1])));
    std::string line = wait_for_bestmove(engine);
    if (line.empty()) {
      ADD_FAILURE() << "no bestmove";
      return "no answer";
    }
    if (match.keep_clocks) {
      auto used = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
      clock_ms[game.side()] += increment_ms - used.count();
    }
    std::vector<std::string> w = words(line);
    if (!(w.size() == 2 || (w.size() == 4 && w[2] == "ponder"))) {
      ADD_FAILURE() << "malformed: " << line;
      return "malformed answer";
    }
    if (!game.is_legal(w[1])) {
      ADD_FAILURE() << "illegal bestmove: " << line;
      return "illegal move";
    }
    if (w.size() == 4) {
      EXPECT_TRUE(game.is_legal_after(w[1], w[3])) << "illegal ponder move: " << line;
    }
    game.play(w[1]);
  }
  std::string result = game.result();
  result = result.empty() ? "move cap" : result;
  testing::Test::RecordProperty(match.name, result + " after " + std::to_string(game.plies()) + " plies");
  return result;
}

TEST(SelfPlay, ShortGamesWithLegalMovesUnderSeveralTimeControls) {
  const bool quick = quick_run();
  const int max_plies = quick ? 24 : 90;
  const Match matches[] = {
      {"fixed time per move", {}, [](long long, long long) { return std::string("go movetime 20"); }, false, nullptr},
      {"clock with increment",
       {},
       [](long long w, long long b) {
         return "go wtime " + std::to_string(w) + " btime " + std::to_string(b) + " winc 30 binc 30";
       },
       true,
       nullptr},
      {"two threads at fixed depth",
       {"setoption name Threads value 2", "setoption name Hash value 8"},
       [](long long, long long) { return std::string("go depth 4"); },
       false,
       nullptr},
      // King and queen against king: a game that can end in mate.
      {"queen ending at fixed depth",
       {},
       [](long long, long long) { return std::string("go depth 6"); },
       false,
       "8/8/8/4k3/8/8/8/KQ6 w - - 0 1"},
  };
  for (const Match& match : matches) {
    SCOPED_TRACE(match.name);
    EngineProcess engine;
    Lines greeting = ask(engine, "uci");
    ASSERT_FALSE(greeting.empty());
    for (const std::string& option : match.options) ask(engine, option);
    std::string ending = play_game(engine, match, max_plies);
    EXPECT_TRUE(ending == "checkmate" || ending == "stalemate" || ending == "fifty-move rule" ||
                ending == "threefold repetition" || ending == "insufficient material" || ending == "move cap")
        << ending;
    engine.send("quit");
    EXPECT_EQ(engine.wait_exit(), 0);
  }
}

}  // namespace
