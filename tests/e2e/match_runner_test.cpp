// The match runner as its users run it: scripted engines that break the rules in each
// way the referee must catch, and a short real match of the engine against itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct RunResult {
  int status = -1;
  std::string output;
};

RunResult run(const std::string& command) {
  RunResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) result.output.append(chunk, n);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class MatchRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/nesk_match_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string dir_;
};

struct Misbehaviour {
  const char* name;
  const char* bad_engine;  // the fake engine's arguments
  const char* good_engine;
  const char* extra;       // more runner options
  const char* reason;      // what the record says of the loser, after "White"/"Black"
  const char* termination;
};

class MatchReferee : public MatchRunner, public ::testing::WithParamInterface<Misbehaviour> {};

// The misbehaving engine loses both games of the pair, once with each colour, for the
// reason named; the runner restarts engines that crashed or hung for the second game.
TEST_P(MatchReferee, TheOffenderLosesEveryGameByName) {
  const Misbehaviour& m = GetParam();
  std::string fake = MATCH_FAKE_ENGINE;
  std::string pgn = dir_ + "/games.pgn";
  std::string command = std::string(NESK_MATCH_BINARY) + " -engine cmd=\"" + fake + " " + m.good_engine +
                        "\" name=good -engine cmd=\"" + fake + " " + m.bad_engine +
                        "\" name=bad -each tc=0.5+0 -games 2 -grace 1 -pgnout " + pgn + " " + m.extra;
  RunResult r = run(command);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Score of good vs bad: 2 - 0 - 0  [1.000] 2"), std::string::npos) << r.output;
  std::string games = read_file(pgn);
  EXPECT_EQ(count(games, "[Termination \"" + std::string(m.termination) + "\"]"), 2) << games;
  EXPECT_EQ(count(games, "{Black" + std::string(m.reason)), 1) << games;
  EXPECT_EQ(count(games, "{White" + std::string(m.reason)), 1) << games;
  EXPECT_EQ(count(games, "[Result \"1-0\"]"), 1);
  EXPECT_EQ(count(games, "[Result \"0-1\"]"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    FakeEngines, MatchReferee,
    ::testing::Values(
        Misbehaviour{"Illegal", "illegal after=2", "legal", "", " makes an illegal move: e2e5}", "rules infraction"},
        Misbehaviour{"Crash", "crash after=2", "legal", "", "'s engine crashed (", "abandoned"},
        Misbehaviour{"Hang", "hang after=2", "legal", "", "'s engine hangs: no move in ", "abandoned"},
        Misbehaviour{"TimeLoss", "slow after=2", "legal", "", " loses on time}", "time forfeit"},
        Misbehaviour{"Resign", "legal score=-900", "legal score=900", "-resign movecount=3 score=800", " resigns}",
                     "adjudication"}),
    [](const ::testing::TestParamInfo<Misbehaviour>& param) { return std::string(param.param.name); });

// Two games of the engine against itself at fixed nodes, two at once, from an opening
// given as a move list: the PGN carries the book moves, a comment of score, depth and
// time with every engine move, and the score line counts both games.
TEST_F(MatchRunner, ShortRealMatchWritesPgnAndScores) {
  std::string book = dir_ + "/book.txt", pgn = dir_ + "/games.pgn";
  std::ofstream(book) << "1. e4 e5 2. Nf3 Nc6\n1. d4 d5 2. c4 e6\n";
  std::string engine = NESK_BINARY;
  std::string command = std::string(NESK_MATCH_BINARY) + " -engine cmd=" + engine + " name=new -engine cmd=" + engine +
                        " name=old -each nodes=1500 option.Hash=4 -openings file=" + book +
                        " order=sequential -games 2 -rounds 1 -concurrency 2 -maxmoves 60 -resign movecount=3 score=700"
                        " -sprt elo0=0 elo1=10 alpha=0.05 beta=0.05 -pgnout " + pgn;
  RunResult r = run(command);
  ASSERT_EQ(r.status, 0) << r.output;
  std::smatch score;
  ASSERT_TRUE(std::regex_search(r.output, score, std::regex("Match finished after 2 games\nScore of new vs old: (\\d) - (\\d) - (\\d)  \\[")))
      << r.output;
  EXPECT_EQ(std::stoi(score[1]) + std::stoi(score[2]) + std::stoi(score[3]), 2);
  EXPECT_NE(r.output.find("SPRT (elo0 0, elo1 10, alpha 0.05, beta 0.05): LLR "), std::string::npos);
  EXPECT_NE(r.output.find("[-2.94, 2.94]"), std::string::npos);

  std::string games = read_file(pgn);
  EXPECT_EQ(count(games, "[Event "), 2);
  EXPECT_EQ(count(games, "[White \"new\"]\n[Black \"old\"]"), 1);
  EXPECT_EQ(count(games, "[White \"old\"]\n[Black \"new\"]"), 1);
  EXPECT_EQ(count(games, "1. e4 {book} e5 {book} 2. Nf3 {book} Nc6 {book} 3. "), 2) << games;
  EXPECT_EQ(count(games, "[FEN "), 0);
  // Every engine move has its comment; the last comment of a game is how it ended.
  std::regex engine_move("[A-Za-z][A-Za-z0-9=+#-]*\\s\\{([+-]?[0-9]+\\.[0-9]{2}|[+-]M[0-9]+)/[0-9]+ [0-9]+\\.[0-9]+s\\}");
  auto first = std::sregex_iterator(games.begin(), games.end(), engine_move);
  int commented = static_cast<int>(std::distance(first, std::sregex_iterator()));
  std::regex ply_count("\\[PlyCount \"([0-9]+)\"\\]");
  int plies = 0;
  for (auto it = std::sregex_iterator(games.begin(), games.end(), ply_count); it != std::sregex_iterator(); ++it)
    plies += std::stoi((*it)[1]);
  EXPECT_EQ(commented + 2 * 4, plies) << games;
  EXPECT_EQ(count(games, "[Termination "), 2);
}

}  // namespace

// With tables, a position they cover is ruled on before anyone moves.
TEST_F(MatchRunner, TablebasesAdjudicate) {
  std::string tables = std::string(NESK_TESTDATA) + "/syzygy";
  if (access((tables + "/KRvK.rtbw").c_str(), R_OK) != 0) GTEST_SKIP() << "no tables at " << tables;
  std::string book = dir_ + "/book.epd", pgn = dir_ + "/games.pgn";
  std::ofstream(book) << "4k3/8/8/8/8/8/8/R3K3 w - -\n";
  std::string fake = MATCH_FAKE_ENGINE;
  RunResult r = run(std::string(NESK_MATCH_BINARY) + " -engine cmd=" + fake + " name=a -engine cmd=" + fake +
                    " name=b -each st=1 -openings file=" + book + " -games 2 -tb " + tables + " -pgnout " + pgn);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Score of a vs b: 1 - 1 - 0"), std::string::npos) << r.output;
  std::string games = read_file(pgn);
  EXPECT_EQ(count(games, "[FEN \"4k3/8/8/8/8/8/8/R3K3 w - - 0 1\"]\n[SetUp \"1\"]"), 2) << games;
  EXPECT_EQ(count(games, "{White wins by tablebase} 1-0"), 2) << games;
}
