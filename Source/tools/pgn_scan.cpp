#include "tools/pgn_scan.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "book/pgn_reader.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/position.h"
#include "tools/tool_files.h"
#include "tools/output_file.h"
#include "tools/printable.h"
#include "tools/text_lines.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "base/settings.h"

namespace tools {

namespace {

constexpr int kFirstPly = 20;
constexpr int kFirstPlySetUp = 8;
constexpr int kLastPly = 240;
constexpr int kMaxMoveText = 7;
constexpr int kMate = 9900;
constexpr int kMaxEvaluation = 9000;
// A game's text beyond this, and a line's, is passed over (and the games so cut counted):
// no real game comes near it, and a file that is no PGN at all must not fill the memory.
constexpr size_t kMaxGameText = size_t{1} << 20;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The end of the token at `at`: a comment to its "}", a variation to the ")" that closes
// it (nested ones and comments inside included), a tag to its "]" (a "]" inside its
// quotes does not count), a quoted string to its quote, anything else to the next blank.
size_t token_end(std::string_view text, size_t at) {
  size_t n = text.size();
  auto after = [&](size_t from, char close) {
    size_t end = text.find(close, from);
    return end == std::string_view::npos ? n : end + 1;
  };
  switch (text[at]) {
    case '{':
      return after(at + 1, '}');
    case '"':
      return after(at + 1, '"');
    case '[': {
      size_t i = at + 1;
      for (bool quoted = false; i < n && (quoted || text[i] != ']'); ++i) quoted ^= text[i] == '"';
      return i < n ? i + 1 : n;
    }
    case '(': {
      size_t i = at;
      for (int depth = 0; i < n; ++i) {
        if (text[i] == '{') i = after(i + 1, '}') - 1;
        else if (text[i] == '(') ++depth;
        else if (text[i] == ')' && --depth == 0) return i + 1;
      }
      return n;
    }
    default: {
      size_t i = at;
      while (i < n && !is_blank(text[i])) ++i;
      return i;
    }
  }
}

// Name and value of a tag token "[Name "value"]".
void read_tag(std::string_view tag, std::string& name, std::string& value) {
  tag.remove_prefix(1);
  if (!tag.empty() && tag.back() == ']') tag.remove_suffix(1);
  size_t i = 0;
  while (i < tag.size() && is_blank(tag[i])) ++i;
  size_t start = i;
  while (i < tag.size() && !is_blank(tag[i]) && tag[i] != '"') ++i;
  name.assign(tag.substr(start, i - start));
  size_t open = tag.find('"', i), close = open == std::string_view::npos ? open : tag.rfind('"');
  value.assign(open == std::string_view::npos || close <= open ? tag.substr(i) : tag.substr(open + 1, close - open - 1));
}

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

bool is_result(std::string_view token) { return token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*"; }

}  // namespace

int comment_evaluation(std::string_view comment) {
  size_t slash = comment.find('/');
  std::string text(comment.substr(0, slash));
  if (contains(text, "book") || slash == std::string_view::npos || text.size() <= 2) return 0;
  if (contains(text, "-M")) return -kMate;
  if (contains(text, "+M")) return kMate;
  double pawns = std::atof(text.c_str());
  // Cut toward zero as the decimal text reads: 0.29 is 29, where binary floating point
  // alone would make it 28.99999... and so 28.
  double centipawns = std::trunc(pawns * 100 + (pawns < 0 ? -1e-7 : 1e-7));
  if (centipawns > kMaxEvaluation) return kMaxEvaluation;
  if (centipawns < -kMaxEvaluation) return -kMaxEvaluation;
  return static_cast<int>(centipawns);
}

void parse_pgn_game(PgnGame& game, std::string_view text) {
  ++game.number;
  game.result = 0;
  game.skipped = false;
  game.fen.clear();
  game.moves.clear();
  game.evaluations.clear();
  std::string name, value;
  for (size_t at = 0; at < text.size();) {
    if (is_blank(text[at])) {
      ++at;
      continue;
    }
    size_t end = token_end(text, at);
    std::string_view token = text.substr(at, end - at);
    at = end;
    if (token[0] == '[') {
      read_tag(token, name, value);
      if (name == "Result") game.result = contains(value, "1-0") ? 1 : contains(value, "0-1") ? -1 : 0;
      if (name == "FEN") game.fen = value;
      if (name == "Termination" &&
          (contains(value, "unterminated") || contains(value, "time forfeit") || contains(value, "abandoned"))) {
        game.skipped = true;
        return;
      }
      size_t eval = value.find("eval=");
      if (name == "Annotator" && eval != std::string::npos) game.eval_flag = std::atoi(value.c_str() + eval + 5);
    } else if (token[0] == '{') {
      if (!game.evaluations.empty()) game.evaluations.back() = comment_evaluation(token.substr(1));
    } else if (token[0] != '(' && token[0] != '"' && token[0] != '$' && !is_result(token)) {
      // Move numbers glued to the move ("12.e4", "12...Nf3") and glyphs behind it go;
      // castling with zeros stays a move.
      char move_text[24];
      std::string word(token);
      if (!book::pgn_move_text(word.c_str(), move_text) || !(is_letter(move_text[0]) || move_text[0] == '0')) continue;
      std::string kept;
      for (const char* c = move_text; *c && kept.size() < kMaxMoveText; ++c)
        if (*c != '+' && *c != '#' && *c != '=') kept.push_back(*c);
      game.moves.push_back(kept);
      game.evaluations.push_back(0);
      if (static_cast<int>(game.moves.size()) == kMaxPgnMoves) return;
    }
  }
}

bool pgn_game_to_epd(const PgnGame& game, std::string& out) {
  auto history = std::make_unique<position::GameHistory>();
  position::Position pos;
  pos.game = history.get();
  pos.side = position::kWhite;
  bool set_up = game.fen.size() >= 11;
  if (position::set_position(pos, set_up ? game.fen.c_str() : position::kStartFen) != 0) return false;
  int moves = static_cast<int>(game.moves.size());
  if (moves == 0) return true;
  int first = set_up ? kFirstPlySetUp : kFirstPly;
  char fen[128], line[192];
  const position::MoveStyle style{base::settings.chess960 != 0, base::settings.uci_mode != 0};
  for (int k = 0;; ++k) {
    if (k >= first) {
      position::write_fen(pos, fen, 0);
      if (game.eval_flag) {
        std::snprintf(line, sizeof line, "%s\n", fen);
      } else {
        double white = game.result > 0 ? 1.0 : game.result < 0 ? 0.0 : 0.5;
        std::snprintf(line, sizeof line, "%s ce %d; gr %0.1f;\n", fen, k < moves ? game.evaluations[k] : 0,
                      pos.side == position::kWhite ? white : 1 - white);
      }
      out += line;
    }
    if (k == moves) return true;
    position::Move move;
    if (!position::text_to_move(pos, game.moves[k].c_str(), move, style)) {
      position::write_fen(pos, fen, 0);
      std::printf("can't parse move %d. %s in game #%d  %s\n", k / 2 + 1, printable(game.moves[k]).c_str(), game.number,
                  fen);
      return false;
    }
    if (pos.game->undo_index >= position::kUndoCapacity - 1) return true;
    position::make_move(pos, move);
    if (k + 1 == kLastPly) return true;
  }
}

int scan_pgn_file(const ToolFiles& files) {
  const std::string& input = files.input;
  OutputChoice output = choose_output(files, kUsualEpdOutput);
  if (input.find(".pgn") == std::string::npos)
    return base::report_failure("cannot scan %s: the name of a PGN file contains .pgn", input.c_str());
  if (output.path.find(".epd") == std::string::npos)
    return base::report_failure("cannot write %s: the name of the EPD output contains .epd", output.path.c_str());
  InputFile file;
  OutputFile out;
  if (!open_run_files(file, input, out, output)) return base::kToolFailed;

  PgnGame game;
  std::string text, epd;
  int bad_setups = 0, cut_games = 0;
  bool cut = false;  // the game's text reached kMaxGameText: the rest of it is passed over
  auto finish_game = [&] {
    parse_pgn_game(game, text);
    text.clear();
    cut_games += cut;
    cut = false;
    if (game.skipped) return;
    epd.clear();
    bool ok = pgn_game_to_epd(game, epd);
    if (!ok && epd.empty() && game.fen.size() >= 11) ++bad_setups;
    out.write(epd);
  };
  {
    Progress progress("games");
    auto lines = std::make_unique<book::PgnLines>(file.get(), kMaxGameText);
    std::string line;
    bool previous_tag = false, first = true;
    uint64_t bytes = 0;
    while (lines->next(line)) {
      if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
      first = false;
      bytes += line.size() + 1;
      bool tag = !line.empty() && line[0] == '[';
      if (tag && !previous_tag && text.find_first_not_of(' ') != std::string::npos) {
        finish_game();
        progress.update(game.number, file.share(bytes));
      }
      previous_tag = tag;
      if (cut || lines->cut() || text.size() + line.size() >= kMaxGameText) {
        cut = true;
        continue;
      }
      text += line;
      text += ' ';
    }
    if (text.size() > 50) finish_game();
  }
  if (!file.finish_reading()) return base::kToolFailed;
  out.write("\n", 1);
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  if (bad_setups) std::printf("skipped %d games whose FEN tag is no position\n", bad_setups);
  if (cut_games) std::printf("cut %d games at 1 MB: their later text is not read\n", cut_games);
  std::printf("read %d games\n\n", game.number);
  return base::kToolSucceeded;
}

}  // namespace tools
