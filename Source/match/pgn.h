// Games as PGN text, and a file that several threads append whole games to.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "match/game.h"

namespace match {

// The game's PGN: the seven tags, FEN and SetUp when it starts elsewhere than the start
// position, the time control, ply count and termination; moves with their comments,
// the reason the game ended and the result.
std::string format_pgn(const GameRecord& game, const std::string& event, const std::string& date);

// Today's date as PGN writes it, "2024.05.31".
std::string pgn_date();

class PgnWriter {
 public:
  ~PgnWriter();
  bool open(const std::string& file);
  void write(const std::string& text);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

}  // namespace match
