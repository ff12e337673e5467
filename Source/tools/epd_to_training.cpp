#include "tools/epd_to_training.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "position/position.h"
#include "tools/tool_files.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/training_file.h"

namespace tools {

namespace {

constexpr int kMaxCe = 32767;          // what the record's 16 bits hold
constexpr int kMaxSc = 1000000000;     // read whole, then held inside +-3000
// A position line is seldom shorter than this: the first reservation for a file's
// records, which grows when a file holds shorter lines.
constexpr uint64_t kTypicalLineBytes = 40;

// The record of a line that reads as EPD, or the fault that keeps it from making one.
EpdRecordResult epd_to_record(const EpdLine& epd) {
  EpdRecordResult result;
  if (!fen_fields_well_formed(epd.fen)) return result.fault = kBadFen, result;
  bool has_ce = epd.present[kOpCe], has_sc = epd.present[kOpSc];
  if (!has_ce && !has_sc) return result.fault = kMissingField, result;

  int ce = 0, sc = 0;
  double gr = 0;
  if (has_ce && !read_integer(epd.operand[kOpCe], kMaxCe, ce)) return result;
  if (has_sc && !read_integer(epd.operand[kOpSc], kMaxSc, sc)) return result;
  if (!has_ce) ce = sc > kMaxCe ? kMaxCe : sc < -kMaxCe ? -kMaxCe : sc;
  if (!has_sc) sc = ce;
  if (epd.present[kOpGr]) {
    if (!read_decimal(epd.operand[kOpGr], gr) || gr < 0 || gr > 1) return result;
  } else {
    gr = score_to_prob(ce);
  }

  position::Position pos;
  pos.game = nullptr;
  pos.side = position::kWhite;
  if (position::set_position(pos, epd.fen) != 0) return result.fault = kBadFen, result;
  result.record = encode_training_record(pos, prob_to_score(gr), ce, sc);
  result.made = true;
  return result;
}

}  // namespace

EpdRecordResult epd_line_to_record(std::string_view line, bool too_long, EpdLine& epd) {
  EpdRecordResult result;
  switch (read_epd_text(line, too_long, kLabelledLines, epd, result.fault)) {
    case EpdLineKind::kPassedOver:
      result.ignored = true;
      return result;
    case EpdLineKind::kFaulty:
      return result;
    case EpdLineKind::kPosition:
      break;
  }
  return epd_to_record(epd);
}

int epd_to_training_file(const ToolFiles& files) {
  const std::string& input = files.input;
  OutputChoice output = choose_output(files, derived_name(input, ".epd", ".bin"));
  if (output.path.empty())
    return base::report_failure("cannot name the output of %s: its file name holds no .epd (name one with -o)",
                          input.c_str());
  InputFile file;
  OutputFile out;
  if (!open_run_files(file, input, out, output)) return base::kToolFailed;

  // Room for the records a regular file's size promises; a pipe's come as they come.
  std::vector<TrainingRecord> records;
  long size = file.size();
  uint64_t expected = size > 0 ? static_cast<uint64_t>(size) / kTypicalLineBytes + 1 : 1;
  if (expected > kMaxTrainingRecords) expected = kMaxTrainingRecords;
  try {
    records.reserve(expected);
  } catch (const std::bad_alloc&) {
    return base::report_failure("out of memory for the positions of %s: nothing written", input.c_str());
  }
  std::printf("allocated %.0f Mbytes for training data.\n", expected * kTrainingRecordSize / 1e6);
  std::printf("reading positions from file %s.\n", input.c_str());

  LineFaults faults;
  bool out_of_memory = false;
  {
    EpdReader reader(file.get(), kLabelledLines);
    Progress progress("positions");
    while (records.size() < kMaxTrainingRecords && reader.next()) {
      EpdRecordResult r = epd_to_record(reader.epd());
      if (r.made) {
        try {
          records.push_back(r.record);
        } catch (const std::bad_alloc&) {
          out_of_memory = true;
          break;
        }
      } else {
        reader.faults().add(r.fault);
      }
      progress.update(records.size(), file.share(reader.bytes_read()));
    }
    faults = reader.faults();
  }
  if (!file.finish_reading()) return base::kToolFailed;
  if (out_of_memory)
    return base::report_failure("out of memory after %zu positions of %s: nothing written", records.size(), input.c_str());
  faults.report(stdout);
  std::printf("read %.0f positions.\n\n", static_cast<double>(records.size()));

  out.write(records.data(), records.size() * kTrainingRecordSize);
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  std::printf("stored %d positions in %s.\n\n", static_cast<int>(records.size()), output.path.c_str());
  return base::kToolSucceeded;
}

}  // namespace tools
