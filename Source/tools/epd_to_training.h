// "-epd2bin": labelled EPD positions into a training file of 40-byte records.
#pragma once

#include <string_view>

#include "tools/epd.h"
#include "tools/tool_files.h"
#include "tools/training_record.h"

namespace tools {

// The record an EPD line makes, or the fault that keeps it from making one. Lines that
// are no positions at all (empty, comments, starting with a blank, shorter than 20
// characters) are `ignored` without a fault. A line needs "ce" or "sc" (either stands in
// for the other) and takes "gr", the result for the side to move, from "ce" when it is
// missing.
struct EpdRecordResult {
  bool made = false;
  bool ignored = false;
  LineFault fault = kBadValue;
  TrainingRecord record{};
};
EpdRecordResult epd_line_to_record(std::string_view line, bool too_long, EpdLine& scratch);

// Converts the input into the output named with -o, else the input's name with ".bin" for
// the first ".epd" of its file name. Returns the run's exit code.
int epd_to_training_file(const ToolFiles& files);

}  // namespace tools
