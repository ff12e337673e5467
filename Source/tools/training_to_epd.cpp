#include "tools/training_to_epd.h"

#include <cstdio>
#include <string>
#include <vector>

#include "base/settings.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "tools/training_file.h"

namespace tools {

int training_record_to_epd(const TrainingRecord& r, char* out) {
  char* end = record_fen(r, out);
  int length = static_cast<int>(end - out);
  return length + std::snprintf(end, 160 - length, " ce %d; sc %d; gr %0.1f;\n", record_ce(r), record_sc(r),
                                score_to_prob(record_result_score(r)));
}

void training_to_epd_file() {
  const char* input = base::settings.training_file.c_str();
  std::string output = derived_name(input, ".bin", ".epd");
  if (output.empty()) return;
  std::vector<TrainingRecord> records;
  if (load_training_file(input, records) != 0) return;
  OutputFile out;
  if (!out.open(output)) return;

  uint64_t malformed = 0;
  {
    Progress progress("positions", records.size());
    char line[160];
    for (size_t i = 0; i < records.size(); ++i) {
      if (record_well_formed(records[i])) out.write(line, training_record_to_epd(records[i], line));
      else ++malformed;
      progress.update(i + 1);
    }
  }
  if (!out.commit()) {
    std::printf("cannot write %s\n", output.c_str());
    return;
  }
  if (malformed) std::printf("skipped %llu malformed records\n", static_cast<unsigned long long>(malformed));
}

}  // namespace tools
