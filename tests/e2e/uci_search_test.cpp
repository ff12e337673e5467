// Searching through the protocol, as a GUI drives it: iteration lines, "bestmove",
// infinite and ponder searches, commands served while searching, MultiPV, threads, mate
// scores, clock handling and the answers for drawn and finished positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
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

constexpr int kSearchTimeoutMs = 30000;
constexpr const char* kStartFen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// The engine's own position code, used only to judge the moves the engine sends.
class Referee {
 public:
  Referee() {
    static const bool ready = [] {
      position::init_tables();
      position::init_zobrist();
      base::set_default_settings(base::settings);  // moves are written as UCI writes them
      return true;
    }();
    (void)ready;
    thread_ = search::allocate_thread(0);
  }
  ~Referee() { search::free_thread(thread_); }
  Referee(const Referee&) = delete;
  Referee& operator=(const Referee&) = delete;

  // Sets up a FEN and plays the listed moves; false when any of them is not legal.
  bool set(const std::string& fen, const std::vector<std::string>& moves = {}) {
    if (position::set_position(thread_->position, fen.c_str()) != 0) return false;
    for (const std::string& m : moves)
      if (!play(m)) return false;
    return true;
  }

  std::set<std::string> legal_moves() const {
    const position::Position& pos = thread_->position;
    static position::MoveEntry list[search::kMaxMoves];
    position::generate_all_moves(pos, list);
    std::set<std::string> moves;
    for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e) {
      if (!position::move_is_legal(pos, pos.side, e->move)) continue;
      char text[16];
      position::move_to_text(pos, pos.side, e->move, text, position::MoveStyle{});
      moves.insert(text);
    }
    return moves;
  }

  bool is_legal(const std::string& move) const { return legal_moves().count(move) == 1; }

  bool play(const std::string& move) {
    const position::Position& pos = thread_->position;
    static position::MoveEntry list[search::kMaxMoves];
    position::generate_all_moves(pos, list);
    for (const position::MoveEntry* e = list; e->move != position::kListEnd; ++e) {
      char text[16];
      position::move_to_text(pos, pos.side, e->move, text, position::MoveStyle{});
      if (move == text && position::move_is_legal(pos, pos.side, e->move)) {
        position::make_move(thread_->position, e->move);
        return true;
      }
    }
    return false;
  }

 private:
  search::SearchThread* thread_ = nullptr;
};

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> result;
  for (std::string w; in >> w;) result.push_back(w);
  return result;
}

bool starts_with(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Every line up to and including the first "bestmove" line; empty when none comes.
Lines until_bestmove(EngineProcess& engine, int timeout_ms = kSearchTimeoutMs) {
  Lines lines;
  while (auto line = engine.read_line(timeout_ms)) {
    lines.push_back(*line);
    if (starts_with(*line, "bestmove ")) return lines;
  }
  ADD_FAILURE() << "no bestmove; last line: " << (lines.empty() ? std::string("none") : lines.back());
  return {};
}

bool any_bestmove(const Lines& lines) {
  for (const std::string& l : lines)
    if (starts_with(l, "bestmove")) return true;
  return false;
}

// One search line, taken apart.
struct InfoLine {
  int multipv = 0;
  int depth = 0;
  std::string score;  // "cp 12" or "mate -3"
  long long time = 0, nodes = 0, nps = 0;
  std::vector<std::string> pv;
};

bool is_number(const std::string& text, bool may_be_negative = false) {
  size_t start = may_be_negative && text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (text.size() == start) return false;
  for (size_t i = start; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

bool is_move_text(const std::string& text) {
  if (text.size() != 4 && text.size() != 5) return false;
  auto file = [](char c) { return c >= 'a' && c <= 'h'; };
  auto rank = [](char c) { return c >= '1' && c <= '8'; };
  if (!file(text[0]) || !rank(text[1]) || !file(text[2]) || !rank(text[3])) return false;
  return text.size() == 4 || std::string("qrbn").find(text[4]) != std::string::npos;
}

// A whole search line: "info [multipv K ]depth D seldepth S score (cp|mate) V time T nodes N
// nps P tbhits 0 hashfull H pv M1 M2 ...", single blanks, nothing else.
std::optional<InfoLine> parse_info(const std::string& line) {
  std::vector<std::string> w = words(line);
  std::string rebuilt;
  for (const std::string& word : w) rebuilt += (rebuilt.empty() ? "" : " ") + word;
  if (rebuilt != line || w.size() < 2 || w[0] != "info") return std::nullopt;
  InfoLine info;
  size_t i = 1;
  if (w[i] == "multipv") {
    if (w.size() < 3 || !is_number(w[2])) return std::nullopt;
    info.multipv = std::stoi(w[2]);
    i = 3;
  }
  const char* fields[] = {"depth", "seldepth", "score", "time", "nodes", "nps", "tbhits", "hashfull", "pv"};
  for (const char* field : fields) {
    if (i >= w.size() || w[i] != field) return std::nullopt;
    ++i;
    const std::string key = field;
    if (key == "pv") break;
    if (key == "score") {
      if (i + 1 >= w.size() || (w[i] != "cp" && w[i] != "mate") || !is_number(w[i + 1], true)) return std::nullopt;
      info.score = w[i] + " " + w[i + 1];
      i += 2;
      continue;
    }
    if (i >= w.size() || !is_number(w[i])) return std::nullopt;
    if (key == "depth") info.depth = std::stoi(w[i]);
    if (key == "time") info.time = std::stoll(w[i]);
    if (key == "nodes") info.nodes = std::stoll(w[i]);
    if (key == "nps") info.nps = std::stoll(w[i]);
    if (key == "tbhits" && w[i] != "0") return std::nullopt;
    ++i;
  }
  for (; i < w.size(); ++i) {
    if (!is_move_text(w[i])) return std::nullopt;
    info.pv.push_back(w[i]);
  }
  if (info.pv.empty()) return std::nullopt;
  return info;
}

// Lines up to and including the first iteration line of at least `depth`.
Lines until_depth(EngineProcess& engine, int depth) {
  Lines lines;
  while (auto line = engine.read_line(kSearchTimeoutMs)) {
    lines.push_back(*line);
    std::optional<InfoLine> info = parse_info(*line);
    if (info && info->depth >= depth) return lines;
  }
  ADD_FAILURE() << "no iteration line of depth " << depth;
  return lines;
}

// The reply to a search: its iteration lines (each checked against the line format), the
// best move and the ponder move.
struct SearchReply {
  std::vector<InfoLine> infos;
  Lines other;  // lines that are neither search lines nor "bestmove"
  std::string best;
  std::string ponder;
};

SearchReply read_search(EngineProcess& engine, int timeout_ms = kSearchTimeoutMs) {
  SearchReply reply;
  for (const std::string& line : until_bestmove(engine, timeout_ms)) {
    if (starts_with(line, "bestmove ")) {
      std::vector<std::string> w = words(line);
      EXPECT_TRUE(w.size() == 2 || (w.size() == 4 && w[2] == "ponder")) << line;
      if (w.size() >= 2) reply.best = w[1];
      if (w.size() == 4) reply.ponder = w[3];
    } else if (auto info = parse_info(line)) {
      reply.infos.push_back(*info);
    } else {
      EXPECT_FALSE(starts_with(line, "info depth") || starts_with(line, "info multipv")) << "malformed: " << line;
      reply.other.push_back(line);
    }
  }
  return reply;
}

std::unique_ptr<EngineProcess> start_engine() {
  auto engine = std::make_unique<EngineProcess>();
  Lines lines = ask(*engine, "uci");
  EXPECT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "uciok");
  return engine;
}

// The best move is legal where it was asked for, the ponder move legal after it, and
// both begin the variation of the last line.
void expect_sound_reply(const SearchReply& reply, const std::string& fen, const std::vector<std::string>& moves = {}) {
  Referee referee;
  ASSERT_TRUE(referee.set(fen, moves));
  EXPECT_TRUE(referee.is_legal(reply.best)) << "bestmove " << reply.best;
  if (!reply.infos.empty()) {
    const InfoLine& last = reply.infos.back();
    EXPECT_EQ(last.pv.front(), reply.best);
    if (!reply.ponder.empty()) {
      ASSERT_GE(last.pv.size(), 2u);
      EXPECT_EQ(last.pv[1], reply.ponder);
    }
    // The whole variation is playable.
    for (const std::string& m : last.pv) ASSERT_TRUE(referee.play(m)) << "variation move " << m;
  }
}

// ---------------------------------------------------------------------------------------

TEST(UciSearch, GoDepthReportsEachIterationThenALegalBestMove) {
  auto engine = start_engine();
  engine->send("position startpos");
  engine->send("go depth 5");
  SearchReply reply = read_search(*engine);
  EXPECT_EQ(reply.other, Lines{});
  ASSERT_GE(reply.infos.size(), 2u);
  // Iterations from 2 on, in order; the last line repeats the final result at depth 5.
  EXPECT_EQ(reply.infos.front().depth, 2);
  for (size_t i = 1; i < reply.infos.size(); ++i) EXPECT_GE(reply.infos[i].depth, reply.infos[i - 1].depth);
  EXPECT_EQ(reply.infos.back().depth, 5);
  for (const InfoLine& info : reply.infos) EXPECT_EQ(info.multipv, 0);
  const std::set<std::string> first_moves = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3",
                                             "d2d4", "e2e3", "e2e4", "f2f3", "f2f4", "g2g3", "g2g4",
                                             "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"};
  EXPECT_EQ(first_moves.count(reply.best), 1u) << reply.best;
  expect_sound_reply(reply, kStartFen);

  // A position reached by moves, black to move.
  engine->send("position startpos moves e2e4 e7e5 g1f3");
  engine->send("go depth 4");
  reply = read_search(*engine);
  EXPECT_EQ(reply.infos.back().depth, 4);
  expect_sound_reply(reply, kStartFen, {"e2e4", "e7e5", "g1f3"});

  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

// "searchmoves" narrows the root to the moves it names; the rate is nodes per whole
// millisecond shown, never 0 for a quick iteration.
TEST(UciSearch, SearchMovesNarrowTheRootAndTheRateFollowsTheTime) {
  auto engine = start_engine();
  struct Case {
    std::string go;
    std::set<std::string> allowed;
    Lines other;
  };
  const std::vector<Case> cases = {
      {"go depth 6 searchmoves a2a3", {"a2a3"}, {}},
      {"go searchmoves g1f3 e2e4 depth 4", {"g1f3", "e2e4"}, {}},
      {"go depth 2 searchmoves e2e5 b1c3", {"b1c3"}, {"info string searchmoves: e2e5 is not a legal move, left out"}},
      {"go depth 3 searchmoves", {}, {}},  // no move named: every move may be searched
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.go);
    engine->send("position startpos");
    engine->send(c.go);
    SearchReply reply = read_search(*engine);
    EXPECT_EQ(reply.other, c.other);
    ASSERT_FALSE(reply.infos.empty());
    if (!c.allowed.empty()) {
      EXPECT_EQ(c.allowed.count(reply.best), 1u) << reply.best;
      for (const InfoLine& info : reply.infos) EXPECT_EQ(c.allowed.count(info.pv.front()), 1u) << info.pv.front();
    }
    for (const InfoLine& info : reply.infos) {
      EXPECT_GT(info.nps, 0);
      EXPECT_EQ(info.nps, info.nodes * 1000 / std::max(info.time, 1LL));
    }
    expect_sound_reply(reply, kStartFen);
  }
  // A searchmoves list is for its own "go" only.
  engine->send("go depth 4");
  EXPECT_NE(read_search(*engine).best, "");
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

TEST(UciSearch, InfiniteSearchRunsUntilStop) {
  auto engine = start_engine();
  engine->send("position startpos moves d2d4");
  engine->send("go infinite");
  Lines before = until_depth(*engine, 4);
  EXPECT_FALSE(any_bestmove(before));
  engine->send("stop");
  SearchReply reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"d2d4"});
  // The engine is idle again and answers.
  EXPECT_EQ(ask(*engine, Lines{}), Lines{});
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

TEST(UciSearch, InfiniteSearchThatEndsByItselfReportsWithoutStop) {
  auto engine = start_engine();
  engine->send("position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1");
  engine->send("go infinite");
  SearchReply reply = read_search(*engine);
  EXPECT_EQ(reply.best, "a1a8");
  ASSERT_FALSE(reply.infos.empty());
  EXPECT_EQ(reply.infos.back().score, "mate 1");
}

TEST(UciSearch, IsReadyDuringASearchIsAnsweredAtOnce) {
  auto engine = start_engine();
  engine->send("position startpos");
  engine->send("go infinite");
  until_depth(*engine, 3);
  engine->send("isready");
  Lines before = engine->read_until("readyok");
  ASSERT_FALSE(before.empty()) << "no readyok during the search";
  EXPECT_FALSE(any_bestmove(before));
  engine->send("stop");
  SearchReply reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen);
}

TEST(UciSearch, QuitDuringASearchEndsTheProcess) {
  auto engine = start_engine();
  engine->send("position startpos");
  engine->send("go infinite");
  until_depth(*engine, 3);
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(kSearchTimeoutMs), 0);
}

TEST(UciSearch, PonderhitHandsThePonderSearchToTheClock) {
  auto engine = start_engine();
  // Pondering never stops on time; the reply comes only after "ponderhit".
  engine->send("position startpos moves e2e4");
  engine->send("go ponder wtime 2000 btime 2000");
  Lines before = until_depth(*engine, 3);
  Lines more = ask(*engine, Lines{});
  EXPECT_FALSE(any_bestmove(before));
  EXPECT_FALSE(any_bestmove(more));
  engine->send("ponderhit");
  SearchReply reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"e2e4"});

  // A ponder search that reaches its depth limit waits for "ponderhit" too.
  engine->send("position startpos moves e2e4 c7c5");
  engine->send("go ponder depth 3");
  Lines finished = engine->read_available(1000);
  EXPECT_FALSE(any_bestmove(finished));
  EXPECT_EQ(ask(*engine, Lines{}), Lines{});
  engine->send("ponderhit");
  reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"e2e4", "c7c5"});
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

TEST(UciSearch, StopEndsAPonderSearch) {
  auto engine = start_engine();
  engine->send("position startpos moves g1f3");
  engine->send("go ponder wtime 60000 btime 60000");
  EXPECT_FALSE(any_bestmove(until_depth(*engine, 3)));
  engine->send("stop");
  SearchReply reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"g1f3"});

  // A finished ponder search waits, and "stop" releases its answer.
  engine->send("position startpos moves g1f3 d7d5");
  engine->send("go ponder depth 2");
  Lines finished = engine->read_available(1000);
  EXPECT_FALSE(any_bestmove(finished));
  engine->send("stop");
  reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"g1f3", "d7d5"});
}

// "stop" may arrive before the first root move has been searched: the answer is still a
// legal move. In the pawn wall below the first root move's capture search alone takes
// long, so a prompt "stop" always lands there.
TEST(UciSearch, StopRightAfterGoStillAnswersALegalMove) {
  auto engine = start_engine();
  struct Case {
    const char* fen;
    int searches;
  };
  const Case cases[] = {
      {"rnbqkbnr/8/8/pppppppp/PPPPPPPP/8/8/RNBQKBNR w KQkq - 0 1", 3},
      {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1", 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    Referee referee;
    ASSERT_TRUE(referee.set(c.fen));
    int null_answers = 0;
    for (int i = 0; i < c.searches; ++i) {
      engine->send_raw(std::string("position fen ") + c.fen + "\ngo infinite\nstop\n");
      Lines lines = until_bestmove(*engine);
      ASSERT_FALSE(lines.empty());
      std::vector<std::string> w = words(lines.back());
      ASSERT_GE(w.size(), 2u);
      if (w[1] == "null") {
        ++null_answers;
      } else {
        EXPECT_TRUE(referee.is_legal(w[1])) << lines.back();
      }
    }
    EXPECT_EQ(null_answers, 0) << "of " << c.searches << " searches stopped at once";
  }
}

TEST(UciSearch, MultiPvThreeReportsThreeDifferentLinesPerIteration) {
  auto engine = start_engine();
  EXPECT_EQ(ask(*engine, "setoption name MultiPV value 3"), Lines{"info string MultiPV set to 3"});
  engine->send("position startpos moves e2e4");
  engine->send("go depth 4");
  SearchReply reply = read_search(*engine);
  EXPECT_EQ(reply.other, Lines{});
  // Per iteration the lines "multipv 1", "multipv 2", "multipv 3"; then the result again
  // as "multipv 1".
  ASSERT_EQ(reply.infos.size(), 13u);
  for (int d = 1; d <= 4; ++d) {
    std::set<std::string> first_moves;
    for (int k = 1; k <= 3; ++k) {
      const InfoLine& info = reply.infos[static_cast<size_t>(3 * (d - 1) + k - 1)];
      EXPECT_EQ(info.depth, d);
      EXPECT_EQ(info.multipv, k);
      first_moves.insert(info.pv.front());
    }
    EXPECT_EQ(first_moves.size(), 3u) << "depth " << d;
  }
  const InfoLine& last = reply.infos.back();
  EXPECT_EQ(last.multipv, 1);
  EXPECT_EQ(last.depth, 4);
  EXPECT_EQ(last.pv, reply.infos[9].pv);
  expect_sound_reply(reply, kStartFen, {"e2e4"});
}

TEST(UciSearch, TwoThreadsSearchAndAnswer) {
  auto engine = start_engine();
  EXPECT_EQ(ask(*engine, "setoption name Threads value 2"), Lines{"info string Threads set to 2"});
  engine->send("position startpos moves e2e4 e7e5");
  engine->send("go depth 8");
  SearchReply reply = read_search(*engine);
  EXPECT_EQ(reply.infos.back().depth, 8);
  expect_sound_reply(reply, kStartFen, {"e2e4", "e7e5"});

  engine->send("position startpos moves d2d4 d7d5 c2c4");
  engine->send("go wtime 3000 btime 3000");
  reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"d2d4", "d7d5", "c2c4"});

  engine->send("position fen kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1");
  engine->send("go depth 6");
  reply = read_search(*engine);
  EXPECT_EQ(reply.best, "a1a6");
  EXPECT_EQ(reply.infos.back().score, "mate 2");
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

TEST(UciSearch, MateScoresAreReportedInMoves) {
  auto engine = start_engine();
  struct Case {
    const char* fen;
    const char* go;
    const char* best;  // empty: any legal move
    const char* score;
  };
  const Case cases[] = {
      {"6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "go depth 4", "a1a8", "mate 1"},
      {"kbK5/pp6/1P6/8/8/8/8/R7 w - - 0 1", "go depth 6", "a1a6", "mate 2"},
      {"1k6/8/8/2K5/8/8/8/7R w - - 0 1", "go depth 8", "", "mate 3"},
      // Black is mated at ply 3 from the root (-9997): mated in one move.
      {"kbK5/pp6/RP6/8/8/8/8/8 b - - 1 1", "go depth 5", "", "mate -1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    engine->send(std::string("position fen ") + c.fen);
    engine->send(c.go);
    SearchReply reply = read_search(*engine);
    ASSERT_FALSE(reply.infos.empty());
    EXPECT_EQ(reply.infos.back().score, c.score);
    if (c.best[0]) {
      EXPECT_EQ(reply.best, c.best);
    }
    expect_sound_reply(reply, c.fen);
  }
}

TEST(UciSearch, ClockSearchesAlwaysAnswerWithALegalMove) {
  auto engine = start_engine();
  struct Case {
    std::vector<std::string> moves;
    const char* go;
  };
  const Case cases[] = {
      {{}, "go wtime 100 btime 100"},
      {{"e2e4"}, "go wtime 100 btime 100"},
      {{"e2e4", "e7e5"}, "go wtime 1000 btime 1000 winc 100 binc 100"},
      {{"e2e4", "e7e5", "g1f3"}, "go winc 100 binc 100"},
      {{"d2d4"}, "go wtime 5000 btime 5000 movestogo 1"},
      {{"d2d4", "g8f6"}, "go wtime 5000 btime 5000 movestogo 0"},
      {{"c2c4"}, "go wtime 0 btime 0"},
      {{"c2c4", "e7e5"}, "go movetime 100"},
      {{"c2c4", "e7e5", "b1c3"}, "go nodes 20000"},
  };
  EXPECT_EQ(ask(*engine, "ucinewgame"), Lines{});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.go);
    std::string command = "position startpos";
    if (!c.moves.empty()) command += " moves";
    for (const std::string& m : c.moves) command += " " + m;
    engine->send(command);
    engine->send(c.go);
    SearchReply reply = read_search(*engine);
    EXPECT_EQ(reply.other, Lines{});
    expect_sound_reply(reply, kStartFen, c.moves);
  }
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

TEST(UciSearch, DrawnPositionIsAnnouncedAndStillAnswered) {
  auto engine = start_engine();
  // The start position for the third time.
  const std::vector<std::string> shuffle = {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"};
  std::string command = "position startpos moves";
  for (const std::string& m : shuffle) command += " " + m;
  engine->send(command);
  engine->send("go depth 3");
  Lines lines = until_bestmove(*engine);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "info string Draw!");
  Referee referee;
  ASSERT_TRUE(referee.set(kStartFen, shuffle));
  std::vector<std::string> w = words(lines.back());
  ASSERT_GE(w.size(), 2u);
  EXPECT_TRUE(referee.is_legal(w[1])) << lines.back();

  // Twice only: no announcement.
  command = "position startpos moves";
  for (size_t i = 0; i < 4; ++i) command += " " + shuffle[i];
  engine->send(command);
  engine->send("go depth 3");
  lines = until_bestmove(*engine);
  for (const std::string& l : lines) EXPECT_NE(l, "info string Draw!");

  // The fifty-move rule.
  const std::string fifty = "4k3/8/8/8/8/8/8/4K2R w - - 100 90";
  engine->send("position fen " + fifty);
  engine->send("go depth 3");
  lines = until_bestmove(*engine);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "info string Draw!");
  ASSERT_TRUE(referee.set(fifty));
  w = words(lines.back());
  ASSERT_GE(w.size(), 2u);
  EXPECT_TRUE(referee.is_legal(w[1])) << lines.back();

  // One ply earlier the counter is 99: no draw yet.
  engine->send("position fen 4k3/8/8/8/8/8/8/4K2R w - - 99 90");
  engine->send("go depth 3");
  lines = until_bestmove(*engine);
  for (const std::string& l : lines) EXPECT_NE(l, "info string Draw!");
}

TEST(UciSearch, PositionWithoutLegalMovesAnswersBestmoveNull) {
  auto engine = start_engine();
  const char* finished[] = {
      "7k/6Q1/6K1/8/8/8/8/8 b - - 0 1",  // checkmate
      "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",  // stalemate
  };
  for (const char* fen : finished) {
    SCOPED_TRACE(fen);
    for (const char* go : {"go depth 5", "go wtime 10000 btime 10000", "go infinite"}) {
      SCOPED_TRACE(go);
      engine->send(std::string("position fen ") + fen);
      engine->send(go);
      EXPECT_EQ(until_bestmove(*engine), Lines{"bestmove null"});
    }
  }
  EXPECT_EQ(ask(*engine, Lines{}), Lines{});
}

TEST(UciSearch, HashSizeZeroSearchesWithoutATable) {
  auto engine = start_engine();
  EXPECT_EQ(ask(*engine, "setoption name Hash value 0"),
            (Lines{"info string Hash set to 0", "info string allocated 0 Mbytes for hash table",
                   "info string Cleared hash table"}));
  engine->send("position startpos moves e2e4 e7e5");
  engine->send("go depth 6");
  SearchReply reply = read_search(*engine);
  EXPECT_EQ(reply.infos.back().depth, 6);
  expect_sound_reply(reply, kStartFen, {"e2e4", "e7e5"});
  // Back to a table.
  EXPECT_EQ(ask(*engine, "setoption name Hash value 4"),
            (Lines{"info string Hash set to 4", "info string allocated 4 Mbytes for hash table",
                   "info string Cleared hash table"}));
  engine->send("go depth 5");
  reply = read_search(*engine);
  expect_sound_reply(reply, kStartFen, {"e2e4", "e7e5"});
}

// Reads a number of kB from /proc/meminfo.
long long meminfo_kb(const std::string& key) {
  std::ifstream in("/proc/meminfo");
  for (std::string name; in >> name;) {
    long long value = 0;
    in >> value;
    if (name == key + ":") return value;
    in.ignore(256, '\n');
  }
  return -1;
}

TEST(UciSearch, HashTooLargeToAllocateKeepsTheTableInForce) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator reserves 64 GB without failing";
#endif
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the thread sanitizer's allocator ends the process on a failed allocation";
#endif
  // The request must fail for real: heuristic overcommit and less than 64 GB to give.
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int mode = -1;
  overcommit >> mode;
  long long total = meminfo_kb("MemTotal"), swap = meminfo_kb("SwapTotal");
  if (mode != 0 || total < 0 || swap < 0 || total + swap > 48LL * 1024 * 1024)
    GTEST_SKIP() << "64 GB might be granted here";
  auto engine = start_engine();
  EXPECT_EQ(ask(*engine, "setoption name Hash value 65536"),
            (Lines{"info string Hash set to 65536",
                   "info string cannot allocate 65536 MB for the hash table, keeping 64 MB"}));
  Lines reply = ask(*engine, "uci");
  EXPECT_NE(std::find(reply.begin(), reply.end(), "option name Hash type spin default 64 min 0 max 65536"),
            reply.end());
  engine->send("position startpos");
  engine->send("go depth 5");
  SearchReply search = read_search(*engine);
  expect_sound_reply(search, kStartFen);
  engine->send("quit");
  EXPECT_EQ(engine->wait_exit(), 0);
}

}  // namespace
