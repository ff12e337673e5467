#include "position/movegen.h"

#include "position/bitboard.h"

namespace position {

namespace {

constexpr Bitboard kFileA = 0x0101010101010101ULL;
constexpr Bitboard kFileH = kFileA << 7;
constexpr Bitboard kInnerRanks = 0x00FFFFFFFFFFFF00ULL;   // ranks 2..7
constexpr Bitboard kQuietPushRanks = 0x0000FFFFFFFF0000ULL;  // ranks 3..6
constexpr Bitboard kRank3 = 0xFFULL << 16;
constexpr Bitboard kRank6 = 0xFFULL << 40;

inline Bitboard rank_bits(int rank) { return 0xFFULL << (8 * rank); }

inline Bitboard shift(Bitboard b, int delta) { return delta > 0 ? b << delta : b >> -delta; }

inline MoveEntry* append(const Position& pos, MoveEntry* list, int from, int to, Move flags = 0) {
  list->move = make_move_code(from, to, flags);
  list->mover = pos.board[from];
  list->victim = pos.board[to];
  return list + 1;
}

inline MoveEntry* close(MoveEntry* list) {
  list->move = kListEnd;
  return list;
}

// Emits every to-square of `targets` for a pawn move of `delta` squares.
inline MoveEntry* append_pawn_moves(const Position& pos, MoveEntry* list, Bitboard targets, int delta) {
  while (targets) {
    int to = pop_lsb(targets);
    list = append(pos, list, to - delta, to);
  }
  return list;
}

template <typename Attacks>
inline MoveEntry* append_piece_moves(const Position& pos, MoveEntry* list, Bitboard pieces, Bitboard target,
                                     Attacks attacks) {
  while (pieces) {
    int from = pop_lsb(pieces);
    Bitboard targets = attacks(from) & target;
    while (targets) list = append(pos, list, from, pop_lsb(targets));
  }
  return list;
}

inline MoveEntry* append_promotions(const Position& pos, MoveEntry* list, int from, int to, int all_promotions) {
  list = append(pos, list, from, to, kFlagQueen);
  if (all_promotions) {
    list = append(pos, list, from, to, kFlagKnight);
    list = append(pos, list, from, to, kFlagBishop);
    list = append(pos, list, from, to, kFlagRook);
  }
  return list;
}

MoveEntry* generate_castling(const Position& pos, int side, Bitboard occupancy, MoveEntry* list) {
  for (int wing = 0; wing < 2; ++wing) {
    int index = 2 * side + wing;
    if (!(pos.castle_rights & (1 << index)) || (pos.castle_path[index] & occupancy)) continue;
    int king = pos.king_square[side];
    int destination = make_square(wing == 0 ? 6 : 2, rank_of(king));
    list = append(pos, list, king, destination, wing == 0 ? kFlagKingSide : kFlagQueenSide);
  }
  return list;
}

}  // namespace

MoveEntry* generate_pawn_pushes(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list) {
  int step = side == kWhite ? 8 : -8;
  Bitboard singles = shift(pos.pieces[side][kPawn], step) & ~occupancy;
  list = append_pawn_moves(pos, list, singles & target, step);
  Bitboard doubles = shift(singles & (side == kWhite ? kRank3 : kRank6), step) & ~occupancy & target;
  return append_pawn_moves(pos, list, doubles, 2 * step);
}

MoveEntry* generate_knight_moves(const Position& pos, int side, Bitboard target, MoveEntry* list) {
  return append_piece_moves(pos, list, pos.pieces[side][kKnight], target, [](int s) { return knight_attacks[s]; });
}

MoveEntry* generate_bishop_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list) {
  return append_piece_moves(pos, list, pos.pieces[side][kBishop], target,
                            [occupancy](int s) { return bishop_attacks(s, occupancy); });
}

MoveEntry* generate_rook_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list) {
  return append_piece_moves(pos, list, pos.pieces[side][kRook], target,
                            [occupancy](int s) { return rook_attacks(s, occupancy); });
}

MoveEntry* generate_queen_moves(const Position& pos, int side, Bitboard target, Bitboard occupancy, MoveEntry* list) {
  return append_piece_moves(pos, list, pos.pieces[side][kQueen], target, [occupancy](int s) {
    return bishop_attacks(s, occupancy) | rook_attacks(s, occupancy);
  });
}

MoveEntry* generate_king_moves(const Position& pos, int side, Bitboard target, MoveEntry* list) {
  return append_piece_moves(pos, list, pos.pieces[side][kKing], target, [](int s) { return king_attacks[s]; });
}

MoveEntry* generate_captures(const Position& pos, int side, MoveEntry* list, int checker) {
  Bitboard enemy = pos.pieces[side ^ 1][0];
  Bitboard occupancy = pos.occupancy();
  Bitboard target = checker != kNoSquare ? bit(checker) : enemy;
  Bitboard pawn_targets = (target | bit(pos.ep_square & 63)) & kInnerRanks;
  Bitboard pawns = pos.pieces[side][kPawn];
  if (side == kWhite) {
    list = append_pawn_moves(pos, list, (pawns << 7) & ~kFileH & pawn_targets, 7);
    list = append_pawn_moves(pos, list, (pawns << 9) & ~kFileA & pawn_targets, 9);
  } else {
    list = append_pawn_moves(pos, list, (pawns >> 9) & ~kFileH & pawn_targets, -9);
    list = append_pawn_moves(pos, list, (pawns >> 7) & ~kFileA & pawn_targets, -7);
  }
  list = generate_knight_moves(pos, side, target, list);
  list = generate_bishop_moves(pos, side, target, occupancy, list);
  list = generate_rook_moves(pos, side, target, occupancy, list);
  list = generate_queen_moves(pos, side, target, occupancy, list);
  list = generate_king_moves(pos, side, enemy, list);
  return close(list);
}

MoveEntry* generate_promotions(const Position& pos, int side, int all_promotions, MoveEntry* list) {
  int step = side == kWhite ? 8 : -8;
  Bitboard enemy = pos.pieces[side ^ 1][0];
  Bitboard pawns = pos.pieces[side][kPawn] & rank_bits(side == kWhite ? 6 : 1);
  while (pawns) {
    int from = pop_lsb(pawns);
    int ahead = from + step;
    if (!pos.board[ahead]) list = append_promotions(pos, list, from, ahead, all_promotions);
    if (file_of(from) > 0 && (enemy & bit(ahead - 1))) list = append_promotions(pos, list, from, ahead - 1, all_promotions);
    if (file_of(from) < 7 && (enemy & bit(ahead + 1))) list = append_promotions(pos, list, from, ahead + 1, all_promotions);
  }
  return close(list);
}

MoveEntry* generate_pushes_to_seventh(const Position& pos, int side, MoveEntry* list) {
  int step = side == kWhite ? 8 : -8;
  Bitboard pawns = pos.pieces[side][kPawn] & rank_bits(side == kWhite ? 5 : 2);
  list = append_pawn_moves(pos, list, shift(pawns, step) & ~pos.occupancy(), step);
  return close(list);
}

MoveEntry* generate_quiets(const Position& pos, int side, MoveEntry* list, int checker) {
  Bitboard occupancy = pos.occupancy();
  Bitboard empty = ~occupancy;
  Bitboard target = checker != kNoSquare ? between[checker][pos.king_square[side]] & empty : empty;
  list = generate_pawn_pushes(pos, side, target & kQuietPushRanks, occupancy, list);
  list = generate_knight_moves(pos, side, target, list);
  list = generate_bishop_moves(pos, side, target, occupancy, list);
  list = generate_rook_moves(pos, side, target, occupancy, list);
  list = generate_queen_moves(pos, side, target, occupancy, list);
  list = generate_king_moves(pos, side, empty, list);
  list = generate_castling(pos, side, occupancy, list);
  return close(list);
}

MoveEntry* generate_all_moves(const Position& pos, MoveEntry* list) {
  MoveEntry* end = generate_captures(pos, pos.side, list, kNoSquare);
  end = generate_promotions(pos, pos.side, 1, end);
  end = generate_pushes_to_seventh(pos, pos.side, end);
  generate_quiets(pos, pos.side, end, kNoSquare);
  return list;
}

}  // namespace position
