// Training files as a whole: reading one into memory sized to it, and the names the
// converters derive from their input's.
#pragma once

#include <string>
#include <vector>

#include "tools/training_record.h"

namespace tools {

// The input's name with its first `from` (".bin", ".epd") overwritten by `to`; empty when
// the name holds no `from`, which makes a converter do nothing.
std::string derived_name(const char* input, const char* from, const char* to);

// Reads the records of `name` (which must contain ".bin"), at most kMaxTrainingRecords,
// into `records`, sized to the file. Reports the memory taken and the positions read
// unless output is silenced (-quiet), and a broken tail of fewer than 40 bytes always.
// Returns 0, or -1 when the name, the file or the memory is not there.
int load_training_file(const char* name, std::vector<TrainingRecord>& records);

// The records of an open training file still to come, from its size; 0 when unknown.
uint64_t records_left(std::FILE* file);

}  // namespace tools
