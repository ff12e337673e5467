// Feeds text to the EPD side of "-epd2bin": the line reader with its length limit, the
// line parser and the record encoder. Every record made must be well formed, and the EPD
// line written back from it must read back into the same position and scores.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "position/zobrist.h"
#include "tools/epd_to_training.h"
#include "tools/text_lines.h"
#include "tools/training_to_epd.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  position::init_tables();
  position::init_zobrist();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
  if (!file) return 0;
  auto epd = std::make_unique<tools::EpdLine>();
  // Small read blocks, so that lines run across them.
  tools::TextLines lines(file, tools::kMaxEpdLine, 64);
  std::string_view line;
  bool too_long;
  while (lines.next(line, too_long)) {
    if (line.size() > tools::kMaxEpdLine) nesk_fuzz::fail("line past the limit:", std::to_string(line.size()));
    tools::EpdRecordResult r = tools::epd_line_to_record(line, too_long, *epd);
    if (!r.made) continue;
    if (!tools::record_well_formed(r.record)) nesk_fuzz::fail("malformed record from", std::string(line));
    char text[160];
    int length = tools::training_record_to_epd(r.record, text);
    if (length <= 0 || length >= 160 || text[length - 1] != '\n') nesk_fuzz::fail("bad EPD length from", std::string(line));
    tools::EpdRecordResult again = tools::epd_line_to_record(std::string_view(text, length - 1), false, *epd);
    if (!again.made) nesk_fuzz::fail("written line does not read back:", std::string(text, length));
    if (std::memcmp(again.record.bytes, r.record.bytes, 34) != 0 || tools::record_ce(again.record) != tools::record_ce(r.record) ||
        tools::record_sc(again.record) != tools::record_sc(r.record))
      nesk_fuzz::fail("record changed on the way back:", std::string(text, length));
  }
  std::fclose(file);
  return 0;
}
