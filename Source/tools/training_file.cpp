#include "tools/training_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/settings.h"
#include "tools/tool_files.h"
#include "tools/progress.h"
#include "base/failure.h"

namespace tools {

namespace {

constexpr size_t kRecordsPerRead = size_t{1} << 16;

// Reads records into `records`, whose size is the room made for them, until the end of
// `file` or kMaxTrainingRecords. When the room is full, one more record is read before
// more room is made, so that a file read to its end in the room its size made takes no
// more. The bytes of a last record cut short are counted in `broken`. False when the
// memory runs out.
bool read_records(std::FILE* file, uint64_t expected, std::vector<TrainingRecord>& records, size_t& broken) {
  Progress progress("positions", expected);
  size_t count = 0;
  broken = 0;
  for (;;) {
    if (count == records.size()) {
      TrainingRecord next;
      size_t bytes = count < kMaxTrainingRecords ? std::fread(&next, 1, kTrainingRecordSize, file) : 0;
      if (bytes < kTrainingRecordSize) {
        broken = bytes;
        break;
      }
      try {
        records.resize(std::min<size_t>(kMaxTrainingRecords, std::max(count + kRecordsPerRead, 2 * count)));
      } catch (const std::bad_alloc&) {
        records.resize(count);
        return false;
      }
      records[count++] = next;
    }
    size_t wanted = std::min(kRecordsPerRead, records.size() - count);
    size_t bytes = std::fread(records.data() + count, 1, wanted * kTrainingRecordSize, file);
    count += bytes / kTrainingRecordSize;
    progress.update(count);
    if (bytes < wanted * kTrainingRecordSize) {
      broken = bytes % kTrainingRecordSize;
      break;
    }
  }
  records.resize(count);
  return true;
}

}  // namespace

std::string derived_name(const std::string& input, const char* from, const char* to) {
  size_t name_start = input.rfind('/');
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  size_t at = input.find(from, name_start);
  if (at == std::string::npos) return "";
  std::string name = input;
  name.replace(at, std::strlen(from), to);
  return name;
}

uint64_t records_left(std::FILE* file) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  long at = std::ftell(file);
  uint64_t bytes = static_cast<uint64_t>(info.st_size) - (at > 0 ? static_cast<uint64_t>(at) : 0);
  return bytes / kTrainingRecordSize;
}

int load_training_file(const std::string& name, std::vector<TrainingRecord>& records) {
  records.clear();
  if (name.find(".bin") == std::string::npos) {
    base::report_failure("cannot read %s: the name of a training file contains .bin", name.c_str());
    return -1;
  }
  InputFile file;
  if (!file.open(name)) return -1;
  // A regular file says how much is coming; the records of a pipe make room as they come.
  uint64_t expected = std::min(records_left(file.get()), kMaxTrainingRecords);
  try {
    records.resize(expected);
  } catch (const std::bad_alloc&) {
    base::report_failure("cannot read %s: no memory for its %llu records", name.c_str(),
                   static_cast<unsigned long long>(expected));
    return -1;
  }
  if (!base::quiet()) std::printf("allocated %.0f Mbytes for training data.\n", expected * kTrainingRecordSize / 1e6);

  size_t broken = 0;
  bool read_all = read_records(file.get(), expected, records, broken);
  if (!file.finish_reading()) return -1;
  if (!read_all) {
    base::report_failure("cannot read %s: out of memory after %zu records", name.c_str(), records.size());
    return -1;
  }
  if (broken > 0) std::printf("ignored %zu bytes at the end of %s: not a whole record\n", broken, name.c_str());
  if (!base::quiet()) std::printf("read %d positions from %s.\n\n", static_cast<int>(records.size()), name.c_str());
  return 0;
}

}  // namespace tools
