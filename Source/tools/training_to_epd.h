// "-bin2epd": a training file back into EPD lines with "ce", "sc" and "gr".
#pragma once

#include "tools/tool_files.h"
#include "tools/training_record.h"

namespace tools {

// The EPD line of a well-formed record, line end included: its FEN, "ce", "sc", and the
// result's probability as "gr" with one decimal. `out` needs 160 bytes; returns the length.
int training_record_to_epd(const TrainingRecord& r, char* out);

// Converts the input training file into the output named with -o, else the input's name
// with ".epd" for the first ".bin" of its file name. Every well-formed record is written, also
// those that training would pass over. Returns the run's exit code.
int training_to_epd_file(const ToolFiles& files);

}  // namespace tools
