#include "match/board.h"

#include <algorithm>
#include <sstream>

#include "position/bitboard.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/movegen.h"
#include "position/notation.h"

namespace match {

using namespace position;

namespace {

// Standard castling and UCI promotion letters: the text the engines under test speak.
constexpr MoveStyle kEngineMoveStyle{};

constexpr Bitboard kDarkSquares = 0xAA55AA55AA55AA55ULL;

bool is_castling(const Position& pos, Move move) {
  return type_of(pos.board[move_from(move)]) == kKing && (move & kFlagMask);
}

}  // namespace

Board::Board() : history_(std::make_unique<GameHistory>()) {
  pos_.game = history_.get();
  set_up(kStartFen);
}

bool Board::set_up(const std::string& fen) {
  Position scratch{};
  scratch.game = history_.get();
  if (set_position(scratch, fen.c_str()) != 0) return false;
  pos_ = scratch;
  // The full-move number, when the text has one: the sixth field.
  std::istringstream in(fen);
  std::string field;
  fullmove_ = 1;
  for (int i = 0; i < 6 && in >> field; ++i)
    if (i == 5 && field.find_first_not_of("0123456789") == std::string::npos && field.size() < 6)
      fullmove_ = std::max(1, std::stoi(field));
  halfmove_ = pos_.rule50;
  keys_.assign(1, pos_.key);
  return true;
}

std::vector<Move> Board::legal_moves() const {
  MoveEntry list[kMaxMoves];
  generate_all_moves(pos_, list);
  std::vector<Move> moves;
  for (MoveEntry* e = list; e->move != kListEnd; ++e)
    if (move_is_legal(pos_, pos_.side, e->move)) moves.push_back(e->move);
  return moves;
}

std::string Board::coordinate(Move move) const {
  int from = move_from(move), to = move_to(move);
  int type = type_of(pos_.board[from]);
  if (is_castling(pos_, move)) to = make_square((move & kFlagKingSide) ? 6 : 2, rank_of(from));
  std::string text = std::string(kSquareNames[from]) + kSquareNames[to];
  if (type == kPawn && (rank_of(to) == 0 || rank_of(to) == 7)) text += " pnbrq"[promotion_type(move)];
  return text;
}

bool Board::read_coordinate_move(const std::string& text, Move& move) const {
  for (Move m : legal_moves()) {
    if (coordinate(m) == text) {
      move = m;
      return true;
    }
  }
  return false;
}

bool Board::read_any_move(const std::string& text, Move& move) const {
  if (read_coordinate_move(text, move)) return true;
  return text_to_move(pos_, text.c_str(), move, kEngineMoveStyle) == 1;
}

std::string Board::play(Move move) {
  char coordinate_form[16], san[16], file_form[16], rank_form[16];
  san_forms(pos_, move, coordinate_form, san, file_form, rank_form, kEngineMoveStyle);
  std::string text = san;
  bool irreversible = type_of(pos_.board[move_from(move)]) == kPawn || (pos_.board[move_to(move)] && !is_castling(pos_, move));

  // Long games restart the undo records from the current position; repetitions are
  // found in keys_, which this does not touch.
  if (history_->undo_index > kMaxGameMoves - 2) {
    Position scratch{};
    scratch.game = history_.get();
    char buffer[128];
    write_fen(pos_, buffer, 0);
    std::string again = std::string(buffer) + " " + std::to_string(halfmove_) + " 1";
    if (set_position(scratch, again.c_str()) == 0) pos_ = scratch;
  }
  if (pos_.side == kBlack) ++fullmove_;
  make_move(pos_, move);
  halfmove_ = irreversible ? 0 : halfmove_ + 1;
  if (irreversible) keys_.clear();
  keys_.push_back(pos_.key);
  if (rule_end() == RuleEnd::kCheckmate && !text.empty() && text.back() == '+') text.back() = '#';
  return text;
}

bool Board::in_check() const {
  return square_attacked(pos_, pos_.king_square[pos_.side], pos_.side ^ 1) != 0;
}

bool Board::cannot_mate(int colour) const {
  const Bitboard* own = pos_.pieces[colour];
  if (own[kPawn] | own[kRook] | own[kQueen]) return false;
  return popcount(own[kKnight] | own[kBishop]) <= 1;
}

RuleEnd Board::rule_end() const {
  if (legal_moves().empty()) return in_check() ? RuleEnd::kCheckmate : RuleEnd::kStalemate;
  if (halfmove_ >= 100) return RuleEnd::kFiftyMoves;
  int seen = 0;
  for (size_t i = keys_.size(); i-- > 0;)
    if (keys_[i] == pos_.key && (keys_.size() - 1 - i) % 2 == 0) ++seen;
  if (seen >= 3) return RuleEnd::kRepetition;

  // No mate is possible by any series of legal moves: at most one minor piece on the
  // board, or only bishops, all on squares of one colour.
  Bitboard heavy_or_pawn = 0, knights = 0, bishops = 0;
  for (int c = kWhite; c <= kBlack; ++c) {
    heavy_or_pawn |= pos_.pieces[c][kPawn] | pos_.pieces[c][kRook] | pos_.pieces[c][kQueen];
    knights |= pos_.pieces[c][kKnight];
    bishops |= pos_.pieces[c][kBishop];
  }
  if (!heavy_or_pawn) {
    if (popcount(knights | bishops) <= 1) return RuleEnd::kInsufficientMaterial;
    if (!knights && (!(bishops & kDarkSquares) || !(bishops & ~kDarkSquares))) return RuleEnd::kInsufficientMaterial;
  }
  return RuleEnd::kNone;
}

std::string Board::fen() const {
  char buffer[128];
  write_fen(pos_, buffer, 0);
  return std::string(buffer) + " " + std::to_string(halfmove_) + " " + std::to_string(fullmove_);
}

}  // namespace match
