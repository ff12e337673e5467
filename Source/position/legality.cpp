#include "position/legality.h"

#include "position/bitboard.h"
#include "position/movegen.h"

namespace position {

Bitboard attackers_of(const Bitboard own[8], int colour, int square, Bitboard occupancy) {
  Bitboard hits = (pawn_attacks[colour ^ 1][square] & own[kPawn]) | (knight_attacks[square] & own[kKnight]) |
                  (king_attacks[square] & own[kKing]);
  Bitboard diagonal = own[kBishop] | own[kQueen];
  Bitboard straight = own[kRook] | own[kQueen];
  if (bishop_mask[square] & diagonal) hits |= bishop_attacks(square, occupancy) & diagonal;
  if (rook_mask[square] & straight) hits |= rook_attacks(square, occupancy) & straight;
  return hits & occupancy;
}

namespace {

int castling_is_legal(const Position& pos, int side, int from, Move move) {
  int destination = make_square((move & kFlagKingSide) ? 6 : 2, rank_of(from));
  int rook = pos.castle_rook[2 * side + ((move & kFlagKingSide) ? 0 : 1)];
  Bitboard occupancy = pos.occupancy() & ~bit(rook);
  const Bitboard* enemy = pos.pieces[side ^ 1];
  int step = destination > from ? 1 : -1;
  for (int s = from;; s += step) {
    if (attackers_of(enemy, side ^ 1, s, occupancy)) return 0;
    if (s == destination) return 1;
  }
}

}  // namespace

int move_is_legal(const Position& pos, int side, Move move) {
  if (move == kNoMove) return 0;
  int from = move_from(move), to = move_to(move);
  int mover = type_of(pos.board[from]);
  if (mover == kKing && (move & kFlagMask)) return castling_is_legal(pos, side, from, move);

  int king = mover == kKing ? to : pos.king_square[side];
  Bitboard removed = bit(to);  // whatever stands there is captured
  Bitboard occupancy = (pos.occupancy() & ~bit(from)) | bit(to);
  if (mover == kPawn && to == pos.ep_square) {
    int victim = to + (side == kWhite ? -8 : 8);
    removed |= bit(victim);
    occupancy &= ~bit(victim);
  }
  return (attackers_of(pos.pieces[side ^ 1], side ^ 1, king, occupancy) & ~removed) == 0;
}

int gives_check(const Position& pos, int side, const MoveEntry& entry) {
  Move move = entry.move;
  int from = move_from(move), to = move_to(move);
  if (from == to) return 0;
  int mover = type_of(pos.board[from]);
  int enemy_king = pos.king_square[side ^ 1];
  Bitboard own[8];
  for (int t = 0; t < 8; ++t) own[t] = pos.pieces[side][t];
  Bitboard occupancy = pos.occupancy() & ~bit(from);

  if (mover == kKing && (move & kFlagMask)) {
    int index = 2 * side + ((move & kFlagKingSide) ? 0 : 1);
    int rook_from = pos.castle_rook[index];
    int king_to = make_square((move & kFlagKingSide) ? 6 : 2, rank_of(from));
    int rook_to = (move & kFlagKingSide) ? king_to - 1 : king_to + 1;
    occupancy = (occupancy & ~bit(rook_from)) | bit(king_to) | bit(rook_to);
    own[kRook] = (own[kRook] & ~bit(rook_from)) | bit(rook_to);
    return attackers_of(own, side, enemy_king, occupancy) != 0;
  }

  int checking_type = mover;
  if (mover == kPawn && (move & kFlagMask)) checking_type = promotion_type(move);
  if (mover == kPawn && to == pos.ep_square) occupancy &= ~bit(to + (side == kWhite ? -8 : 8));
  own[mover] &= ~bit(from);
  own[checking_type] |= bit(to);
  occupancy |= bit(to);
  return attackers_of(own, side, enemy_king, occupancy) != 0;
}

int is_legal_move(const Position& pos, Move move) {
  if (move == kNoMove || move == kListEnd) return 0;
  MoveEntry list[kMaxMoves];
  generate_all_moves(pos, list);
  for (const MoveEntry* e = list; e->move != kListEnd; ++e)
    if (e->move == move) return move_is_legal(pos, pos.side, move);
  return 0;
}

}  // namespace position
