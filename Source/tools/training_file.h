// Training files as a whole: reading one into memory sized by what it holds, and the
// names the converters derive from their input's.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tools/training_record.h"

namespace tools {

// The input's name with the first `from` (".bin", ".epd") of its file name overwritten by
// `to`; a folder part of the name stays as it is. Empty when the file name holds no `from`.
std::string derived_name(const std::string& input, const char* from, const char* to);

// Reads the records of `name` (which must contain ".bin"), at most kMaxTrainingRecords,
// into `records`: memory for the whole file when it is a regular one, else growing as the
// records come. Reports the memory taken and the positions read unless output is silenced
// (-quiet), and a broken tail of fewer than 40 bytes always. Returns 0, or -1, with the
// reason reported as a tool failure, when the name, the file, a read or the memory fails.
int load_training_file(const std::string& name, std::vector<TrainingRecord>& records);

// The records of an open training file still to come, from its size; 0 when unknown.
uint64_t records_left(std::FILE* file);

}  // namespace tools
