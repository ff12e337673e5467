#include "tools/pgn_load.h"

#include <cstring>
#include <memory>

#include "base/settings.h"
#include "book/pgn_reader.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/position.h"
#include "tools/printable.h"

namespace tools {

namespace {

// Far beyond any real game; keeps a file that is no PGN at all from filling the memory.
constexpr size_t kMaxGameText = size_t{1} << 20;
constexpr size_t kMinFenLength = 11;

}  // namespace

std::string read_tagged_game(std::FILE* file, const char* tag) {
  auto lines = std::make_unique<book::PgnLines>(file, kMaxGameText);
  std::string line, text;
  bool found = false, previous_header = false;
  while (lines->next(line)) {
    bool header = !line.empty() && line[0] == '[';
    if (!found) {
      if (!header || line.find(tag) == std::string::npos) continue;
      found = true;
    } else if (header && !previous_header) {
      break;  // the next game's first header
    }
    previous_header = header;
    if (text.size() + line.size() < kMaxGameText) {
      text += line;
      text += ' ';
    }
  }
  return text;
}

int replay_pgn_game(const PgnGame& game, position::Position& pos) {
  const char* fen = game.fen.size() >= kMinFenLength ? game.fen.c_str() : position::kStartFen;
  if (position::set_position(pos, fen) != 0) return -1;
  int made = 0;
  const position::MoveStyle style{base::settings.chess960 != 0, base::settings.uci_mode != 0};
  for (const std::string& text : game.moves) {
    if (pos.game->undo_index >= position::kMaxGameMoves) break;  // room left for a search
    position::Move move;
    if (!position::text_to_move(pos, text.c_str(), move, style)) {
      char now[128];
      position::write_fen(pos, now, 0);
      std::printf("can't parse move %d. %s in game #%d  %s\n", made / 2 + 1, printable(text).c_str(), game.number, now);
      break;
    }
    position::make_move(pos, move);
    ++made;
  }
  return made;
}

}  // namespace tools
