// Endgame tablebases through the protocol: the root's "TB result" line and the moves it
// keeps, the DTZ move played at once while the fifty-move counter runs, SyzygyPath changed
// during a session, and whole 3- and 4-men games that the tables must win or hold. The
// engine's own position code referees the moves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/settings.h"
#include "engine_process.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/notation.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "uci_test_support.h"

namespace {

using uci_test::Lines;
using uci_test::ScratchDirectory;
using uci_test::UciEngine;

const std::string kFound = "info string Found 35 WDL, 0 DTM and 35 DTZ tablebase files. Largest 4-men";

// The shared 3- and 4-men tables, or an empty text when they are not there.
std::string tables() {
  std::string dir = testdata_directory() + "/syzygy";
  struct stat info;
  return stat((dir + "/KQvKR.rtbw").c_str(), &info) == 0 ? dir : std::string();
}

#define REQUIRE_TABLES(dir)                                         \
  const std::string dir = tables();                                 \
  if (dir.empty()) {                                                \
    GTEST_SKIP() << "no Syzygy tables in " NESK_TESTDATA "/syzygy"; \
  }

// A game as the referee keeps it: the board and the keys of every position since set-up.
class Board {
 public:
  explicit Board(const std::string& fen) : history_(std::make_unique<position::GameHistory>()) {
    static const bool ready = [] {
      position::init_tables();
      position::init_zobrist();
      base::set_default_settings(base::settings);  // moves written as UCI writes them
      return true;
    }();
    (void)ready;
    pos_.game = history_.get();
    EXPECT_EQ(position::set_position(pos_, fen.c_str()), 0) << fen;
    keys_.push_back(pos_.key);
  }

  const position::Position& pos() const { return pos_; }

  std::vector<std::pair<std::string, position::Move>> legal_moves() const {
    position::MoveEntry list[position::kMaxMoves];
    position::generate_all_moves(pos_, list);
    std::vector<std::pair<std::string, position::Move>> moves;
    for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e) {
      if (!position::move_is_legal(pos_, pos_.side, e->move)) continue;
      char text[16];
      position::move_to_text(pos_, pos_.side, e->move, text, position::MoveStyle{});
      moves.emplace_back(text, e->move);
    }
    return moves;
  }

  // Makes the move named by `text`; false when it is not a legal move here.
  bool play(const std::string& text) {
    for (const auto& [name, move] : legal_moves())
      if (name == text) {
        position::make_move(pos_, move);
        keys_.push_back(pos_.key);
        return true;
      }
    return false;
  }

  // "mate", "stalemate", "fifty-move rule", "repetition", or empty while the game goes on.
  std::string ending() const {
    int them = pos_.side ^ 1;
    bool check = position::attackers_of(pos_.pieces[them], them, pos_.king_square[pos_.side], pos_.occupancy()) != 0;
    if (legal_moves().empty()) return check ? "mate" : "stalemate";
    if (pos_.rule50 >= 100) return "fifty-move rule";
    // Repetitions reach back to the last capture or pawn move.
    size_t seen = std::count(keys_.end() - std::min<size_t>(pos_.rule50 + 1, keys_.size()), keys_.end(), pos_.key);
    return seen >= 3 ? "repetition" : "";
  }

 private:
  std::unique_ptr<position::GameHistory> history_;
  position::Position pos_{};
  std::vector<uint64_t> keys_;
};

// The lines of one search, through "bestmove".
Lines go(EngineProcess& engine, const std::string& position, const std::string& limit = "go depth 1") {
  engine.send(position);
  engine.send(limit);
  Lines lines;
  while (auto line = engine.read_line(30000)) {
    lines.push_back(*line);
    if (line->rfind("bestmove ", 0) == 0) return lines;
  }
  ADD_FAILURE() << "no bestmove after " << position;
  return lines;
}

std::string bestmove(const Lines& lines) {
  if (lines.empty() || lines.back().rfind("bestmove ", 0) != 0) return "";
  return lines.back().substr(9, lines.back().find(' ', 9) - 9);
}

// The root's "TB result" line taken apart: the result word and the sorted moves it keeps.
struct RootLine {
  std::string word;
  std::vector<std::string> moves;
  bool found = false;
};

RootLine root_line(const Lines& lines) {
  RootLine r;
  static const std::regex shape("info string TB result is (WIN|DRAW|LOSS) with moves: ((?:[a-h][1-8][a-h][1-8] )*)");
  std::smatch m;
  for (const std::string& l : lines)
    if (std::regex_match(l, m, shape)) {
      r.found = true;
      r.word = m[1];
      std::istringstream in(m[2].str());
      for (std::string w; in >> w;) r.moves.push_back(w);
      std::sort(r.moves.begin(), r.moves.end());
    } else {
      EXPECT_NE(l.rfind("info string TB result", 0), 0u) << "malformed: " << l;
    }
  return r;
}

// The root moves that keep the tables' result, judged child by child: the engine is asked
// for each child's own result, and a move is kept when the child is the mirror of the root.
std::vector<std::string> holding_moves(EngineProcess& engine, const std::string& fen, const std::string& word) {
  const std::string mirror = word == "WIN" ? "LOSS" : word == "LOSS" ? "WIN" : "DRAW";
  std::vector<std::string> kept;
  for (const auto& [text, move] : Board(fen).legal_moves()) {
    Board child(fen);
    child.play(text);
    std::string result = child.ending() == "mate" ? "LOSS" : child.ending() == "stalemate" ? "DRAW" : "";
    if (result.empty()) {
      RootLine r = root_line(go(engine, "position fen " + fen + " moves " + text));
      EXPECT_TRUE(r.found) << "no TB line after " << text;
      result = r.word;
    }
    if (result == mirror) kept.push_back(text);
  }
  return kept;
}

// The moves as the root line writes them, from- and to-square only, sorted.
std::vector<std::string> squares(std::vector<std::string> moves) {
  for (std::string& m : moves) m.resize(4);
  std::sort(moves.begin(), moves.end());
  return moves;
}

UciEngine& with_tables(UciEngine& engine, const std::string& dir) {
  EXPECT_EQ(engine.ask("setoption name SyzygyPath value " + dir),
            (Lines{"info string SyzygyPath set to '" + dir + "'", kFound}));
  return engine;
}

TEST(TablebaseRoot, ResultLineKeepsExactlyTheHoldingMovesAndDtzMovesComeAtOnce) {
  REQUIRE_TABLES(dir);
  ScratchDirectory scratch;
  UciEngine uci({}, scratch.path());
  EngineProcess& engine = with_tables(uci, dir).process();
  struct Case {
    const char* fen;  // without counters
    const char* word;
    const char* score;
  };
  // Queen against rook, white to move: the queen may not go where the rook or king takes it.
  // Rook against bishop, black to move: the bishop may not drop itself on d6. Rook against
  // the lone king in b8: only Ka8 and Kc8, and Ka8 allows Rh8 mate. A pawn on e7: e8=Q and
  // e8=R win, e8=B and e8=N draw, and the list gives the squares of both winners.
  const Case cases[] = {{"8/8/8/2k5/8/8/1r6/K2Q4 w - -", "WIN", "cp 9800"},
                        {"8/8/K7/5k2/3R4/8/7b/8 b - -", "DRAW", "cp 0"},
                        {"1k6/8/1K6/8/8/8/8/7R b - -", "LOSS", "cp -9800"},
                        {"8/4P3/8/8/8/8/k7/4K3 w - -", "WIN", "cp 9800"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    const std::string fen = c.fen;
    std::vector<std::string> kept = holding_moves(engine, fen + " 0 1", c.word);
    ASSERT_FALSE(kept.empty());
    if (std::string(c.word) != "LOSS") {
      EXPECT_LT(kept.size(), Board(fen).legal_moves().size());
    }

    // With a fresh counter the kept moves are searched, with probes inside the tree.
    Lines searched = go(engine, "position fen " + fen + " 0 1", "go depth 4");
    RootLine r = root_line(searched);
    EXPECT_EQ(r.word, c.word);
    EXPECT_EQ(r.moves, squares(kept));
    ASSERT_GE(searched.size(), 3u);
    EXPECT_TRUE(std::regex_match(searched[searched.size() - 2], std::regex("info depth 4 .* tbhits [1-9][0-9]* .*")))
        << searched[searched.size() - 2];
    EXPECT_EQ(std::count(kept.begin(), kept.end(), bestmove(searched)), 1) << bestmove(searched);

    // With the counter at 20 the DTZ move is played without a search, the same every time.
    std::string first;
    for (int repeat = 0; repeat < 3; ++repeat) {
      Lines lines = go(engine, "position fen " + fen + " 20 40", "go depth 6");
      ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
      EXPECT_EQ(root_line(lines).moves, squares(kept));
      std::string move = bestmove(lines);
      EXPECT_TRUE(
          std::regex_match(lines[1], std::regex("info depth 99 seldepth 98 score " + std::string(c.score) +
                                                " time \\d+ nodes \\d+ nps \\d+ tbhits \\d+ hashfull \\d+ pv " + move)))
          << lines[1];
      EXPECT_EQ(lines[2], "bestmove " + move);
      EXPECT_EQ(std::count(kept.begin(), kept.end(), move), 1) << move;
      if (repeat == 0) first = move;
      EXPECT_EQ(move, first);
      go(engine, "position startpos", "go depth 2");  // something else between the repeats
    }
    if (std::string(c.word) == "LOSS") {
      EXPECT_EQ(first, "b8c8") << "the longest defence avoids Rh8 mate";
    }
  }
  uci.quit();
}

TEST(TablebasePath, ChangedDuringTheSessionAndSetAtStartUp) {
  REQUIRE_TABLES(dir);
  ScratchDirectory scratch;
  // The missing entry is long, so that the tables after it lie well past 143 characters.
  const std::string empty = scratch.file("empty"), missing = scratch.file("missing/" + std::string(200, 'm')),
                    file = scratch.file("KRvK.rtbw");
  std::filesystem::create_directory(empty);
  uci_test::write_file(file, "not a directory");
  const std::string krk = "position fen 8/8/8/4k3/8/8/4K3/4R3 w - - 0 1";
  auto probed = [&](UciEngine& engine) {
    Lines lines = go(engine.process(), krk, "go depth 3");
    bool tbhits = lines.size() >= 2 && lines[lines.size() - 2].find(" tbhits 0 ") == std::string::npos;
    bool found = root_line(lines).found;
    EXPECT_EQ(found, tbhits) << "the root line and the probe count disagree";
    return found && root_line(lines).word == "WIN";
  };

  UciEngine engine({}, scratch.path());
  EXPECT_FALSE(probed(engine));
  with_tables(engine, dir);
  EXPECT_TRUE(probed(engine));
  EXPECT_EQ(engine.ask("setoption name SyzygyPath value " + empty),
            (Lines{"info string SyzygyPath set to '" + empty + "'", "info string No tablebase files in " + empty,
                   "info string Found 0 WDL, 0 DTM and 0 DTZ tablebase files. Largest 0-men"}));
  EXPECT_FALSE(probed(engine));
  with_tables(engine, dir);
  EXPECT_TRUE(probed(engine));
  EXPECT_EQ(engine.ask("setoption name SyzygyPath value <empty>"), Lines{"info string SyzygyPath set to '<empty>'"});
  EXPECT_FALSE(probed(engine));
  // Each unusable entry is reported once; the tables between them are still found.
  const std::string list = missing + ":" + dir + ";" + file;
  EXPECT_EQ(engine.ask("setoption name SyzygyPath value " + list),
            (Lines{"info string SyzygyPath set to '" + list + "'",
                   "info string Tablebase directory " + missing + " not found",
                   "info string Tablebase path " + file + " is not a directory", kFound}));
  EXPECT_TRUE(probed(engine));
  engine.quit();

  // The tables are loaded after the network, so the network's report stays in the head.
  UciEngine started({"-tbpath", dir}, scratch.path());
  Lines head = started.head();
  head.erase(std::remove_if(head.begin(), head.end(), uci_test::is_network_line), head.end());
  EXPECT_EQ(head, uci_test::joined(uci_test::joined({uci_test::kHello}, uci_test::table_lines(64)), {kFound}));
  EXPECT_TRUE(probed(started));
  started.quit();
}

// A game of the engine against itself from `fen`, played until the referee ends it.
struct Game {
  std::string end, record;
  position::Position last;
};

Game play_out(const std::string& fen) {
  ScratchDirectory scratch;
  UciEngine uci({}, scratch.path());
  with_tables(uci, tables());
  Board board(fen);
  Game game{"", fen + " moves", {}};
  std::string moves;
  for (int ply = 0; ply < 400 && game.end.empty(); ++ply) {
    if (!(game.end = board.ending()).empty()) break;
    std::string move = bestmove(go(uci.process(), "position fen " + fen + moves, "go depth 6"));
    game.record += " " + move;
    moves += (moves.empty() ? " moves " : " ") + move;
    if (!board.play(move)) game.end = "illegal move " + move;
  }
  game.last = board.pos();
  uci.quit();
  return game;
}

TEST(TablebasePlay, QueenBeatsRookAndBishopAndKnightMateFromTheSafeCorner) {
  REQUIRE_TABLES(dir);
  // The rook starts guarded by its king. In the second game the black king sits in h8, a
  // corner the light-squared bishop cannot mate in, with the white pieces at the far side.
  for (const char* fen : {"8/3k4/3r4/8/8/8/8/Q3K3 w - - 0 1", "7k/8/8/8/8/8/8/KBN5 w - - 0 1"}) {
    Game game = play_out(fen);
    EXPECT_EQ(game.end, "mate") << game.record;
    EXPECT_EQ(int{game.last.side}, position::kBlack) << game.record;
  }
}

TEST(TablebasePlay, PawnPromotesAndMates) {
  REQUIRE_TABLES(dir);
  // Only Kd6 and Kf6 win; the king then escorts the pawn to e8.
  Game game = play_out("4k3/8/4K3/4P3/8/8/8/8 w - - 0 1");
  EXPECT_EQ(game.end, "mate") << game.record;
  EXPECT_EQ(int{game.last.side}, position::kBlack) << game.record;
  EXPECT_EQ(game.last.pieces[position::kWhite][position::kPawn], 0u) << game.record;
}

// Every line the tables allow here is a draw, giving up the rook or the bishop included,
// so only the ending is checked: no mate, a draw by rule.
TEST(TablebasePlay, BishopHoldsAgainstRook) {
  REQUIRE_TABLES(dir);
  Game game = play_out("8/8/K7/5k2/3R4/8/7b/8 w - - 0 1");
  EXPECT_TRUE(game.end == "fifty-move rule" || game.end == "repetition") << game.end << ": " << game.record;
}

}  // namespace
