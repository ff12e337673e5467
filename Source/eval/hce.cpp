// The hand-crafted evaluation: set-up of the attack sets, pieces, king safety, threats,
// then the tapered and scaled result. Pawn terms live in hce_pawns.cpp.
#include "eval/hce.h"

#include "eval/hce_info.h"

namespace eval {

using namespace hce_detail;
using position::bishop_attacks;
using position::kBishop;
using position::kBlack;
using position::kKing;
using position::kKnight;
using position::kPawn;
using position::kQueen;
using position::kRook;
using position::kWhite;
using position::pop_lsb;
using position::popcount;
using position::Position;
using position::rook_attacks;

namespace {

constexpr float kKnightMobility[9] = {-0.53f, -0.16f, 0, 0.12f, 0.22f, 0.31f, 0.39f, 0.47f, 0.47f};
constexpr float kSliderMobility[15] = {-0.47f, -0.14f, 0,     0.11f, 0.20f, 0.27f, 0.35f, 0.41f,
                                       0.47f,  0.53f,  0.53f, 0.53f, 0.53f, 0.53f, 0.53f};
constexpr float kQueenMobility[30] = {-0.47f, -0.24f, -0.14f, -0.06f, 0,     0.06f, 0.11f, 0.15f, 0.20f, 0.24f,
                                      0.27f,  0.31f,  0.35f,  0.38f,  0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f,
                                      0.41f,  0.41f,  0.41f,  0.41f,  0.41f, 0.41f, 0.41f, 0.41f, 0.41f, 0.41f};
constexpr float kKingPawnDistance[8] = {0, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 1.0f, 1.0f};

constexpr Bitboard kCentreBlock = 0x00003C3C3C3C0000ULL;  // c3 .. f6
constexpr Bitboard kOutpostRanks[2] = {0x0000007E7E7E0000ULL << 8, 0x0000007E7E7E0000ULL};  // b-g, ranks 4-6 / 3-5
constexpr Bitboard kEnemyHalf[2] = {0xFFFFFFFF00000000ULL, 0x00000000FFFFFFFFULL};

inline void record_attacks(EvalInfo& info, int c, Bitboard attacks, Bitboard& by_type) {
  info.twice[c] |= info.all[c] & attacks;
  info.all[c] |= attacks;
  by_type |= attacks;
}

Bitboard king_zone(int king) {
  int file = king & 7, rank = king >> 3;
  file = file == 0 ? 1 : file == 7 ? 6 : file;
  rank = rank == 0 ? 1 : rank == 7 ? 6 : rank;
  int centre = position::make_square(file, rank);
  return position::king_attacks[centre] | position::bit(centre);
}

Bitboard dilate(Bitboard b) {
  b |= east(b) | west(b);
  return b | (b << 8) | (b >> 8);
}

void set_up(EvalInfo& info) {
  const Position& pos = *info.position;
  int material = 0;
  for (int c = kWhite; c <= kBlack; ++c)
    material += popcount(pos.pieces[c][kPawn]) + 3 * popcount(pos.pieces[c][kKnight] | pos.pieces[c][kBishop]) +
                5 * popcount(pos.pieces[c][kRook]) + 9 * popcount(pos.pieces[c][kQueen]);
  info.phase = 0.014f * static_cast<float>(material);
  if (info.phase > 1.0f) info.phase = 1.0f;

  for (int c = kWhite; c <= kBlack; ++c) {
    const Bitboard pawns = pos.pieces[c][kPawn];
    const Bitboard ahead = forward(pawns, c);
    const int king = pos.king_square[c];
    info.score[c] = 0;
    info.king[c] = position::king_attacks[king];
    info.pawn[c] = east(ahead) | west(ahead);
    info.all[c] = info.king[c] | info.pawn[c];
    info.twice[c] = (info.king[c] & info.pawn[c]) | (east(ahead) & west(ahead));
    info.knight[c] = info.bishop[c] = info.rook[c] = info.queen[c] = 0;
    info.zone[c] = king_zone(king);
    info.mirror[c] = (c == kBlack ? 56 : 0) + ((king & 4) ? 0 : 7);
    info.front_span[c] = front_fill(pawns, c);
    info.adjacent_span[c] = east(info.front_span[c]) | west(info.front_span[c]);
  }
  info.passed = info.candidates = info.threatened = info.free_passed = 0;
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard pawns = pos.pieces[c][kPawn];
    info.outposts[c] = kOutpostRanks[c] & ~info.adjacent_span[e];
    const Bitboard passed = pawns & ~(info.front_span[e] | info.adjacent_span[e]);
    info.passed |= passed;
    info.candidates |= pawns & ~info.front_span[e] & ~passed;
    // Squares of the zone an enemy pawn could step onto.
    info.danger[c] = 2 * popcount(info.zone[c] & forward(pos.pieces[e][kPawn], e));
  }
}

// Knight or bishop outposts: on a supported outpost, on an unsupported one, or eyeing one.
uint32_t outpost_score(const EvalInfo& info, int c, int square, Bitboard attacks, const EvalParam* param) {
  const Bitboard here = position::bit(square);
  if (info.outposts[c] & here) return (info.pawn[c] & here) ? term(param) : scaled(param, 0.67f);
  if (info.outposts[c] & attacks) return scaled(param, 0.33f);
  return 0;
}

void evaluate_knights(EvalInfo& info) {
  const Position& pos = *info.position;
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard open = ~pos.pieces[c][0] & ~info.pawn[e];
    uint32_t score = term(slots.mtl_knight, popcount(pos.pieces[c][kKnight]));
    for (Bitboard b = pos.pieces[c][kKnight]; b;) {
      const int square = pop_lsb(b);
      const Bitboard attacks = position::knight_attacks[square];
      record_attacks(info, c, attacks, info.knight[c]);
      if (attacks & info.zone[e]) info.danger[e] += 4;
      score += term(slots.pst_n[square ^ info.mirror[c]]);
      score += scaled(slots.knight_mobility, kKnightMobility[popcount(attacks & open)]);
      score += outpost_score(info, c, square, attacks, slots.knight_outpost);
    }
    info.score[c] += score;
  }
}

void evaluate_bishops(EvalInfo& info) {
  const Position& pos = *info.position;
  const Bitboard see_through = info.occupancy & ~(pos.pieces[kWhite][kQueen] | pos.pieces[kBlack][kQueen]);
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard bishops = pos.pieces[c][kBishop];
    const Bitboard open = ~pos.pieces[c][0] & ~info.pawn[e];
    uint32_t score = term(slots.mtl_bishop, popcount(bishops));
    for (Bitboard b = bishops; b;) {
      const int square = pop_lsb(b);
      const Bitboard attacks = bishop_attacks(square, see_through);
      record_attacks(info, c, attacks, info.bishop[c]);
      if (attacks & info.zone[e]) info.danger[e] += 3;
      score += term(slots.pst_b[square ^ info.mirror[c]]);
      score += scaled(slots.bishop_mobility, kSliderMobility[popcount(attacks & open)]);
      score += outpost_score(info, c, square, attacks, slots.bishop_outpost);
      score += term(slots.bishop_infiltration, popcount(attacks & kCentreBlock));
    }
    if ((bishops & kDarkSquares) && (bishops & kLightSquares)) score += term(slots.bishop_pair);
    // Own pawns fixed by an enemy pawn on the colour of an own bishop.
    const Bitboard rams = pos.pieces[c][kPawn] & forward(pos.pieces[e][kPawn], e);
    if (bishops & kDarkSquares) score += term(slots.bishop_rampawns, popcount(rams & kDarkSquares));
    if (bishops & kLightSquares) score += term(slots.bishop_rampawns, popcount(rams & kLightSquares));
    info.score[c] += score;
  }
  for (int c = kWhite; c <= kBlack; ++c) info.pawn_minor[c] = info.pawn[c] | info.knight[c] | info.bishop[c];
}

void evaluate_rooks(EvalInfo& info) {
  const Position& pos = *info.position;
  const Bitboard all_pawns = pos.pieces[kWhite][kPawn] | pos.pieces[kBlack][kPawn];
  const Bitboard no_queens = info.occupancy & ~(pos.pieces[kWhite][kQueen] | pos.pieces[kBlack][kQueen]);
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard rooks = pos.pieces[c][kRook];
    const Bitboard see_through = no_queens & ~rooks;
    const Bitboard open = ~pos.pieces[c][0] & ~info.pawn_minor[e];
    const bool enemy_king_home = position::relative_rank(e, pos.king_square[e]) <= 1;
    uint32_t score = term(slots.mtl_rook, popcount(rooks));
    for (Bitboard b = rooks; b;) {
      const int square = pop_lsb(b);
      const Bitboard attacks = rook_attacks(square, see_through);
      const Bitboard file = file_mask(square & 7);
      record_attacks(info, c, attacks, info.rook[c]);
      if (attacks & info.zone[e]) info.danger[e] += 4;
      score += term(slots.pst_r[square ^ info.mirror[c]]);
      score += scaled(slots.rook_mobility, kSliderMobility[popcount(attacks & open)]);
      score += term(slots.rook_infiltration, popcount(attacks & file & kEnemyHalf[c]));
      if (!(file & all_pawns)) score += term(slots.rook_openfile);
      if (position::relative_rank(c, square) == 6 && enemy_king_home) score += term(slots.rook_7th);
    }
    info.score[c] += score;
  }
  for (int c = kWhite; c <= kBlack; ++c) info.pawn_minor_rook[c] = info.pawn_minor[c] | info.rook[c];
}

void evaluate_queens(EvalInfo& info) {
  const Position& pos = *info.position;
  const Bitboard occupancy = info.occupancy;
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard open = ~pos.pieces[c][0] & ~info.pawn_minor_rook[e];
    const Bitboard diagonal_through = occupancy & ~pos.pieces[c][kBishop];
    const Bitboard straight_through = occupancy & ~pos.pieces[c][kRook];
    uint32_t score = term(slots.mtl_queen, popcount(pos.pieces[c][kQueen]));
    for (Bitboard b = pos.pieces[c][kQueen]; b;) {
      const int square = pop_lsb(b);
      const Bitboard attacks = bishop_attacks(square, occupancy) | rook_attacks(square, occupancy);
      // Behind an own bishop or rook the queen backs it up: that counts for double
      // attacks and for the king zone, not for mobility.
      const Bitboard battery = bishop_attacks(square, diagonal_through) | rook_attacks(square, straight_through);
      info.twice[c] |= info.all[c] & battery;
      info.all[c] |= attacks;
      info.queen[c] |= attacks;
      if (battery & info.zone[e]) info.danger[e] += 5;
      score += term(slots.pst_q[square ^ info.mirror[c]]);
      score += scaled(slots.queen_mobility, kQueenMobility[popcount(attacks & open)]);
    }
    info.score[c] += score;
  }
  for (int c = kWhite; c <= kBlack; ++c) info.no_king[c] = info.pawn_minor_rook[c] | info.queen[c];
}

void evaluate_king(EvalInfo& info, int c) {
  const Position& pos = *info.position;
  const int e = c ^ 1;
  const int king = pos.king_square[c];
  const Bitboard zone = info.zone[c];
  uint32_t score = term(slots.pst_k[king ^ info.mirror[c]]);

  if (pos.pieces[e][kRook] | pos.pieces[e][kQueen]) {
    const Bitboard pawns = pos.pieces[c][kPawn];
    const Bitboard covered = pawns | forward(pawns, c) | forward(forward(pawns, c), c);
    int shield = popcount(forward(zone, c) & covered);
    shield = shield > 9 ? 9 : shield;
    score += scaled(slots.pawn_shield, static_cast<float>(shield - 9) * 0.111f);

    // Squares the enemy may check from without losing the piece.
    const Bitboard safe = ~pos.pieces[e][0] & (~info.all[c] | info.twice[e]);
    const Bitboard knights = info.knight[e] & ~info.pawn_minor[c];
    const Bitboard bishops = info.bishop[e] & ~info.pawn_minor[c];
    const Bitboard rooks = info.rook[e] & ~info.pawn_minor_rook[c];
    const Bitboard queens = info.queen[e] & ~info.no_king[c];
    const Bitboard knight_checks = position::knight_attacks[king] & safe;
    const Bitboard diagonal_checks = bishop_attacks(king, info.occupancy) & safe;
    const Bitboard straight_checks = rook_attacks(king, info.occupancy) & safe;
    const int queen_checks = ((queens & diagonal_checks) ? 1 : 0) + ((queens & straight_checks) ? 1 : 0);
    const int checks = popcount((knight_checks & knights) | (diagonal_checks & bishops) | (straight_checks & rooks)) +
                       queen_checks;
    score += term(slots.enemy_checks, checks);

    const int danger = 3 * popcount((diagonal_checks | zone) & bishops) + (info.danger[c] - shield) - 2 +
                       popcount(zone & info.pawn[e] & ~info.pawn[c]) + 4 * popcount((knight_checks | zone) & knights) +
                       4 * popcount((straight_checks | zone) & rooks) + 5 * (queen_checks + popcount(zone & queens));
    if (danger > 0) {
      const EvalParam* weight = pos.pieces[e][kQueen] ? slots.king_danger1 : slots.king_danger2;
      score += scaled(weight, static_cast<float>(danger * danger) * 0.0015f);
    }
  }

  if (!(info.king[c] & ~(info.all[e] | pos.pieces[c][0]))) score += term(slots.king_trapped);

  const Bitboard pawn_fronts = info.front_span[kWhite] | info.front_span[kBlack];
  if (pawn_fronts) {
    Bitboard reach = info.king[c] | position::bit(king);
    int steps = 0;
    while (!(reach & pawn_fronts) && steps < 7) {
      reach = dilate(reach);
      ++steps;
    }
    if (steps > 0) score += scaled(slots.king_pawn_dist, kKingPawnDistance[steps]);
  }
  info.score[c] += score;
}

void evaluate_threats(EvalInfo& info) {
  const Position& pos = *info.position;
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const Bitboard weak = (info.all[e] & ~info.all[c]) | (info.twice[e] & ~info.twice[c] & ~info.pawn[c]);
    uint32_t score = 0;

    const Bitboard pawns = pos.pieces[c][kPawn] & info.all[e] & ~info.pawn[e] & ~info.pawn[c];
    const Bitboard hung_pawns = pawns & weak;
    score += term(slots.hung_pawn, popcount(hung_pawns));
    score += term(slots.attacked_pawn, popcount(pawns & ~weak));

    const Bitboard minors = (pos.pieces[c][kKnight] | pos.pieces[c][kBishop]) & info.all[e];
    const Bitboard hung_minors = minors & (weak | info.pawn[e]);
    score += term(slots.hung_minor, popcount(hung_minors));
    score += term(slots.attacked_minor, popcount(minors & ~hung_minors & ~info.pawn[c]));

    const Bitboard hung_majors = (pos.pieces[c][kRook] | pos.pieces[c][kQueen]) & info.pawn_minor[e];
    score += term(slots.hung_major, popcount(hung_majors));
    info.threatened |= hung_pawns | hung_minors | hung_majors;

    // Enemy pawn pushes to safe squares that would fork or hit c's pieces.
    const Bitboard empty = ~info.occupancy;
    const Bitboard single = forward(pos.pieces[e][kPawn], e) & empty;
    const Bitboard fourth = rank_mask(e == kWhite ? 3 : 4);
    const Bitboard pushes = (single | (forward(single, e) & empty & fourth)) & ~info.pawn[c] &
                            (info.pawn[e] | ~info.all[c]);
    const Bitboard targets = pos.pieces[c][0] & ~pos.pieces[c][kPawn] & ~info.threatened;
    score += term(slots.ppush_threat, popcount(pawn_attack_set(pushes, e) & targets));

    score += term(slots.pinned_piece, popcount(pinned_pieces(pos, c) & ~pos.pieces[c][kPawn]));
    info.score[c] += score;
  }
}

}  // namespace

float scale_factor(const Position& pos, int white_value) {
  const Bitboard* w = pos.pieces[kWhite];
  const Bitboard* b = pos.pieces[kBlack];
  const int w_units = 5 * popcount(w[kRook]) + 3 * popcount(w[kKnight] | w[kBishop]) + 9 * popcount(w[kQueen]);
  const int b_units = 5 * popcount(b[kRook]) + 3 * popcount(b[kKnight] | b[kBishop]) + 9 * popcount(b[kQueen]);
  if (w_units > 8 || b_units > 8 || w_units - b_units > 3 || b_units - w_units > 3) return 1.0f;

  const bool white_better = white_value > 0, black_better = white_value < 0;
  const int w_pawns = popcount(w[kPawn]), b_pawns = popcount(b[kPawn]);
  constexpr int a1 = 0, h1 = 7, a8 = 56, h8 = 63;
  const Bitboard file_a = file_mask(0), file_h = file_mask(7);

  // A rook pawn with the bishop that does not control the promotion square.
  if (white_better && !w[kKnight] && !w[kRook] && w_pawns) {
    if (!(w[kPawn] & ~file_a) && !(w[kBishop] & kLightSquares) && king_distance(pos.king_square[kBlack], a8) <= 1)
      return 0.05f;
    if (!(w[kPawn] & ~file_h) && !(w[kBishop] & kDarkSquares) && king_distance(pos.king_square[kBlack], h8) <= 1)
      return 0.05f;
  }
  if (black_better && !b[kKnight] && !b[kRook] && b_pawns) {
    if (!(b[kPawn] & ~file_a) && !(b[kBishop] & kDarkSquares) && king_distance(pos.king_square[kWhite], a1) <= 1)
      return 0.05f;
    if (!(b[kPawn] & ~file_h) && !(b[kBishop] & kLightSquares) && king_distance(pos.king_square[kWhite], h1) <= 1)
      return 0.05f;
  }

  float sf = 1.0f;
  if (!w[kRook] && !b[kRook] && popcount(w[kBishop]) == 1 && popcount(b[kBishop]) == 1 &&
      !!(w[kBishop] & kDarkSquares) != !!(b[kBishop] & kDarkSquares)) {
    const int difference = (w_pawns + w_units) - (b_pawns + b_units);
    if (difference >= -2 && difference <= 2) sf = 0.5f;
  }
  const bool w_minor = (w[kKnight] | w[kBishop]) != 0, b_minor = (b[kKnight] | b[kBishop]) != 0;
  if (white_better && w_pawns == 0) sf *= 0.65f;
  if (black_better && b_pawns == 0)
    sf *= 0.65f;
  else if (white_better && w_pawns == 1 && b_minor && w_units <= b_units)
    sf *= 0.75f;
  if (black_better && b_pawns == 1 && w_minor && b_units <= w_units) sf *= 0.75f;
  return sf;
}

int tapered_value(const EvalInfo& info) {
  const int us = info.position->side;
  const int32_t total = static_cast<int32_t>(info.score[us] - info.score[us ^ 1]);
  const int mg = static_cast<int16_t>(total & 0xFFFF);
  const int eg = total >> 16;
  const float mg_part = static_cast<float>(mg) * info.phase;
  const float eg_part = static_cast<float>(eg) * (1.0f - info.phase);
  return static_cast<int>(static_cast<double>(mg_part) + static_cast<double>(eg_part));
}

int hce_evaluate(const Position& pos, EvalState& state, int ply, EvalInfo& info, bool display) {
  info.position = &pos;
  info.state = &state;
  info.occupancy = pos.occupancy();
  info.ply = ply;
  info.display = display;

  // The trace costs a copy of the scores per group, so only a display pays for it.
  uint32_t before[2] = {0, 0};
  auto close_group = [&](TraceGroup group) {
    if (!info.display) return;
    for (int c = kWhite; c <= kBlack; ++c) {
      info.trace[group][c] = info.score[c] - before[c];
      before[c] = info.score[c];
    }
  };

  set_up(info);
  evaluate_pawn_structure(info);
  close_group(kTracePawns);
  evaluate_knights(info);
  close_group(kTraceKnights);
  evaluate_bishops(info);
  close_group(kTraceBishops);
  evaluate_rooks(info);
  close_group(kTraceRooks);
  evaluate_queens(info);
  close_group(kTraceQueens);
  evaluate_king(info, kWhite);
  evaluate_king(info, kBlack);
  close_group(kTraceKing);
  evaluate_passed_pawns(info);
  evaluate_candidates(info);
  close_group(kTracePassed);
  evaluate_threats(info);
  close_group(kTraceThreats);
  info.score[pos.side] += term(slots.stm_bonus);
  close_group(kTraceSpecial);

  const int value = tapered_value(info);
  const float sf = scale_factor(pos, pos.side == kWhite ? value : -value);
  return static_cast<int>(static_cast<float>(value) * sf);
}

int hce_evaluate(const Position& pos, EvalState& state, int ply) {
  EvalInfo info;
  return hce_evaluate(pos, state, ply, info);
}

Bitboard pinned_pieces(const Position& pos, int colour) {
  const int enemy = colour ^ 1;
  const Bitboard occupancy = pos.occupancy();
  const Bitboard own = pos.pieces[colour][0];
  const Bitboard* them = pos.pieces[enemy];
  Bitboard pinned = 0;

  auto collect = [&](int anchor, Bitboard snipers) {
    while (snipers) {
      const Bitboard between = position::between[anchor][pop_lsb(snipers)] & occupancy;
      if (between && !(between & (between - 1)) && (between & own)) pinned |= between;
    }
  };
  const int king = pos.king_square[colour];
  collect(king, (position::bishop_mask[king] & (them[kBishop] | them[kQueen])) |
                    (position::rook_mask[king] & (them[kRook] | them[kQueen])));
  if (const Bitboard queens = pos.pieces[colour][kQueen]) {
    const int queen = position::lsb(queens);
    collect(queen, (position::bishop_mask[queen] & them[kBishop]) | (position::rook_mask[queen] & them[kRook]));
  }
  return pinned;
}

}  // namespace eval
