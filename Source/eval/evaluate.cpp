#include "eval/evaluate.h"

#include <algorithm>
#include <cstdlib>

#include "eval/accumulator.h"
#include "eval/hce.h"
#include "eval/inference.h"
#include "eval/kpk.h"
#include "eval/network.h"
#include "eval/score.h"
#include "base/output.h"
#include "position/bitboard.h"
#include "position/position.h"

namespace eval {

namespace {

using namespace position;

constexpr Bitboard kDarkSquares = 0xAA55AA55AA55AA55ULL;
constexpr Bitboard kLightSquares = 0x55AA55AA55AA55AAULL;

// Counts packed four bits a type in a material signature.
constexpr int pawns(uint32_t m) { return material_count(m, kPawn); }
constexpr int knights(uint32_t m) { return material_count(m, kKnight); }
constexpr int bishops(uint32_t m) { return material_count(m, kBishop); }
constexpr int rooks(uint32_t m) { return material_count(m, kRook); }
constexpr int queens(uint32_t m) { return material_count(m, kQueen); }
constexpr int minors(uint32_t m) { return knights(m) + bishops(m); }
constexpr uint32_t kPawnsRooksQueens = 0xFF00F;
constexpr uint32_t kRooksQueens = 0xFF000;
constexpr uint32_t kBishopAndKnight = 256 + 16;
constexpr uint32_t kTwoKnights = 32;
constexpr uint32_t kOnePawn = 1;

// Weak-king square values for the bishop-and-knight mate (a1 first): highest in the
// corners of the bishop's colour, a1 and h8 for a dark-squared bishop.
constexpr int kCornerTable[64] = {
    9, 8, 7, 6, 5, 4, 3, 2,  //
    8, 7, 6, 5, 4, 3, 2, 3,  //
    7, 6, 4, 3, 2, 1, 3, 4,  //
    6, 5, 3, 1, 0, 2, 4, 5,  //
    5, 4, 2, 0, 1, 3, 5, 6,  //
    4, 3, 1, 2, 3, 4, 6, 7,  //
    3, 2, 3, 4, 5, 6, 7, 8,  //
    2, 3, 4, 5, 6, 7, 8, 9,  //
};

int king_distance(int a, int b) { return std::max(std::abs(file_of(a) - file_of(b)), std::abs(rank_of(a) - rank_of(b))); }

// File plus rank distance to the nearest centre square.
int centre_distance(int square) {
  int file = file_of(square), rank = rank_of(square);
  return std::max({3 - file, file - 4, 0}) + std::max({3 - rank, rank - 4, 0});
}

// 0 on the edge, 1 on the next ring, 2 on c3..f6.
int centre_ring(int square) {
  int file = file_of(square), rank = rank_of(square);
  return std::min({file, 7 - file, rank, 7 - rank, 2});
}

int mating_score(const Position& pos, int side) {
  int t[2];
  for (int c = 0; c < 2; ++c)
    t[c] = 256 * (rooks(pos.material[c]) + 2 * queens(pos.material[c])) - 16 * centre_distance(pos.king_square[c]);
  int closeness = 1000 - 16 * king_distance(pos.king_square[0], pos.king_square[1]);
  t[t[kWhite] > t[kBlack] ? kWhite : kBlack] += closeness;
  return std::clamp(t[side] - t[side ^ 1], -kEvalLimit, kEvalLimit);
}

int bishop_knight_score(const Position& pos, int side, int strong) {
  int weak_king = pos.king_square[strong ^ 1];
  if (pos.pieces[strong][kBishop] & kLightSquares) weak_king ^= 7;
  int score = 900 + 16 * kCornerTable[weak_king] + 8 * centre_ring(pos.king_square[strong]) -
              8 * king_distance(pos.king_square[0], pos.king_square[1]);
  return side == strong ? score : -score;
}

int kpk_score(const Position& pos, int side, int strong) {
  int pawn = lsb(pos.pieces[strong][kPawn]);
  int wk = pos.king_square[kWhite], bk = pos.king_square[kBlack];
  int score, table_pawn, table_strong, table_weak, defender_to_move;
  if (strong == kWhite) {
    score = std::max(std::abs(7 - rank_of(bk)), std::abs(file_of(bk) - file_of(pawn))) + 4 * rank_of(pawn) -
            std::max(std::abs(7 - rank_of(wk)), std::abs(file_of(wk) - file_of(pawn)));
    table_pawn = pawn, table_strong = wk, table_weak = bk;
    defender_to_move = pos.side == kBlack;
  } else {
    score = std::max(std::abs(file_of(wk) - file_of(pawn)), rank_of(wk)) + 4 * (7 - rank_of(pawn)) -
            std::max(std::abs(file_of(bk) - file_of(pawn)), rank_of(bk));
    table_pawn = 63 - pawn, table_strong = 63 - bk, table_weak = 63 - wk;
    defender_to_move = pos.side == kWhite;
  }
  if (file_of(table_pawn) >= 4) table_pawn ^= 7, table_strong ^= 7, table_weak ^= 7;
  int index = (defender_to_move ? 131072 : 0) + 4096 * (file_of(table_pawn) + 4 * rank_of(table_pawn)) +
              64 * table_strong + table_weak;
  if (kpk_table[index] == kKpkWin) score += 800;
  return side == strong ? score : -score;
}

// The lone-king endings settled by formula; false when the position needs a real evaluation.
bool lone_king_score(const Position& pos, int side, int strong, int& score) {
  uint32_t material = pos.material[strong];
  if (material == kBishopAndKnight) return score = bishop_knight_score(pos, side, strong), true;
  if (material == kOnePawn) return score = kpk_score(pos, side, strong), true;
  return false;
}

bool elementary_score(const Position& pos, int side, int& score) {
  uint32_t w = pos.material[kWhite], b = pos.material[kBlack];
  if (!((w | b) & kPawnsRooksQueens)) {
    if (minors(w) <= 1 && minors(b) <= 1) return score = 0, true;
    if ((w == kTwoKnights && b == 0) || (b == kTwoKnights && w == 0)) return score = 0, true;
    if (w && b) return false;
    return lone_king_score(pos, side, w ? kWhite : kBlack, score);
  }
  if (w && b) return false;
  int strong = w ? kWhite : kBlack;
  if (pos.material[strong] & kRooksQueens) return score = mating_score(pos, side), true;
  return lone_king_score(pos, side, strong, score);
}

bool opposite_bishops_only(const Position& pos) {
  uint32_t w = pos.material[kWhite], b = pos.material[kBlack];
  if ((w | b) & kRooksQueens) return false;
  if (bishops(w) != 1 || bishops(b) != 1) return false;
  Bitboard both = pos.pieces[kWhite][kBishop] | pos.pieces[kBlack][kBishop];
  return (both & kDarkSquares) && (both & kLightSquares);
}

int network_value(const Position& pos, Accumulator& accumulator) {
  if (!accumulator.work || accumulator.generation != network.generation) {
    if (!allocate_accumulators(accumulator)) {
      base::emit_line("error initializing NN!");
      return kNoScore;
    }
  }
  int value = network_output(accumulator);
  if (opposite_bishops_only(pos)) value -= value / 4;
  return value;
}

int contempt_term(const Position& pos, const EvalContext& context, int side) {
  int phase = 0;
  for (int c = 0; c < 2; ++c) {
    uint32_t m = pos.material[c];
    phase += 1060 * queens(m) + 550 * rooks(m) + 350 * minors(m);
  }
  phase += 2 * std::min(1200, 100 * (pawns(pos.material[kWhite]) + pawns(pos.material[kBlack])));
  phase = std::min(phase, 8192);
  int term = context.contempt * phase / 8192 + 15 * (phase - 4096) / 4096;
  return side == context.root_side ? term : -term;
}

}  // namespace

int evaluate(const Position& pos, EvalState& state, const EvalContext& context, int side, int ply, int in_check) {
  ++state.calls;
  Accumulator& accumulator = state.accumulator;
  accumulator.position = &pos;
  accumulator.ply = static_cast<int16_t>(ply);
  if (in_check) return -kEvalLimit;

  int value;
  if (elementary_score(pos, side, value)) return value;

  // The cache holds the evaluation's own value: contempt and noise belong to the search
  // that asks, and are added on the way out.
  EvalCacheEntry& entry = state.cache[(pos.key & 4095) + 4096 * side];
  if (entry.key == pos.key && ply > 2) {
    ++state.cache_hits;
    value = entry.score;
  } else {
    value = context.use_network && network_loaded() ? network_value(pos, accumulator) : hce_evaluate(pos, state, ply);
    value = std::clamp(value, -kEvalLimit, kEvalLimit);
    entry.key = pos.key;
    entry.score = static_cast<int16_t>(value);
  }

  if (!context.apply_contempt && context.noise <= 0) return value;
  if (context.apply_contempt) value += contempt_term(pos, context, side);
  int noise = context.noise;
  if (noise > 0)
    value += static_cast<int>((pos.key ^ context.noise_seed) % static_cast<uint64_t>(noise)) - (noise >> 1);
  return std::clamp(value, -kEvalLimit, kEvalLimit);
}

}  // namespace eval
