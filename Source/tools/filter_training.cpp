#include "tools/filter_training.h"

#include <cstdio>
#include <new>
#include <string>

#include "position/zobrist.h"
#include "tools/tool_files.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/training_file.h"

namespace tools {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr uint64_t kBlackToMove = 0x9E3779B97F4A7C15ULL;
constexpr uint64_t kMixer = 0xD6E8FEB86659FD93ULL;
// The spread report keeps the old measure: keys per list of 16,384 lists by the low bits.
constexpr int kLists = 16384;
constexpr size_t kRecordsPerRead = size_t{1} << 16;

// A slot for `key` in `capacity` slots (any size): the high half of a 128-bit product,
// taken after mixing so that keys alike in their high bits still spread.
size_t slot_of(uint64_t key, size_t capacity) {
  return static_cast<size_t>((static_cast<Wide>(key * kMixer) * capacity) >> 64);
}

}  // namespace

uint64_t record_key(const TrainingRecord& r) {
  using position::zobrist;
  uint64_t key = zobrist[record_castling(r)];
  for (int square = 0; square < 64; ++square) {
    int code = record_piece(r, square);
    if (code) key ^= zobrist[code * 64 + square];
  }
  if (record_ep_square(r) < position::kNoSquare) key ^= zobrist[record_ep_square(r)];
  return record_side(r) ? key ^ kBlackToMove : key;
}

KeySet::KeySet(uint64_t expected) : slots_(expected + expected / 2 + 1024, 0) {}

bool KeySet::insert(uint64_t key) {
  if (key == 0) {
    if (has_zero_) return false;
    return has_zero_ = true, ++size_, true;
  }
  if (4 * (size_ + 1) > 3 * slots_.size()) grow();
  size_t capacity = slots_.size();
  for (size_t i = slot_of(key, capacity);; i = i + 1 == capacity ? 0 : i + 1) {
    if (slots_[i] == key) return false;
    if (slots_[i] == 0) {
      slots_[i] = key;
      ++size_;
      return true;
    }
  }
}

void KeySet::grow() {
  std::vector<uint64_t> old(2 * slots_.size(), 0);
  old.swap(slots_);
  size_t capacity = slots_.size();
  for (uint64_t key : old) {
    if (!key) continue;
    size_t i = slot_of(key, capacity);
    while (slots_[i]) i = i + 1 == capacity ? 0 : i + 1;
    slots_[i] = key;
  }
}

int filter_training_file(const ToolFiles& files) {
  const std::string& input = files.input;
  if (input.find(".bin") == std::string::npos)
    return base::report_failure("cannot read %s: the name of a training file contains .bin", input.c_str());
  OutputChoice output = choose_output(files, kFilteredFile);
  InputFile file;
  OutputFile out;
  if (!open_run_files(file, input, out, output)) return base::kToolFailed;
  position::init_zobrist();
  try {
    KeySet seen(records_left(file.get()));
    std::printf("filtering duplicates from %s\n", input.c_str());
    print_time_stamp();

    std::vector<TrainingRecord> block(kRecordsPerRead);
    std::vector<uint32_t> lists(kLists, 0);
    uint32_t longest = 0;
    uint64_t done = 0, malformed = 0;
    size_t broken = 0;
    {
      Progress progress("positions", records_left(file.get()));
      for (;;) {
        size_t got = std::fread(block.data(), 1, kRecordsPerRead * kTrainingRecordSize, file.get());
        broken = got % kTrainingRecordSize;
        for (size_t i = 0; i < got / kTrainingRecordSize; ++i) {
          const TrainingRecord& r = block[i];
          progress.update(++done);
          if (!record_well_formed(r)) {
            ++malformed;
            continue;
          }
          uint64_t key = record_key(r);
          if (!seen.insert(key)) continue;
          uint32_t& list = lists[key & (kLists - 1)];
          if (++list > longest) longest = list;
          out.write(&r, kTrainingRecordSize);
        }
        if (got < kRecordsPerRead * kTrainingRecordSize) break;
      }
    }
    if (!file.finish_reading()) return base::kToolFailed;
    if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
    if (malformed) std::printf("skipped %llu malformed records\n", static_cast<unsigned long long>(malformed));
    if (broken) std::printf("ignored %zu bytes at the end of %s: not a whole record\n", broken, input.c_str());
    std::printf("max block count is %d\n", static_cast<int>(longest));
    std::printf("wrote %d positions to %s\n\n", static_cast<int>(seen.size()), output.path.c_str());
    print_time_stamp();
    return base::kToolSucceeded;
  } catch (const std::bad_alloc&) {
    return base::report_failure("out of memory: %s not written", output.path.c_str());
  }
}

}  // namespace tools
