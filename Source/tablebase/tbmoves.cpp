#include "tablebase/tbmoves.h"

#include "position/bitboard.h"

namespace tablebase {

namespace {

using position::Bitboard;

Bitboard own_pieces(const TBPosition& pos) { return pos.turn ? pos.white : pos.black; }
Bitboard enemy_pieces(const TBPosition& pos) { return pos.turn ? pos.black : pos.white; }

// Squares attacked by the pieces of `colour` (1 = white) among `occupied`.
bool attacked_by(const TBPosition& pos, int square, int colour) {
  Bitboard them = colour ? pos.white : pos.black;
  Bitboard occupied = pos.white | pos.black;
  if (position::king_attacks[square] & pos.kings & them) return true;
  if (position::knight_attacks[square] & pos.knights & them) return true;
  // A white pawn attacks the square when the square, seen as a black pawn, attacks it.
  if (position::pawn_attacks[colour ? position::kBlack : position::kWhite][square] & pos.pawns & them) return true;
  if (position::bishop_attacks(square, occupied) & (pos.bishops | pos.queens) & them) return true;
  return (position::rook_attacks(square, occupied) & (pos.rooks | pos.queens) & them) != 0;
}

TBMove* add_targets(int from, Bitboard targets, TBMove* moves) {
  while (targets) *moves++ = tb_move(from, position::pop_lsb(targets));
  return moves;
}

TBMove* add_pawn_move(int from, int to, TBMove* moves) {
  if (to < 8 || to >= 56) {
    for (int promotion = 1; promotion <= 4; ++promotion) *moves++ = tb_move(from, to, promotion);
  } else {
    *moves++ = tb_move(from, to);
  }
  return moves;
}

Bitboard piece_attacks(const TBPosition& pos, int square, Bitboard occupied) {
  Bitboard b = position::bit(square);
  if (pos.knights & b) return position::knight_attacks[square];
  if (pos.kings & b) return position::king_attacks[square];
  Bitboard attacks = 0;
  if ((pos.bishops | pos.queens) & b) attacks |= position::bishop_attacks(square, occupied);
  if ((pos.rooks | pos.queens) & b) attacks |= position::rook_attacks(square, occupied);
  return attacks;
}

// Pseudo-legal moves whose to-squares lie in `targets`; pawn pushes only when `pushes`.
TBMove* generate(const TBPosition& pos, TBMove* moves, Bitboard targets, bool pushes) {
  Bitboard us = own_pieces(pos);
  Bitboard occupied = pos.white | pos.black;
  int colour = pos.turn ? position::kWhite : position::kBlack;
  for (Bitboard pieces = us & ~pos.pawns; pieces;) {
    int from = position::pop_lsb(pieces);
    moves = add_targets(from, piece_attacks(pos, from, occupied) & targets, moves);
  }
  int forward = pos.turn ? 8 : -8;
  for (Bitboard pawns = us & pos.pawns; pawns;) {
    int from = position::pop_lsb(pawns);
    Bitboard captures = position::pawn_attacks[colour][from] & targets & enemy_pieces(pos);
    while (captures) moves = add_pawn_move(from, position::pop_lsb(captures), moves);
    if (pos.ep && (position::pawn_attacks[colour][from] & position::bit(pos.ep)))
      *moves++ = tb_move(from, pos.ep);
    if (!pushes) continue;
    int to = from + forward;
    if (to < 0 || to > 63 || (occupied & position::bit(to))) continue;
    moves = add_pawn_move(from, to, moves);
    int start_rank = pos.turn ? 1 : 6;
    int double_to = to + forward;
    if (position::rank_of(from) == start_rank && !(occupied & position::bit(double_to)))
      *moves++ = tb_move(from, double_to);
  }
  return moves;
}

void remove_piece(TBPosition& pos, Bitboard b) {
  pos.white &= ~b;
  pos.black &= ~b;
  pos.kings &= ~b;
  pos.queens &= ~b;
  pos.rooks &= ~b;
  pos.bishops &= ~b;
  pos.knights &= ~b;
  pos.pawns &= ~b;
}

uint64_t* type_board(TBPosition& pos, Bitboard b) {
  if (pos.pawns & b) return &pos.pawns;
  if (pos.knights & b) return &pos.knights;
  if (pos.bishops & b) return &pos.bishops;
  if (pos.rooks & b) return &pos.rooks;
  if (pos.queens & b) return &pos.queens;
  return &pos.kings;
}

}  // namespace

TBMove* tb_gen_captures(const TBPosition& pos, TBMove* moves) {
  return generate(pos, moves, enemy_pieces(pos), false);
}

TBMove* tb_gen_moves(const TBPosition& pos, TBMove* moves) {
  return generate(pos, moves, ~own_pieces(pos), true);
}

int tb_is_check(const TBPosition& pos) {
  Bitboard king = pos.kings & own_pieces(pos);
  return king && attacked_by(pos, position::lsb(king), pos.turn ^ 1);
}

int tb_is_en_passant(const TBPosition& pos, TBMove move) {
  return pos.ep && tb_move_to(move) == pos.ep && (pos.pawns & position::bit(tb_move_from(move)));
}

int tb_is_capture(const TBPosition& pos, TBMove move) {
  return (enemy_pieces(pos) & position::bit(tb_move_to(move))) != 0 || tb_is_en_passant(pos, move);
}

int tb_is_pawn_move(const TBPosition& pos, TBMove move) {
  return (pos.pawns & position::bit(tb_move_from(move))) != 0;
}

int tb_do_move(TBPosition& child, const TBPosition& pos, TBMove move) {
  int from = tb_move_from(move), to = tb_move_to(move);
  Bitboard from_bit = position::bit(from), to_bit = position::bit(to);
  child = pos;
  bool pawn = (pos.pawns & from_bit) != 0;
  bool zeroing = pawn || (enemy_pieces(pos) & to_bit);
  if (tb_is_en_passant(pos, move)) remove_piece(child, position::bit(pos.turn ? to - 8 : to + 8));
  remove_piece(child, to_bit);
  uint64_t* type = type_board(child, from_bit);
  *type ^= from_bit;
  switch (tb_move_promotion(move)) {
    case 1: type = &child.queens; break;
    case 2: type = &child.rooks; break;
    case 3: type = &child.bishops; break;
    case 4: type = &child.knights; break;
    default: break;
  }
  *type |= to_bit;
  uint64_t& us = pos.turn ? child.white : child.black;
  us = (us ^ from_bit) | to_bit;
  child.ep = 0;
  if (pawn && (to ^ from) == 16) {
    // Only a square an enemy pawn can actually take on counts, as in the table files.
    int passed = (from + to) / 2;
    int colour = pos.turn ? position::kWhite : position::kBlack;
    if (position::pawn_attacks[colour][passed] & child.pawns & (pos.turn ? child.black : child.white))
      child.ep = static_cast<uint8_t>(passed);
  }
  child.rule50 = zeroing ? 0 : static_cast<uint8_t>(pos.rule50 + 1 > 255 ? 255 : pos.rule50 + 1);
  child.turn = pos.turn ^ 1;
  Bitboard king = child.kings & (pos.turn ? child.white : child.black);
  return !(king && attacked_by(child, position::lsb(king), child.turn));
}

int tb_has_legal_move(const TBPosition& pos) {
  TBMove moves[kMaxTBMoves];
  TBMove* end = tb_gen_moves(pos, moves);
  TBPosition child;
  for (TBMove* m = moves; m < end; ++m)
    if (tb_do_move(child, pos, *m)) return 1;
  return 0;
}

int is_mate(const TBPosition& pos) { return tb_is_check(pos) && !tb_has_legal_move(pos); }

}  // namespace tablebase
