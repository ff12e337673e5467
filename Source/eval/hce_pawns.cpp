// Pawn terms of the hand-crafted evaluation: the structure (cached per thread in the pawn
// hash), passed pawns and candidate passers.
#include "eval/hce.h"
#include "eval/hce_info.h"
#include "position/exchange.h"

namespace eval {

using namespace hce_detail;
using position::kBlack;
using position::kPawn;
using position::kWhite;
using position::pop_lsb;
using position::popcount;

namespace {

constexpr float kPassedBase[8] = {0, 0.09f, 0.09f, 0.24f, 0.40f, 0.64f, 1.0f, 0};
constexpr float kPassedProximity[8] = {0, 0.2f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f, 0};
constexpr float kPassedConnected[8] = {0, 0, 0, 0.4f, 0.8f, 1.0f, 0, 0};
constexpr float kCandidateDistance[6] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f};
constexpr float kCandidateRank[8] = {0, 0, 0, 0.4f, 0.7f, 1.0f, 0, 0};

// Material, piece-square entries, isolated, weak and doubled pawns of one colour: the
// part that depends only on the pawns and on which half each king stands.
uint32_t structure_score(const EvalInfo& info, int c) {
  const position::Position& pos = *info.position;
  const Bitboard pawns = pos.pieces[c][kPawn];
  const int mirror = info.mirror[c];
  const bool same_half = ((pos.king_square[kWhite] ^ pos.king_square[kBlack]) & 4) == 0;
  EvalParam* const* table = same_half ? slots.pst_p1 : slots.pst_p2;
  const Bitboard defended = pawns & info.pawn[c];
  // A pawn beside another attacks the square ahead of it.
  const Bitboard beside = pawns & (c == kWhite ? info.pawn[c] >> 8 : info.pawn[c] << 8);

  uint32_t score = term(slots.mtl_pawn, popcount(pawns));
  for (Bitboard b = pawns; b;) {
    int square = pop_lsb(b);
    int index = square ^ mirror;
    score += term(table[index]);
    if (defended & position::bit(square)) score += term(slots.pst_dp[index]);
    if (beside & position::bit(square)) score += term(slots.pst_cp[index]);
  }

  Bitboard files = pawns | front_fill(pawns, kWhite) | front_fill(pawns, kBlack);
  Bitboard isolated = pawns & ~(east(files) | west(files));
  // Squares level with or ahead of an own pawn on a neighbouring file: a pawn there could
  // be supported by its neighbour's advance.
  Bitboard level_or_ahead = pawns | front_fill(pawns, c);
  Bitboard weak = pawns & ~isolated & ~(east(level_or_ahead) | west(level_or_ahead));
  Bitboard doubled = pawns & info.front_span[c];

  score += term(slots.pawn_isolated, popcount(isolated));
  score += term(slots.pawn_weak, popcount(weak));
  score += term(slots.pawn_doubled, popcount(doubled));
  return score;
}

}  // namespace

uint64_t pawn_hash_key(const position::Position& pos) {
  uint64_t key = pos.pawn_key;
  if (!(pos.king_square[kWhite] & 4)) key ^= 0x6C43EB52AULL;
  if (!(pos.king_square[kBlack] & 4)) key ^= 0x3E2571CB4ULL;
  return key;
}

void evaluate_pawn_structure(EvalInfo& info) {
  const position::Position& pos = *info.position;
  EvalState& state = *info.state;
  const uint64_t key = pawn_hash_key(pos);
  PawnHashEntry& entry = state.pawn_hash[key & (kPawnHashSize - 1)];

  bool hit = false;
  if (info.ply >= 2) {
    ++state.pawn_probes;
    if (entry.key == key) {
      ++state.pawn_hits;
      hit = true;
    }
  }
  if (!hit) {
    entry.key = key;
    entry.white_score = static_cast<int32_t>(structure_score(info, kWhite));
    entry.black_score = static_cast<int32_t>(structure_score(info, kBlack));
  }
  info.score[kWhite] += static_cast<uint32_t>(entry.white_score);
  info.score[kBlack] += static_cast<uint32_t>(entry.black_score);

  // Blocked pawns depend on the pieces, so they stay outside the hash.
  info.score[kWhite] += term(slots.pawn_blocked, popcount(pos.pieces[kWhite][kPawn] & (info.occupancy >> 8)));
  info.score[kBlack] += term(slots.pawn_blocked, popcount(pos.pieces[kBlack][kPawn] & (info.occupancy << 8)));
}

void evaluate_passed_pawns(EvalInfo& info) {
  const position::Position& pos = *info.position;
  const Bitboard all_pawns = pos.pieces[kWhite][kPawn] | pos.pieces[kBlack][kPawn];
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const int step = c == kWhite ? 8 : -8;
    const int direction = c == kWhite ? position::kNorth : position::kSouth;
    // Squares the colour holds: it defends them and the enemy does not attack them twice.
    const Bitboard held = info.all[c] & ~info.twice[e];
    const Bitboard enemy_reach = info.all[e] | pos.pieces[e][0];
    for (Bitboard b = info.passed & pos.pieces[c][kPawn]; b;) {
      const int square = pop_lsb(b);
      const Bitboard ahead = position::ray[direction][square];
      if (ahead & all_pawns) continue;
      const int r = position::relative_rank(c, square);

      int front = square + step;
      if (r == 1 && !(info.occupancy & position::bit(front))) front += step;
      const bool mobile = !(info.occupancy & position::bit(front)) && position::see(pos, c, square, front) == 0;
      const bool free = mobile && !(ahead & info.pawn_minor[e]) && !(ahead & enemy_reach & ~held);
      if (free) info.free_passed |= position::bit(square);

      const int target = r < 6 ? front + step : front;
      int own_distance = king_distance(pos.king_square[c], target);
      own_distance = own_distance < 1 ? 1 : own_distance > 6 ? 6 : own_distance;
      int enemy_distance = king_distance(pos.king_square[e], target);
      enemy_distance = enemy_distance > 6 ? 6 : enemy_distance;

      const EvalParam* base = free ? slots.ppawn_free : mobile ? slots.ppawn_mobile : slots.ppawn_base;
      uint32_t score = scaled(base, kPassedBase[r]);
      score += scaled(slots.ppawn_ekprox, (enemy_distance - 2) * 0.25f * kPassedProximity[r]);
      score += scaled(slots.ppawn_fkprox, (own_distance - 2) * 0.25f * kPassedProximity[r]);
      if (info.pawn[c] & position::bit(front)) score += scaled(slots.ppawn_connected, kPassedConnected[r]);
      info.score[c] += score;
    }
  }
}

void evaluate_candidates(EvalInfo& info) {
  const position::Position& pos = *info.position;
  for (int c = kWhite; c <= kBlack; ++c) {
    const int e = c ^ 1;
    const int direction = c == kWhite ? position::kNorth : position::kSouth;
    const Bitboard pawns = pos.pieces[c][kPawn];
    for (Bitboard b = info.candidates & pawns; b;) {
      const int square = pop_lsb(b);
      const int r = position::relative_rank(c, square);
      const Bitboard ahead = position::ray[direction][square];
      if (r < 3 || (ahead & info.occupancy)) continue;
      const Bitboard here = position::bit(square);
      const int helpers = popcount(pawns & (east(here) | west(here)));
      const int opposition = popcount(ahead & info.all[e]) + ((ahead & info.twice[e]) ? 1 : 0);
      if (opposition > helpers) continue;
      const int last_step = position::make_square(square & 7, c == kWhite ? 6 : 1);
      int distance = king_distance(pos.king_square[e], last_step);
      distance = distance > 5 ? 5 : distance;
      info.score[c] += scaled(slots.ppawn_candidate, kCandidateDistance[distance] * kCandidateRank[r]);
    }
  }
}

}  // namespace eval
