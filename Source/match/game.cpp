#include "match/game.h"

#include <cstdio>

#include "match/adjudication.h"
#include "match/board.h"
#include "match/time_control.h"

namespace match {

namespace {

const char* colour_name(int colour) { return colour == position::kWhite ? "White" : "Black"; }

GameResult win_for(int colour) { return colour == position::kWhite ? GameResult::kWhiteWins : GameResult::kBlackWins; }

std::string trimmed_seconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f", static_cast<double>(ms) / 1000);
  std::string s = text;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s += '0';
  return s;
}

std::string go_command(const Limits& mover, const Clock* const clocks[2], const Limits* const limits[2]) {
  std::string go = "go";
  if (mover.has_clock()) {
    // Each side's clock; a side without one is told nothing about it.
    static const char* const kTime[2] = {" wtime ", " btime "};
    static const char* const kIncrement[2] = {" winc ", " binc "};
    for (int c = 0; c < 2; ++c) {
      if (!limits[c]->has_clock()) continue;
      go += kTime[c] + std::to_string(clocks[c]->remaining_ms());
      go += kIncrement[c] + std::to_string(limits[c]->increment_ms);
    }
  }
  return go;
}

}  // namespace

const char* result_text(GameResult result) {
  switch (result) {
    case GameResult::kWhiteWins: return "1-0";
    case GameResult::kBlackWins: return "0-1";
    case GameResult::kDraw: return "1/2-1/2";
    default: return "*";
  }
}

std::string move_comment(const EngineScore& score, int64_t elapsed_ms) {
  char text[48];
  if (!score.known) {
    std::snprintf(text, sizeof(text), "0.00/%d", score.depth);
  } else if (score.mate) {
    std::snprintf(text, sizeof(text), "%sM%d/%d", score.value > 0 ? "+" : "-", score.value > 0 ? score.value : -score.value,
                  score.depth);
  } else {
    std::snprintf(text, sizeof(text), "%s%.2f/%d", score.value > 0 ? "+" : score.value < 0 ? "-" : "",
                  (score.value < 0 ? -score.value : score.value) / 100.0, score.depth);
  }
  return std::string(text) + " " + trimmed_seconds(elapsed_ms) + "s";
}

GameRecord play_game(UciEngine& white, UciEngine& black, const Opening& opening, const MatchConfig& config,
                     const std::atomic<bool>& stop) {
  GameRecord record;
  UciEngine* engines[2] = {&white, &black};
  record.white = white.setup().name;
  record.black = black.setup().name;
  record.time_control = pgn_time_control(white.setup().limits);

  Board board;
  board.set_up(opening.fen);
  record.start_fen = board.fen();
  record.first_fullmove = board.fullmove_number();
  record.black_starts = board.side_to_move() == position::kBlack;

  bool from_start = record.start_fen == Board().fen();
  std::string position_command = from_start ? "position startpos" : "position fen " + record.start_fen;
  std::string moves_text;
  auto add_move = [&](position::Move move, const std::string& comment) {
    moves_text += (moves_text.empty() ? " moves " : " ") + board.coordinate(move);
    record.moves.push_back({board.play(move), comment});
  };
  for (const std::string& text : opening.moves) {
    position::Move move;
    if (!board.read_coordinate_move(text, move)) break;  // checked when the book was read
    add_move(move, "book");
  }

  const Limits* limits[2] = {&white.setup().limits, &black.setup().limits};
  Clock white_clock(*limits[0]), black_clock(*limits[1]);
  Clock* clocks[2] = {&white_clock, &black_clock};
  Adjudicator adjudicator(config);

  auto finish = [&](GameResult result, const std::string& reason, const char* termination) {
    record.result = result;
    record.reason = reason;
    record.termination = termination;
    return record;
  };

  for (;;) {
    switch (board.rule_end()) {
      case RuleEnd::kCheckmate:
        return finish(win_for(board.side_to_move() ^ 1), std::string(colour_name(board.side_to_move() ^ 1)) + " mates",
                      "normal");
      case RuleEnd::kStalemate: return finish(GameResult::kDraw, "Draw by stalemate", "normal");
      case RuleEnd::kFiftyMoves: return finish(GameResult::kDraw, "Draw by fifty moves rule", "normal");
      case RuleEnd::kRepetition: return finish(GameResult::kDraw, "Draw by threefold repetition", "normal");
      case RuleEnd::kInsufficientMaterial: return finish(GameResult::kDraw, "Draw by insufficient material", "normal");
      case RuleEnd::kNone: break;
    }
    std::string reason;
    switch (adjudicator.judge(board, reason)) {
      case Verdict::kWhiteWins: return finish(GameResult::kWhiteWins, reason, "adjudication");
      case Verdict::kBlackWins: return finish(GameResult::kBlackWins, reason, "adjudication");
      case Verdict::kDraw: return finish(GameResult::kDraw, reason, "adjudication");
      case Verdict::kNone: break;
    }
    if (stop) return finish(GameResult::kUnfinished, "Match stopped", "unterminated");

    int side = board.side_to_move();
    std::string mover = colour_name(side);
    UciEngine& engine = *engines[side];
    const Limits& own = *limits[side];
    std::string go = go_command(own, clocks, limits);
    if (own.has_clock() && own.moves_per_period) go += " movestogo " + std::to_string(clocks[side]->moves_to_go());
    if (own.move_time_ms) go += " movetime " + std::to_string(own.move_time_ms);
    if (own.nodes) go += " nodes " + std::to_string(own.nodes);
    if (own.depth) go += " depth " + std::to_string(own.depth);

    int64_t wait = clocks[side]->wait_limit_ms(config.grace_ms, config.no_limit_ms);
    MoveReply reply = engine.go(position_command + moves_text, go, wait);
    GameResult loss = win_for(side ^ 1);
    if (reply.status == MoveReply::Status::kHang)
      return finish(loss, mover + "'s engine hangs: no move in " + trimmed_seconds(wait) + "s", "abandoned");
    if (reply.status == MoveReply::Status::kCrash)
      return finish(loss, mover + "'s engine crashed (" + reply.detail + ")", "abandoned");
    if (!clocks[side]->charge(reply.elapsed_ms)) {
      // Running out of time loses only where the opponent could still mate.
      if (board.cannot_mate(side ^ 1)) return finish(GameResult::kDraw, mover + " loses on time, but the opponent cannot mate", "time forfeit");
      return finish(loss, mover + " loses on time", "time forfeit");
    }
    position::Move move;
    if (!board.read_coordinate_move(reply.move, move))
      return finish(loss, mover + " makes an illegal move: " + reply.move, "rules infraction");
    add_move(move, move_comment(reply.score, reply.elapsed_ms));
    adjudicator.record(side, reply.score);
  }
}

}  // namespace match
