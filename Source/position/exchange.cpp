#include "position/exchange.h"

#include <algorithm>

#include "position/bitboard.h"

namespace position {

int least_valuable_attacker(const Position& pos, int square, int colour, Bitboard occupancy) {
  const Bitboard* own = pos.pieces[colour];
  if (Bitboard b = pawn_attacks[colour ^ 1][square] & own[kPawn] & occupancy) return lsb(b);
  if (Bitboard b = knight_attacks[square] & own[kKnight] & occupancy) return lsb(b);
  Bitboard diagonal = bishop_mask[square] & (own[kBishop] | own[kQueen]) & occupancy;
  Bitboard straight = rook_mask[square] & (own[kRook] | own[kQueen]) & occupancy;
  Bitboard diagonal_hits = diagonal ? bishop_attacks(square, occupancy) & diagonal : 0;
  Bitboard straight_hits = straight ? rook_attacks(square, occupancy) & straight : 0;
  if (Bitboard b = diagonal_hits & own[kBishop]) return lsb(b);
  if (Bitboard b = straight_hits & own[kRook]) return lsb(b);
  if (Bitboard b = (diagonal_hits | straight_hits) & own[kQueen]) return lsb(b);
  if (Bitboard b = king_attacks[square] & own[kKing] & occupancy) return lsb(b);
  return kNoSquare;
}

int see_recapture(const Position& pos, int colour, int square, int standing_type, Bitboard occupancy) {
  int attacker = least_valuable_attacker(pos, square, colour, occupancy);
  if (attacker == kNoSquare) return 0;
  if (standing_type == kKing) return kKingCapture;
  int reply = see_recapture(pos, colour ^ 1, square, type_of(pos.board[attacker]), occupancy & ~bit(attacker));
  return std::max(0, kExchangeValue[standing_type] - reply);
}

int see(const Position& pos, int side, int from, int to) {
  Bitboard occupancy = pos.occupancy();
  int victim = type_of(pos.board[to]);
  if (from == kNoSquare) {
    int attacker = least_valuable_attacker(pos, to, side, occupancy);
    if (attacker == kNoSquare) return 0;
    if (victim == kKing) return kKingCapture;
    int reply = see_recapture(pos, side ^ 1, to, type_of(pos.board[attacker]), occupancy & ~bit(attacker));
    return std::max(0, kExchangeValue[victim] - reply);
  }

  int mover = type_of(pos.board[from]);
  Bitboard without_mover = occupancy & ~bit(from);
  int opponent = least_valuable_attacker(pos, to, side ^ 1, without_mover);
  if (opponent == kNoSquare) return kExchangeValue[victim];
  if (mover == kKing) return kExchangeValue[victim] - kKingCapture;

  Bitboard without_opponent = without_mover & ~bit(opponent);
  int next = least_valuable_attacker(pos, to, side, without_opponent);
  if (next == kNoSquare) return kExchangeValue[victim] - kExchangeValue[mover];

  int opponent_type = type_of(pos.board[opponent]);
  int regained = opponent_type == kKing
                     ? kKingCapture
                     : std::max(0, kExchangeValue[opponent_type] - see_recapture(pos, side ^ 1, to,
                                                                                  type_of(pos.board[next]),
                                                                                  without_opponent & ~bit(next)));
  return kExchangeValue[victim] - std::max(0, kExchangeValue[mover] - regained);
}

}  // namespace position
