#include "match/openings.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "match/board.h"
#include "position/position.h"

namespace match {

namespace {

bool is_number(const std::string& word) {
  return !word.empty() && word.size() < 7 && word.find_first_not_of("0123456789") == std::string::npos;
}

// The first four FEN fields of an EPD line, with the counters when they follow.
std::string epd_to_fen(const std::string& line) {
  std::istringstream in(line);
  std::string field, fen;
  for (int i = 0; i < 4 && in >> field; ++i) fen += (i ? " " : "") + field;
  std::string halfmove, fullmove;
  if (in >> halfmove >> fullmove && is_number(halfmove) && is_number(fullmove)) return fen + " " + halfmove + " " + fullmove;
  return fen + " 0 1";
}

// Moves of a line in PGN-like text: move numbers ("1.", "12...", "3.e4"), results and
// comments in braces are passed over.
bool read_move_line(const std::string& line, int plies, Opening& opening) {
  Board board;
  opening.fen = board.fen();
  std::istringstream in(line);
  std::string word;
  bool in_comment = false;
  while (in >> word) {
    if (in_comment || word[0] == '{') {
      in_comment = word.back() != '}';
      continue;
    }
    if (word == "1-0" || word == "0-1" || word == "1/2-1/2" || word == "*") break;
    size_t dots = word.find_last_of('.');
    if (dots != std::string::npos) word = word.substr(dots + 1);
    if (word.empty()) continue;
    if (plies && static_cast<int>(opening.moves.size()) == plies) break;
    position::Move move;
    if (!board.read_any_move(word, move)) return false;
    opening.moves.push_back(board.coordinate(move));
    board.play(move);
    if (board.rule_end() != RuleEnd::kNone) return false;
  }
  return true;
}

bool looks_like_epd(const std::string& file, const std::string& first_line) {
  auto ends_with = [&](const char* tail) {
    std::string t = tail;
    return file.size() >= t.size() && file.compare(file.size() - t.size(), t.size(), t) == 0;
  };
  if (ends_with(".epd") || ends_with(".fen")) return true;
  return std::count(first_line.begin(), first_line.end(), '/') == 7;
}

}  // namespace

bool OpeningBook::load(const OpeningSource& source, std::string& error) {
  openings_.clear();
  if (source.file.empty()) {
    openings_.push_back({Board().fen(), {}});
  } else {
    std::ifstream in(source.file);
    if (!in) {
      error = "cannot read " + source.file;
      return false;
    }
    std::string line;
    int number = 0;
    bool epd = source.format == OpeningSource::Format::kEpd;
    bool decided = source.format != OpeningSource::Format::kAuto;
    Board board;
    while (std::getline(in, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#' || line[0] == '[') continue;
      if (!decided) epd = looks_like_epd(source.file, line), decided = true;
      Opening opening;
      bool good;
      if (epd) {
        opening.fen = epd_to_fen(line);
        good = board.set_up(opening.fen) && board.rule_end() == RuleEnd::kNone;
      } else {
        good = read_move_line(line, source.plies, opening);
      }
      if (!good) {
        error = source.file + " line " + std::to_string(number) + ": not a playable opening";
        return false;
      }
      openings_.push_back(std::move(opening));
    }
    if (openings_.empty()) {
      error = "no openings in " + source.file;
      return false;
    }
  }
  order_.resize(openings_.size());
  for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
  if (source.random) {
    // Fisher-Yates with the 64-bit Mersenne twister, whose output the standard fixes, so a
    // seed gives the same order everywhere.
    std::mt19937_64 random(source.seed);
    for (size_t i = order_.size(); i > 1; --i) std::swap(order_[i - 1], order_[random() % i]);
  }
  first_ = static_cast<size_t>(source.start > 0 ? source.start - 1 : 0) % order_.size();
  return true;
}

const Opening& OpeningBook::for_round(int64_t round) const {
  return openings_[order_[(first_ + static_cast<size_t>(round)) % order_.size()]];
}

}  // namespace match
