// The book builder: which moves of a PGN reach the book, how they are weighted, and how
// the file comes out.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "book/build.h"
#include "book/key.h"
#include "book/pgn_reader.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "test_support.h"

namespace {

using book::BookEntry;
using book::MoveRecord;
using Entries = std::vector<std::tuple<uint64_t, int, int>>;  // key, move, weight

Entries entries_of(const std::vector<BookEntry>& book) {
  Entries entries;
  for (const BookEntry& e : book) entries.emplace_back(e.key, e.move, e.weight);
  return entries;
}

struct Built {
  std::string output;
  int status = -1;
  bool written = false;
  Entries entries;
};

// Runs the builder on `pgn` in a scratch directory, as "-mkbook games.pgn" runs there.
Built build(const std::string& pgn, const char* name = "games.pgn") {
  nesk_test::engine_thread();
  char pattern[] = "/tmp/nesk-build-XXXXXX";
  std::filesystem::path back = std::filesystem::current_path(), dir = mkdtemp(pattern);
  std::ofstream(dir / "games.pgn", std::ios::binary) << pgn;
  std::filesystem::current_path(dir);
  testing::internal::CaptureStdout();
  Built built;
  built.status = book::build_book(name);
  built.output = testing::internal::GetCapturedStdout();
  std::vector<BookEntry> book;
  if (std::FILE* file = std::fopen(book::kBuiltBookFile, "rb")) {
    built.written = true;
    for (BookEntry e; !book::book_read_entry(file, e);) book.push_back(e);
    std::fclose(file);
  }
  built.entries = entries_of(book);
  std::filesystem::current_path(back);
  std::filesystem::remove_all(dir);
  return built;
}

std::string games(int copies, const std::string& result, const std::string& movetext, const std::string& tags = "") {
  std::string text;
  for (int i = 0; i < copies; ++i) text += "[Event \"t\"]\n[Result \"" + result + "\"]\n" + tags + "\n" + movetext + "\n\n";
  return text;
}

// Entries of weight `weight` for a line of SAN moves from the start position, in file order.
Entries line_entries(const std::vector<const char*>& moves, int weight) {
  position::Position& pos = nesk_test::set_up(position::kStartFen);
  Entries entries;
  for (const char* text : moves) {
    position::Move move;
    EXPECT_TRUE(position::text_to_move(pos, text, move, position::MoveStyle{})) << text;
    entries.emplace_back(book::book_key(pos), book::move_to_book_move(pos, move), weight);
    position::make_move(pos, move);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

TEST(BookBuild, KeepRuleScoreAndWeights) {
  EXPECT_FALSE(book::keeps_move({0, 3, 1, 1, 0}));  // 4 < 4 fails
  EXPECT_TRUE(book::keeps_move({0, 5, 1, 0, 0}));
  EXPECT_EQ(book::move_score({0, 5, 1, 0, 0}), 18);
  EXPECT_TRUE(book::keeps_move({0, 0, 0, 10, 0}));
  EXPECT_EQ(book::move_score({0, 0, 0, 10, 0}), 10);
  // The first move is kept, yet scores -3: it is left out, not written with a wrapped
  // weight. Best score 100: the weights are the scores, best first, ties as first seen.
  std::vector<MoveRecord> moves = {{7, 0, 4, 5, 1}, {7, 25, 0, 0, 2}, {7, 0, 0, 5, 3}, {7, 0, 1, 4, 4}, {7, 0, 0, 100, 5}};
  EXPECT_TRUE(book::keeps_move(moves[0]));
  EXPECT_EQ(entries_of(book::entries_for_position(moves.data(), moves.size())), (Entries{{7, 2, 100}, {7, 5, 100}, {7, 3, 5}}));
  EXPECT_TRUE(book::entries_for_position(moves.data(), 1).empty());
  // Best score 120000: every weight halved, and a score of 1 left out at weight 0.
  std::vector<MoveRecord> big = {{9, 30000, 0, 0, 1}, {9, 0, 0, 77, 2}, {9, 0, 2, 5, 3}};
  EXPECT_EQ(entries_of(book::entries_for_position(big.data(), big.size())), (Entries{{9, 1, 60000}, {9, 2, 38}}));
}

TEST(BookBuild, Tokens) {
  std::vector<std::string> tokens;
  for (const char* t = book::pgn_token("12.Nf3{a (b\x01}\t(1...e5 2.d4)$14 e\x02" "5;x\r\n"); t; t = book::pgn_token(nullptr))
    tokens.push_back(t);
  EXPECT_EQ(tokens, (std::vector<std::string>{"12.Nf3", "{", "a", "(", "b", "}", "(", "1...e5", "2.d4", ")", "$14", "e5;x"}));
  EXPECT_EQ(book::pgn_token("  \t "), nullptr);
  char text[24];
  std::vector<std::string> moves;
  for (const char* t : {"12...0-0", "O-O-O", "e4!?", "Qh7#", "1-0", "0-1", "1/2-1/2", "*", "12."})
    moves.push_back(book::pgn_move_text(t, text) ? text : "-");
  EXPECT_EQ(moves, (std::vector<std::string>{"0-0", "O-O-O", "e4", "Qh7", "-", "0-1", "-", "-", "-"}));
}

// Five drawn games through comments, variations, NAGs, move numbers and both ways of
// writing castling: each move is in once with weight 5, castling as the king taking its
// rook, the rook's later step from e1 to g1 as just that. A set-up game (FEN tag after or
// before the Result tag) and an unfinished one would change the weights if they counted.
TEST(BookBuild, MovesOfAGameThroughItsAnnotations) {
  std::string movetext =
      "1.Nf3 {a comment (with a parenthesis} Nf6 $1 2. g3 (2. c4 e6 {inside} 3. Nc3) 2... g6\n"
      "3.Bg2 Bg7 4.0-0 O-O ; the rest of this line is a comment Qd1\n"
      "5.Re1 Re8 6.Kh1 Kh8 7.Rg1 Rg8";
  std::string fen = "[FEN \"" + std::string(position::kStartFen) + " 0 1\"]\n";
  Built built = build(games(5, "1/2-1/2", movetext + " 1/2-1/2") + games(1, "1-0", movetext, fen) + fen +
                      games(1, "0-1", movetext) + games(1, "*", movetext));
  Entries expected = line_entries({"Nf3", "Nf6", "g3", "g6", "Bg2", "Bg7", "O-O", "O-O", "Re1", "Re8", "Kh1", "Kh8", "Rg1", "Rg8"}, 5);
  EXPECT_EQ(built.entries, expected);
  std::vector<int> moves;
  for (const auto& e : expected) moves.push_back(std::get<1>(e));
  for (int move : {0x107, 0xF3F, 0x106, 0xF3E})  // e1h1, e8h8, then the rooks' e1g1 and e8g8
    EXPECT_NE(std::find(moves.begin(), moves.end(), move), moves.end()) << std::hex << move;
  EXPECT_NE(built.output.find("ngames= 8, nmoves= 14\nbook contains 14 moves\ndone\n"), std::string::npos) << built.output;
}

// Windows line ends, a byte-order mark, a comment of 24,000 characters full of tags, a
// comment never closed and games without a Result tag change nothing in the games around
// them. A line of 400 moves is read whole: its knight dance counts a hundred times a game.
TEST(BookBuild, MessyFilesGiveTheSameBook) {
  std::string dance = "1.";
  for (int i = 0; i < 100; ++i) dance += "Nf3 Nf6 Ng1 Ng8 ";
  std::string plain = games(5, "1-0", "1.e4 e5 2.Nf3 Nc6 3.Bb5 a6") + games(1, "0-1", "1.e4 e5") +
                      games(5, "1/2-1/2", "1.d4 d5 2.c4 e6") + games(5, "1/2-1/2", dance);
  std::string noise;
  for (int i = 0; i < 2000; ++i) noise += "[Event \"x\"] ";
  std::string messy = "\xEF\xBB\xBF";
  for (int i = 0; i < 5; ++i)
    messy += games(1, "1-0", "1.e4 {" + noise + "} e5 2.Nf3 Nc6 3.Bb5 a6") + "[Event \"no result\"]\n\n4.Ba4 Nf6 5.O-O Be7\n\n";
  messy += games(1, "0-1", "1.e4 e5 {never closed 2.Nf3") + games(5, "1/2-1/2", "1.d4 d5 2.c4 e6") + games(5, "1/2-1/2", dance);
  std::string crlf;
  for (char c : messy) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Built reference = build(plain);
  Entries knight = line_entries({"Nf3"}, 500);
  EXPECT_NE(std::find(reference.entries.begin(), reference.entries.end(), knight[0]), reference.entries.end());
  EXPECT_EQ(build(crlf).entries, reference.entries);
  EXPECT_EQ(reference.status, 0);
  // A file that cannot be opened: the reason, no book, a failed status.
  Built missing = build(plain, "no such file.pgn");
  EXPECT_EQ(missing.output, "cannot read no such file.pgn: No such file or directory; no book written\n");
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(missing.written);
}

// The book of real PGN text as a slow and simple reading expects it: a character scan
// cuts out comments and variations, a word is a move once its number and glyphs are off,
// and a move counts for the side that played it where its line starts within the
// builder's plies.
Entries expected_book(const std::string& pgn) {
  std::map<uint64_t, std::vector<MoveRecord>> positions;  // a key's moves as first seen
  std::istringstream in(pgn);
  std::string result;
  bool set_up = false, tags = false, comment = false, stopped = false;
  int depth = 0, plies = 0;
  position::Position& pos = nesk_test::set_up(position::kStartFen);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!comment && line.rfind("[", 0) == 0) {
      if (!tags) set_up = false, result.clear(), tags = true;
      if (line.rfind("[Result \"", 0) == 0) result = line.substr(9, line.find('"', 9) - 9);
      set_up = set_up || line.rfind("[FEN ", 0) == 0;
      nesk_test::set_up(position::kStartFen), plies = depth = 0, stopped = false;
      continue;
    }
    tags = false;
    int winner = result == "1-0" ? 0 : result == "0-1" ? 1 : result == "1/2-1/2" ? 2 : -1;
    if (set_up || winner < 0 || plies > book::kBuildPlies) continue;
    std::string words;
    for (char c : line) {
      if (comment) comment = c != '}';
      else if (c == '{') comment = true;
      else if (c == ';') break;
      else if (c == '(' || c == ')') depth += c == '(' ? 1 : -1;
      else if (depth == 0) words += c;
    }
    std::istringstream word_stream(words);
    for (std::string word; !stopped && word_stream >> word;) {
      if (word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*" || word[0] == '$') continue;
      size_t number = word.find_first_not_of("0123456789");
      if (number != std::string::npos && word[number] == '.') word.erase(0, word.find_first_not_of(".", number));
      while (!word.empty() && std::string("!?#").find(word.back()) != std::string::npos) word.pop_back();
      position::Move move;
      if (word.empty()) continue;
      if ((stopped = !position::text_to_move(pos, word.c_str(), move, position::MoveStyle{}))) break;
      std::vector<MoveRecord>& records = positions[book::book_key(pos)];
      uint16_t encoded = book::move_to_book_move(pos, move);
      auto r = std::find_if(records.begin(), records.end(), [&](const MoveRecord& m) { return m.move == encoded; });
      if (r == records.end()) r = records.insert(records.end(), MoveRecord{book::book_key(pos), 0, 0, 0, encoded});
      ++(winner == 2 ? r->draws : winner == pos.side ? r->wins : r->losses);
      pos.game->undo_index = 0;
      position::make_move(pos, move);
      ++plies;
    }
  }
  std::vector<BookEntry> book;
  for (const auto& [key, records] : positions)
    for (const BookEntry& e : book::entries_for_position(records.data(), records.size())) book.push_back(e);
  return entries_of(book);
}

TEST(BookBuild, RealGames) {
  std::string dir = std::string(NESK_TESTDATA) + "/pgn";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no PGN test data at " << dir;
  std::string all, chess960;
  for (const auto& file : std::filesystem::directory_iterator(dir)) {
    std::stringstream text;
    text << std::ifstream(file.path(), std::ios::binary).rdbuf();
    all += text.str() + "\n";
    if (file.path().filename() == "cutechess-fischerrandom.pgn") chess960 = text.str() + "\n";
  }
  ASSERT_FALSE(chess960.empty());
  // Five copies of every game: the moves of winners and of drawn games reach the book.
  std::string five = all + all + all + all + all;
  Entries expected = expected_book(five), built = build(five).entries;
  ASSERT_GT(expected.size(), 100u);
  EXPECT_EQ(built, expected);
  for (size_t i = 1; i < built.size(); ++i) {
    auto [key, move, weight] = built[i];
    auto [last_key, last_move, last_weight] = built[i - 1];
    EXPECT_TRUE(last_key < key || (last_key == key && last_weight >= weight)) << "out of order at " << i;
  }
  // The Chess960 games all start from FEN tags: read, counted, and not one move taken.
  Built fischer = build(chess960 + chess960 + chess960 + chess960 + chess960);
  EXPECT_NE(fischer.output.find("nmoves= 0\nbook contains 0 moves\n"), std::string::npos) << fischer.output;
  EXPECT_TRUE(fischer.written && fischer.entries.empty());
}

}  // namespace
