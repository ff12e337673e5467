// The working record of one hand-crafted evaluation and the helpers its sections share.
// Each section adds packed middlegame/endgame terms to the per-colour scores, so a trace
// can be taken by reading the scores between sections.
#pragma once

#include <cstdint>

#include "eval/params.h"
#include "position/bitboard.h"
#include "eval/state.h"
#include "position/position.h"

namespace eval {

using position::Bitboard;

// The groups of the trace, in the order the evaluation runs them.
enum TraceGroup {
  kTracePawns,    // pawn structure, blocked pawns included
  kTraceKnights,
  kTraceBishops,
  kTraceRooks,
  kTraceQueens,
  kTraceKing,     // king safety
  kTracePassed,   // passed pawns and candidates
  kTraceThreats,
  kTraceSpecial,  // the side-to-move bonus
  kTraceGroups
};

struct EvalInfo {
  const position::Position* position;
  EvalState* state;
  Bitboard occupancy;
  int ply;
  bool display;  // set when the trace below is wanted
  float phase;

  // Attack sets, per colour.
  Bitboard all[2];
  Bitboard pawn[2];
  Bitboard knight[2];
  Bitboard bishop[2];
  Bitboard rook[2];
  Bitboard queen[2];
  Bitboard king[2];
  Bitboard twice[2];
  Bitboard pawn_minor[2];       // pawn, knight and bishop attacks
  Bitboard pawn_minor_rook[2];  // ... and rook attacks
  Bitboard no_king[2];          // everything but the king's attacks

  Bitboard zone[2];  // 3 x 3 around the king, moved off the edge
  int32_t danger[2];
  Bitboard front_span[2];     // squares ahead of the colour's pawns on their files
  Bitboard adjacent_span[2];  // the same on the neighbouring files
  Bitboard outposts[2];
  int mirror[2];  // XOR applied to a square for the colour's piece-square index

  Bitboard passed;       // both colours
  Bitboard candidates;   // both colours
  Bitboard threatened;   // pieces counted as hung
  Bitboard free_passed;  // both colours

  uint32_t score[2];  // packed: eg * 65536 + mg, arithmetic modulo 2^32

  // With `display` set: how much each group of terms changed each colour's packed score,
  // so that a report can show where an evaluation comes from.
  uint32_t trace[kTraceGroups][2];
};

namespace hce_detail {

constexpr Bitboard kFileA = 0x0101010101010101ULL;
constexpr Bitboard kFileH = kFileA << 7;
constexpr Bitboard kRank1 = 0xFFULL;
constexpr Bitboard kDarkSquares = 0xAA55AA55AA55AA55ULL;
constexpr Bitboard kLightSquares = 0x55AA55AA55AA55AAULL;

constexpr Bitboard rank_mask(int rank) { return kRank1 << (8 * rank); }
constexpr Bitboard file_mask(int file) { return kFileA << file; }

// One rank towards the enemy, for `colour`.
constexpr Bitboard forward(Bitboard b, int colour) { return colour == 0 ? b << 8 : b >> 8; }
constexpr Bitboard east(Bitboard b) { return (b << 1) & ~kFileA; }
constexpr Bitboard west(Bitboard b) { return (b >> 1) & ~kFileH; }

constexpr Bitboard pawn_attack_set(Bitboard pawns, int colour) {
  Bitboard ahead = forward(pawns, colour);
  return east(ahead) | west(ahead);
}

// Every square ahead of the given squares on their files (the squares themselves excluded).
constexpr Bitboard front_fill(Bitboard b, int colour) {
  if (colour == 0) {
    b <<= 8;
    b |= b << 8;
    b |= b << 16;
    b |= b << 32;
  } else {
    b >>= 8;
    b |= b >> 8;
    b |= b >> 16;
    b |= b >> 32;
  }
  return b;
}


inline int king_distance(int a, int b) {
  int df = (a & 7) - (b & 7), dr = (a >> 3) - (b >> 3);
  df = df < 0 ? -df : df;
  dr = dr < 0 ? -dr : dr;
  return df > dr ? df : dr;
}

inline uint32_t term(const EvalParam* p) { return static_cast<uint32_t>(p->score); }

inline uint32_t term(const EvalParam* p, int count) {
  return static_cast<uint32_t>(p->score) * static_cast<uint32_t>(count);
}

// A term times a fraction: each half truncated toward zero on its own.
inline uint32_t scaled(const EvalParam* p, float k) {
  int mg = static_cast<int>(k * p->mg);
  int eg = static_cast<int>(k * p->eg);
  return static_cast<uint32_t>(eg) * 65536u + static_cast<uint32_t>(mg);
}

}  // namespace hce_detail

// The whole evaluation with its working record left filled in for the caller (a trace
// or a test): the per-colour scores, the phase and every attack set.
// With `display`, info.trace is filled in as well.
int hce_evaluate(const position::Position& pos, EvalState& state, int ply, EvalInfo& info, bool display = false);

// The packed difference (side to move minus the other) tapered by the phase, before scaling.
int tapered_value(const EvalInfo& info);
// The factor for drawish endings, given the tapered value from white's point of view.
float scale_factor(const position::Position& pos, int white_value);

// Sections of the evaluation, in the order hce_evaluate runs them.
void evaluate_pawn_structure(EvalInfo& info);  // cached in the state's pawn hash
void evaluate_passed_pawns(EvalInfo& info);
void evaluate_candidates(EvalInfo& info);

}  // namespace eval
