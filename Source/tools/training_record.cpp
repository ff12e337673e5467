#include "tools/training_record.h"

#include <cmath>
#include <cstring>

#include "position/bitboard.h"

namespace tools {

using namespace position;

namespace {

constexpr double kProbabilityFloor = 0.000001;
constexpr double kMaxDisagreement = 0.45;
constexpr int kMaxMen = 32;

void put_field(TrainingRecord& r, int offset, int value) {
  uint16_t bits = static_cast<uint16_t>(static_cast<int16_t>(value));
  r.bytes[offset] = static_cast<uint8_t>(bits & 0xFF);
  r.bytes[offset + 1] = static_cast<uint8_t>(bits >> 8);
}

bool piece_code_valid(int code) { return code == 0 || (type_of(code) >= kPawn && type_of(code) <= kKing); }

}  // namespace

double score_to_prob(double score) { return 1.0 / (1.0 + std::exp(-0.005 * score)); }

int prob_to_score(double p) {
  // The clamp happens in single precision, as the stored scores have always been made.
  float clamped = static_cast<float>(p < kProbabilityFloor ? kProbabilityFloor : p > 1 - kProbabilityFloor ? 1 - kProbabilityFloor : p);
  double score = -200.0 * std::log(1.0 / clamped - 1.0);
  if (score > kMaxTrainingScore) score = kMaxTrainingScore;
  if (score < -kMaxTrainingScore) score = -kMaxTrainingScore;
  return static_cast<int>(score);
}

TrainingRecord encode_training_record(const Position& pos, int result_score, int ce, int sc) {
  TrainingRecord r{};
  for (int square = 0; square < 64; ++square)
    r.bytes[square >> 1] |= static_cast<uint8_t>(pos.board[square] << (4 * (square & 1)));
  r.bytes[32] = static_cast<uint8_t>((pos.castle_rights & 15) | (pos.side << 4));
  r.bytes[33] = pos.ep_square;
  put_field(r, 34, result_score);
  put_field(r, 36, ce);
  put_field(r, 38, sc < -kMaxTrainingScore ? -kMaxTrainingScore : sc > kMaxTrainingScore ? kMaxTrainingScore : sc);
  return r;
}

bool record_well_formed(const TrainingRecord& r) {
  for (int i = 0; i < 32; ++i)
    if (!piece_code_valid(r.bytes[i] & 15) || !piece_code_valid(r.bytes[i] >> 4)) return false;
  return record_side(r) <= 1 && record_ep_square(r) <= kNoSquare;
}

int decode_training_record(const TrainingRecord& r, Position& pos, float& target) {
  if (!record_well_formed(r)) return 0;
  std::memset(&pos, 0, sizeof(pos));
  pos.king_square[kWhite] = pos.king_square[kBlack] = kNoSquare;
  int men = 0;
  for (int square = 0; square < 64; ++square) {
    int code = record_piece(r, square);
    if (!code) continue;
    int colour = colour_of(code), type = type_of(code);
    pos.board[square] = static_cast<uint8_t>(code);
    pos.pieces[colour][0] |= bit(square);
    pos.pieces[colour][type] |= bit(square);
    pos.material[colour] += kMaterialWeight[type];
    if (type == kKing) pos.king_square[colour] = static_cast<uint8_t>(square);
    ++men;
  }
  if (men > kMaxMen || popcount(pos.pieces[kWhite][kKing]) != 1 || popcount(pos.pieces[kBlack][kKing]) != 1) return 0;
  pos.side = static_cast<uint8_t>(record_side(r));
  char letters[5], *out = letters;
  for (int i = 0; i < 4; ++i)
    if (record_castling(r) & (1 << i)) *out++ = "KQkq"[i];
  *out = 0;
  parse_castling(pos, letters);
  pos.ep_square = static_cast<uint8_t>(record_ep_square(r));
  compute_keys(pos);
  if (square_attacked(pos, pos.king_square[pos.side ^ 1], pos.side)) return 0;

  double result = score_to_prob(record_result_score(r)), search = score_to_prob(record_sc(r));
  if (std::fabs(result - search) > kMaxDisagreement) return 0;
  target = static_cast<float>(0.25 * result + 0.75 * search);
  return 1;
}

char* record_fen(const TrainingRecord& r, char* out) {
  uint8_t board[64];
  for (int square = 0; square < 64; ++square) board[square] = static_cast<uint8_t>(record_piece(r, square));
  out = write_placement(board, out);
  *out++ = ' ';
  *out++ = record_side(r) ? 'b' : 'w';
  *out++ = ' ';
  if (!record_castling(r)) *out++ = '-';
  for (int i = 0; i < 4; ++i)
    if (record_castling(r) & (1 << i)) *out++ = "KQkq"[i];
  *out++ = ' ';
  int ep = record_ep_square(r);
  if (ep >= kNoSquare) {
    *out++ = '-';
  } else {
    *out++ = static_cast<char>('a' + file_of(ep));
    *out++ = static_cast<char>('1' + rank_of(ep));
  }
  *out = 0;
  return out;
}

}  // namespace tools
