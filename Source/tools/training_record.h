// The 40-byte training record: one labelled position of a training file, and the
// logistic map between centipawn scores and win probabilities that its labels use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "position/position.h"

namespace tools {

// Bytes 0-31: the board, square 2i in the low and square 2i + 1 in the high nibble of byte
// i, each a piece code (0 empty, 1-6 white, 9-14 black). Byte 32: castling rights in the
// low nibble, side to move in the high one. Byte 33: en-passant square, 64 for none.
// Bytes 34-39: little-endian 16-bit result score, "ce" and "sc".
struct TrainingRecord {
  uint8_t bytes[40];
};
static_assert(sizeof(TrainingRecord) == 40);

constexpr size_t kTrainingRecordSize = sizeof(TrainingRecord);
// What a training file holds at most; also what a converter reads at most.
constexpr uint64_t kMaxTrainingRecords = 449999999;
// Bound of the stored result score and "sc".
constexpr int kMaxTrainingScore = 3000;

// The win probability a score from the side to move's view stands for.
double score_to_prob(double score);
// Its inverse, as stored in the result field: p is kept inside [0.000001, 0.999999] (as
// a 32-bit float, so that 1.0 gives about 2760 and 0.0 about -2763), the score is cut
// toward zero and held inside +-3000.
int prob_to_score(double p);

TrainingRecord encode_training_record(const position::Position& pos, int result_score, int ce, int sc);

inline int record_piece(const TrainingRecord& r, int square) { return (r.bytes[square >> 1] >> (4 * (square & 1))) & 15; }
inline int record_castling(const TrainingRecord& r) { return r.bytes[32] & 15; }
inline int record_side(const TrainingRecord& r) { return r.bytes[32] >> 4; }
inline int record_ep_square(const TrainingRecord& r) { return r.bytes[33]; }
inline int record_field(const TrainingRecord& r, int offset) {
  return static_cast<int16_t>(static_cast<uint16_t>(r.bytes[offset] | (r.bytes[offset + 1] << 8)));
}
inline int record_result_score(const TrainingRecord& r) { return record_field(r, 34); }
inline int record_ce(const TrainingRecord& r) { return record_field(r, 36); }
inline int record_sc(const TrainingRecord& r) { return record_field(r, 38); }

// False for bytes no converter writes: a nibble that is no piece code, a side other than 0
// or 1, an en-passant byte above 64. Such records come from damaged or foreign files.
bool record_well_formed(const TrainingRecord& r);

// The record's position in `pos` (a bare board: no history) and its training target,
// 0.25 x the result's probability + 0.75 x the probability of "sc". Returns 1 when the
// record is usable, 0 when it is not: malformed, a king missing or doubled, more than 32
// men, the side not to move in check, or a result that disagrees with "sc" by more than
// 0.45 in probability (a game decided by a later blunder says little about this position).
int decode_training_record(const TrainingRecord& r, position::Position& pos, float& target);

// The record's FEN (placement, side, castling, en passant), written straight from its
// bytes, so that records the decoder rejects are shown as they are. `out` needs 90 bytes;
// returns the end of the text. The record must be well formed.
char* record_fen(const TrainingRecord& r, char* out);

}  // namespace tools
