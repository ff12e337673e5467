#include "match/pgn.h"

#include <ctime>

#include "match/board.h"

namespace match {

namespace {

constexpr size_t kLineWidth = 79;

// Quotes and backslashes inside a tag value are escaped.
std::string tag(const std::string& name, const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "[" + name + " \"" + escaped + "\"]\n";
}

}  // namespace

std::string pgn_date() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof(text), "%Y.%m.%d", &local);
  return text;
}

std::string format_pgn(const GameRecord& game, const std::string& event, const std::string& date) {
  std::string text = tag("Event", event) + tag("Site", "?") + tag("Date", date) + tag("Round", std::to_string(game.round)) +
                     tag("White", game.white) + tag("Black", game.black) + tag("Result", result_text(game.result));
  if (game.start_fen != Board().fen()) text += tag("FEN", game.start_fen) + tag("SetUp", "1");
  text += tag("TimeControl", game.time_control) + tag("PlyCount", std::to_string(game.moves.size())) +
          tag("Termination", game.termination) + "\n";

  // Words are wrapped into lines; a comment stays whole on one line.
  std::string line;
  auto put = [&](const std::string& word) {
    if (!line.empty() && line.size() + 1 + word.size() > kLineWidth) {
      text += line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  };
  int fullmove = game.first_fullmove;
  bool black = game.black_starts;
  for (size_t i = 0; i < game.moves.size(); ++i) {
    if (!black) put(std::to_string(fullmove) + ".");
    else if (i == 0) put(std::to_string(fullmove) + "...");
    put(game.moves[i].san);
    if (!game.moves[i].comment.empty()) put("{" + game.moves[i].comment + "}");
    if (black) ++fullmove;
    black = !black;
  }
  if (!game.reason.empty()) put("{" + game.reason + "}");
  put(result_text(game.result));
  text += line + "\n\n";
  return text;
}

PgnWriter::~PgnWriter() {
  if (file_) std::fclose(file_);
}

bool PgnWriter::open(const std::string& file) {
  file_ = std::fopen(file.c_str(), "a");
  return file_ != nullptr;
}

void PgnWriter::write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  std::fputs(text.c_str(), file_);
  std::fflush(file_);
}

}  // namespace match
