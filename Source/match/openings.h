// Opening positions from an EPD file (one position a line) or a file of move lists (one
// line of coordinate or SAN moves from the start position), in file order or shuffled
// by a seed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace match {

struct Opening {
  std::string fen;                 // the start of the game (with counters)
  std::vector<std::string> moves;  // coordinate moves from there, played as book moves
};

struct OpeningSource {
  std::string file;             // empty: every game starts from the start position
  enum class Format { kAuto, kEpd, kMoves } format = Format::kAuto;
  bool random = false;
  uint64_t seed = 0;
  int start = 1;                // the first opening used, counted from 1
  int plies = 0;                // cut move lists to this many plies; 0 keeps them whole
};

class OpeningBook {
 public:
  // Reads and checks every line; false with `error` naming the first bad line.
  bool load(const OpeningSource& source, std::string& error);
  size_t size() const { return openings_.size(); }
  // The opening of round `round` (from 0): the order's entries in turn, wrapping round.
  const Opening& for_round(int64_t round) const;

 private:
  std::vector<Opening> openings_;
  std::vector<uint32_t> order_;
  size_t first_ = 0;
};

}  // namespace match
