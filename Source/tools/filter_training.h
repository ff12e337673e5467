// "-filtertraindata": a training file without its repeated positions, the first record of
// each position kept, written to "filtered.bin" (or the output named with -o).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/tool_files.h"
#include "tools/training_record.h"

namespace tools {

inline constexpr const char* kFilteredFile = "filtered.bin";

// The position key of a record: the engine's Zobrist key of its board, castling rights
// and en-passant square, with the side to move folded in (the engine's own key leaves it
// out, but the same board with the other side to move is another training position).
uint64_t record_key(const TrainingRecord& r);

// The keys seen so far, in an open-addressed table sized once for the records to come.
class KeySet {
 public:
  explicit KeySet(uint64_t expected);
  // True when `key` was new (and is now in the set).
  bool insert(uint64_t key);
  uint64_t size() const { return size_; }

 private:
  void grow();

  std::vector<uint64_t> slots_;  // 0 marks a free slot; the key 0 is kept aside
  bool has_zero_ = false;
  uint64_t size_ = 0;
};

// Filters the input training file, whose name must contain ".bin". Returns the run's exit
// code.
int filter_training_file(const ToolFiles& files);

}  // namespace tools
