#include "eval/params.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "eval/embedded.h"

namespace eval {

EvalParam params[kMaxParams];
int param_count = 0;
int first_pst_index = -1;
ParamSlots slots;

void register_param(EvalParam*& slot, const char* name, int mg, int eg) {
  EvalParam& p = params[param_count];
  p.score = pack_score(mg, eg);
  p.mg = static_cast<float>(mg);
  p.eg = static_cast<float>(eg);
  p.work1 = p.work2 = p.work3 = 0.0f;
  std::strncpy(p.name, name, sizeof p.name - 1);
  p.name[sizeof p.name - 1] = '\0';
  if (first_pst_index < 0 && std::strstr(name, "PST_")) first_pst_index = param_count;
  slot = &p;
  ++param_count;
}

namespace {

void register_table(EvalParam* (&table)[64], const char* name) {
  for (EvalParam*& slot : table) register_param(slot, name, 0, 0);
}

// Reads one comma-separated field: an optional sign and leading decimal digits (text
// without digits reads as 0). Leaves `p` after the field's comma.
int read_field(const char*& p) {
  int sign = 1;
  if (*p == '-' || *p == '+') sign = (*p++ == '-') ? -1 : 1;
  int value = 0;
  while (*p >= '0' && *p <= '9') value = value * 10 + (*p++ - '0');
  while (*p && *p != ',') ++p;
  if (*p == ',') ++p;
  return sign * value;
}

void store(EvalParam& p, int mg, int eg) {
  p.score = pack_score(mg, eg);
  p.mg = static_cast<float>(mg);
  p.eg = static_cast<float>(eg);
}

// One line of parameter text, NUL-terminated. Advances the running record index.
int load_line(char* line, int& index) {
  if (std::strlen(line) < 5 || std::strstr(line, "start") || std::strchr(line, '(') || std::strchr(line, ')'))
    return 0;
  char* comma = std::strchr(line, ',');
  const char* rest = "";
  if (comma) {
    *comma = '\0';
    rest = comma + 1;
  }
  const char* name = line;
  int pairs = std::strstr(name, "PST") ? 64 : std::strstr(name, "ttune") ? 32 : 1;
  int written = 0;
  for (int i = 0; i < pairs; ++i) {
    int mg = read_field(rest);
    int eg = read_field(rest);
    if (std::strcmp(name, "mtl_pawn") == 0) index = 0;
    if (index >= param_count) return written;  // more text than records: nothing to store into
    if (std::strcmp(name, params[index].name) != 0) std::printf("error %s  %s\n", name, params[index].name);
    store(params[index], mg, eg);
    ++index;
    ++written;
  }
  return written;
}

}  // namespace

void register_eval_params() {
  param_count = 0;
  first_pst_index = -1;
  ParamSlots& s = slots;
  register_param(s.mtl_pawn, "mtl_pawn", 100, 100);
  register_param(s.mtl_knight, "mtl_knight", 335, 335);
  register_param(s.mtl_bishop, "mtl_bishop", 335, 335);
  register_param(s.mtl_rook, "mtl_rook", 535, 535);
  register_param(s.mtl_queen, "mtl_queen", 1000, 1000);
  register_param(s.bishop_pair, "bishop_pair", 0, 0);
  register_param(s.knight_mobility, "knight_mobility", 0, 0);
  register_param(s.bishop_mobility, "bishop_mobility", 0, 0);
  register_param(s.rook_mobility, "rook_mobility", 0, 0);
  register_param(s.queen_mobility, "queen_mobility", 0, 0);
  register_param(s.ppawn_base, "ppawn_base", 0, 0);
  register_param(s.ppawn_mobile, "ppawn_mobile", 0, 0);
  register_param(s.ppawn_free, "ppawn_free", 0, 0);
  register_param(s.ppawn_connected, "ppawn_connected", 0, 0);
  register_param(s.ppawn_fkprox, "ppawn_fkprox", 0, 0);
  register_param(s.ppawn_ekprox, "ppawn_ekprox", 0, 0);
  register_param(s.ppawn_candidate, "ppawn_candidate", 0, 0);
  register_param(s.pawn_isolated, "pawn_isolated", 0, 0);
  register_param(s.pawn_weak, "pawn_weak", 0, 0);
  register_param(s.pawn_blocked, "pawn_blocked", 0, 0);
  register_param(s.pawn_doubled, "pawn_doubled", 0, 0);
  register_param(s.knight_outpost, "knight_outpost", 0, 0);
  register_param(s.bishop_infiltration, "bishop_infiltration", 0, 0);
  register_param(s.bishop_outpost, "bishop_outpost", 0, 0);
  register_param(s.bishop_rampawns, "bishop_rampawns", 0, 0);
  register_param(s.rook_infiltration, "rook_infiltration", 0, 0);
  register_param(s.rook_openfile, "rook_openfile", 0, 0);
  register_param(s.rook_7th, "rook_7th", 0, 0);
  register_param(s.pawn_shield, "pawn_shield", 0, 0);
  register_param(s.enemy_checks, "enemy_checks", 0, 0);
  register_param(s.king_danger1, "king_danger1", 0, 0);
  register_param(s.king_danger2, "king_danger2", 0, 0);
  register_param(s.king_trapped, "king_trapped", 0, 0);
  register_param(s.king_pawn_dist, "king_pawn_dist", 0, 0);
  register_param(s.hung_pawn, "hung_pawn", 0, 0);
  register_param(s.attacked_pawn, "attacked_pawn", 0, 0);
  register_param(s.hung_minor, "hung_minor", 0, 0);
  register_param(s.attacked_minor, "attacked_minor", 0, 0);
  register_param(s.hung_major, "hung_major", 0, 0);
  register_param(s.ppush_threat, "ppush_threat", 0, 0);
  register_param(s.pinned_piece, "pinned_piece", 0, 0);
  register_param(s.mtl_imbalance, "mtl_imbalance", 0, 0);
  register_param(s.stm_bonus, "stm_bonus", 0, 0);
  register_table(s.pst_p1, "PST_P1");
  register_table(s.pst_p2, "PST_P2");
  register_table(s.pst_cp, "PST_CP");
  register_table(s.pst_dp, "PST_DP");
  register_table(s.pst_n, "PST_N");
  register_table(s.pst_b, "PST_B");
  register_table(s.pst_r, "PST_R");
  register_table(s.pst_q, "PST_Q");
  register_table(s.pst_k, "PST_K");
  for (EvalParam*& slot : s.ttune) register_param(slot, "ttune", 0, 0);
}

int load_params_text(const char* text) {
  // A private copy, cut into lines in place; a newline, a carriage return or a space ends a line.
  std::vector<char> buffer(text, text + std::strlen(text) + 1);
  int index = 0, written = 0;
  char* line = buffer.data();
  char* end = line + buffer.size() - 1;
  while (line < end) {
    char* stop = line;
    while (stop < end && *stop != '\n' && *stop != '\r' && *stop != ' ') ++stop;
    *stop = '\0';
    written += load_line(line, index);
    line = stop + 1;
  }
  return written;
}

void load_embedded_params() { load_params_text(embedded_params_text()); }

}  // namespace eval
