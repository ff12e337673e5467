// The referee's board: the game's position from its start, strict reading of the
// engines' coordinate moves, SAN for the record, and the ends the rules decide.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "position/position.h"

namespace match {

enum class RuleEnd { kNone, kCheckmate, kStalemate, kFiftyMoves, kRepetition, kInsufficientMaterial };

class Board {
 public:
  Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // Sets up a FEN (the move counters optional); false when it is no playable position.
  bool set_up(const std::string& fen);

  // The legal move that `text` names in coordinate form ("e2e4", "e7e8q", "e1g1"), or
  // false. Nothing looser is accepted: this reads what the engines play.
  bool read_coordinate_move(const std::string& text, position::Move& move) const;
  // The legal move that `text` names in any form the position layer reads (SAN too), for
  // opening lines.
  bool read_any_move(const std::string& text, position::Move& move) const;
  // The coordinate text of a legal move.
  std::string coordinate(position::Move move) const;
  // Plays a legal move and returns its SAN ("Nf3", "exd5", "O-O", "e8=Q+", "Qh5#").
  std::string play(position::Move move);

  RuleEnd rule_end() const;
  int side_to_move() const { return pos_.side; }
  int fullmove_number() const { return fullmove_; }
  // The FEN with its counters.
  std::string fen() const;
  bool in_check() const;
  // True when `colour` has too little left to mate by any series of legal moves: a bare
  // king, or a king and one knight or bishop with no pawn.
  bool cannot_mate(int colour) const;
  const position::Position& position() const { return pos_; }

 private:
  std::vector<position::Move> legal_moves() const;

  std::unique_ptr<position::GameHistory> history_;
  position::Position pos_{};
  int fullmove_ = 1;
  // Plies since the last capture or pawn move, by the rules (the position layer's own
  // counter also restarts at castling).
  int halfmove_ = 0;
  // The keys since the last capture or pawn move, for repetitions; the history's records
  // are only for take-back room and are restarted on long games.
  std::vector<uint64_t> keys_;
};

}  // namespace match
