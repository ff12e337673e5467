#include "tools/training_to_epd.h"

#include <cstdio>
#include <string>
#include <vector>

#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/training_file.h"

namespace tools {

int training_record_to_epd(const TrainingRecord& r, char* out) {
  char* end = record_fen(r, out);
  int length = static_cast<int>(end - out);
  return length + std::snprintf(end, 160 - length, " ce %d; sc %d; gr %0.1f;\n", record_ce(r), record_sc(r),
                                score_to_prob(record_result_score(r)));
}

int training_to_epd_file(const ToolFiles& files) {
  const std::string& input = files.input;
  OutputChoice output = choose_output(files, derived_name(input, ".bin", ".epd"));
  if (output.path.empty())
    return base::report_failure("cannot name the output of %s: its file name holds no .bin (name one with -o)",
                          input.c_str());
  OutputFile out;
  if (!out.open(output, input)) return base::report_failure("%s", out.failure().c_str());
  std::vector<TrainingRecord> records;
  if (load_training_file(input, records) != 0) return base::kToolFailed;

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
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  if (malformed) std::printf("skipped %llu malformed records\n", static_cast<unsigned long long>(malformed));
  return base::kToolSucceeded;
}

}  // namespace tools
