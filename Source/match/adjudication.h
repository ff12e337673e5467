// Ending a game early: by the engines' scores (resign and draw rules) and by endgame
// tablebases.
#pragma once

#include "match/board.h"
#include "match/config.h"
#include "match/uci_engine.h"

namespace match {

enum class Verdict { kNone, kWhiteWins, kBlackWins, kDraw };

class Adjudicator {
 public:
  explicit Adjudicator(const MatchConfig& config) : config_(config) {}

  // Records the score `colour`'s engine gave for its move, just played.
  void record(int colour, const EngineScore& score);
  // The verdict on the position after the last move (0 = nothing to rule), with the
  // reason for the record.
  Verdict judge(const Board& board, std::string& reason) const;

 private:
  const MatchConfig& config_;
  int losing_run_[2] = {0, 0};   // moves in a row at or below -resign score
  int winning_run_[2] = {0, 0};  // moves in a row at or above +resign score
  int drawish_run_[2] = {0, 0};  // moves in a row within the draw score
};

// Loads the tablebases of `paths`; returns the most men they cover (0 for none).
int load_tablebases(const std::string& paths);

}  // namespace match
