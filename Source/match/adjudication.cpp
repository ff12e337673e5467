#include "match/adjudication.h"

#include "base/settings.h"
#include "position/bitboard.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbsearch.h"

namespace match {

namespace {

// A mate score counts as far beyond any resign threshold.
constexpr int kMateCentipawns = 100000;

int centipawns(const EngineScore& s) {
  if (!s.mate) return s.value;
  return s.value > 0 ? kMateCentipawns : -kMateCentipawns;
}

// A probe depth past every depth test of the tables.
constexpr int kProbeEveryDepth = 100;

}  // namespace

void Adjudicator::record(int colour, const EngineScore& score) {
  if (!score.known) {
    losing_run_[colour] = winning_run_[colour] = drawish_run_[colour] = 0;
    return;
  }
  int cp = centipawns(score);
  losing_run_[colour] = config_.resign.move_count && cp <= -config_.resign.score ? losing_run_[colour] + 1 : 0;
  winning_run_[colour] = config_.resign.move_count && cp >= config_.resign.score ? winning_run_[colour] + 1 : 0;
  drawish_run_[colour] = cp <= config_.draw.score && cp >= -config_.draw.score ? drawish_run_[colour] + 1 : 0;
}

Verdict Adjudicator::judge(const Board& board, std::string& reason) const {
  const position::Position& pos = board.position();
  if (!config_.tb_paths.empty()) {
    int men = position::popcount(pos.occupancy());
    int most = config_.tb_men ? config_.tb_men : 32;
    if (men <= most) {
      int wdl = tablebase::tb_probe_search(pos, kProbeEveryDepth);
      if (wdl >= 0) {
        // 0 loss .. 4 win for the side to move; a cursed win or blessed loss is a draw
        // under the fifty-move rule.
        if (wdl == 2 || wdl == 1 || wdl == 3) {
          reason = "Draw by tablebase";
          return Verdict::kDraw;
        }
        bool white_wins = (wdl == 4) == (pos.side == position::kWhite);
        reason = white_wins ? "White wins by tablebase" : "Black wins by tablebase";
        return white_wins ? Verdict::kWhiteWins : Verdict::kBlackWins;
      }
    }
  }
  const ResignRule& r = config_.resign;
  if (r.move_count) {
    for (int colour = 0; colour < 2; ++colour) {
      if (losing_run_[colour] < r.move_count) continue;
      if (r.two_sided && winning_run_[colour ^ 1] < r.move_count) continue;
      reason = colour == position::kWhite ? "White resigns" : "Black resigns";
      return colour == position::kWhite ? Verdict::kBlackWins : Verdict::kWhiteWins;
    }
  }
  const DrawRule& d = config_.draw;
  if (d.move_count && board.fullmove_number() >= d.move_number && drawish_run_[0] >= d.move_count &&
      drawish_run_[1] >= d.move_count) {
    reason = "Draw by adjudication";
    return Verdict::kDraw;
  }
  if (config_.max_moves && board.fullmove_number() > config_.max_moves) {
    reason = "Draw by move limit";
    return Verdict::kDraw;
  }
  return Verdict::kNone;
}

int load_tablebases(const std::string& paths) {
  base::settings.syzygy_path = paths.c_str();
  tablebase::tb_init();
  return tablebase::TB_LARGEST;
}

}  // namespace match
