// "-bin2ptb": training records as network feature lists, 68 bytes each: 32 little-endian
// 16-bit feature indexes (unused slots 8193), then the training target as a 32-bit float.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "tools/tool_files.h"
#include "tools/training_record.h"

namespace tools {

constexpr int kFeatureSlots = 32;
constexpr uint16_t kNoFeature = 8193;
constexpr size_t kFeatureRecordSize = 68;

// The features of `pos` seen by the side to move: its own men at 0, the other side's at
// 384, then 64 x (type - 1) + square. The board is mirrored left to right when the own
// king stands on files a-d, so that the king always sees itself on the e-h side, and
// turned upside down when black is to move, so that the mover always plays up the board.
// Unused slots hold kNoFeature. Men in square order.
void feature_indexes(const position::Position& pos, uint16_t (&features)[kFeatureSlots]);

// The 68 bytes of one feature record.
void encode_feature_record(const uint16_t (&features)[kFeatureSlots], float target, uint8_t* out);

// Converts the input training file into the output named with -o, else the input's name
// with ".ptb" for the first ".bin" of its file name, leaving out the records that
// decode_training_record rejects. Returns the run's exit code.
int training_to_feature_file(const ToolFiles& files);

}  // namespace tools
