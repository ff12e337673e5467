// The named weights of the hand-crafted evaluation, each with a middlegame and an endgame
// value, held in one ordered registry that the tuner and the displays walk.
#pragma once

#include <cstdint>

namespace eval {

struct EvalParam {
  int32_t score;  // eg * 65536 + mg
  float mg;
  float eg;
  float work1;
  float work2;
  float work3;
  char name[24];
};

constexpr int kMaxParams = 651;

extern EvalParam params[kMaxParams];
extern int param_count;
extern int first_pst_index;

// Slots through which the evaluation reads its weights.
struct ParamSlots {
  EvalParam *mtl_pawn, *mtl_knight, *mtl_bishop, *mtl_rook, *mtl_queen, *bishop_pair, *knight_mobility,
      *bishop_mobility, *rook_mobility, *queen_mobility, *ppawn_base, *ppawn_mobile, *ppawn_free, *ppawn_connected,
      *ppawn_fkprox, *ppawn_ekprox, *ppawn_candidate, *pawn_isolated, *pawn_weak, *pawn_blocked, *pawn_doubled,
      *knight_outpost, *bishop_infiltration, *bishop_outpost, *bishop_rampawns, *rook_infiltration, *rook_openfile,
      *rook_7th, *pawn_shield, *enemy_checks, *king_danger1, *king_danger2, *king_trapped, *king_pawn_dist,
      *hung_pawn, *attacked_pawn, *hung_minor, *attacked_minor, *hung_major, *ppush_threat, *pinned_piece,
      *mtl_imbalance, *stm_bonus;
  EvalParam *pst_p1[64], *pst_p2[64], *pst_cp[64], *pst_dp[64], *pst_n[64], *pst_b[64], *pst_r[64], *pst_q[64],
      *pst_k[64];
  EvalParam* ttune[32];
};

extern ParamSlots slots;

constexpr int32_t pack_score(int mg, int eg) { return static_cast<int32_t>(static_cast<uint32_t>(eg) * 65536u + static_cast<uint32_t>(mg)); }
constexpr int score_mg(int32_t score) { return static_cast<int16_t>(score & 0xFFFF); }
constexpr int score_eg(int32_t score) { return static_cast<int>((int64_t{score} + 32768) >> 16); }

void register_param(EvalParam*& slot, const char* name, int mg, int eg);
void register_eval_params();
// Loads the parameter text compiled into the engine.
void load_embedded_params();
// Loads parameter text (the same format); returns the number of records written.
int load_params_text(const char* text);

}  // namespace eval
