#include "tools/training_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/settings.h"
#include "tools/progress.h"

namespace tools {

namespace {

constexpr size_t kRecordsPerRead = size_t{1} << 16;

bool silenced() { return base::settings.noise >= 99999; }

}  // namespace

std::string derived_name(const char* input, const char* from, const char* to) {
  std::string name = input;
  size_t at = name.find(from);
  if (at == std::string::npos) return "";
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

int load_training_file(const char* name, std::vector<TrainingRecord>& records) {
  records.clear();
  if (!std::strstr(name, ".bin")) return -1;
  std::FILE* file = std::fopen(name, "rb");
  if (!file) return -1;
  uint64_t expected = records_left(file);
  if (expected > kMaxTrainingRecords) expected = kMaxTrainingRecords;
  try {
    records.resize(expected);
  } catch (const std::bad_alloc&) {
    std::fclose(file);
    return -1;
  }
  if (!silenced()) std::printf("allocated %.0f Mbytes for training data.\n", expected * kTrainingRecordSize / 1e6);

  // The size told how much to expect; what counts is what the reads give.
  Progress progress("positions", expected);
  size_t count = 0;
  while (count < expected) {
    size_t wanted = std::min<size_t>(kRecordsPerRead, expected - count);
    size_t got = std::fread(records.data() + count, kTrainingRecordSize, wanted, file);
    count += got;
    progress.update(count);
    if (got < wanted) break;
  }
  records.resize(count);
  unsigned char tail[kTrainingRecordSize];
  size_t broken = count < kMaxTrainingRecords ? std::fread(tail, 1, sizeof tail, file) : 0;
  std::fclose(file);
  if (broken > 0 && broken < kTrainingRecordSize)
    std::printf("ignored %zu bytes at the end of %s: not a whole record\n", broken, name);
  if (!silenced()) std::printf("read %d positions from %s.\n\n", static_cast<int>(count), name);
  return 0;
}

}  // namespace tools
