#include "tools/score_training.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/settings.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "search/thread.h"
#include "tools/epd.h"
#include "tools/tool_files.h"
#include "tools/output_file.h"
#include "tools/progress.h"
#include "base/failure.h"
#include "tools/tool_search.h"
#include "tools/training_record.h"

namespace tools {

using base::settings;
using namespace position;

namespace {

constexpr int kMaxCe = 32767;

// Plays the variation of the last search on `pos`, turning the labels to each new side
// to move; stops at a move that is not legal there (a variation completed from the table
// may hold one).
void play_variation(Position& pos, int& ce, double& gr) {
  Move line[kMaxPly];
  std::memcpy(line, last_principal_variation(), sizeof line);
  for (int i = 0; i < kMaxPly && line[i]; ++i) {
    if (!move_is_legal(pos, pos.side, line[i]) || pos.game->undo_index >= kUndoCapacity - kMaxPly - 2) return;
    make_move(pos, line[i]);
    ce = -ce;
    gr = 1 - gr;
  }
}

// The labels of a line: its score ("ce", 0 without) and its result ("gr") when it has one.
struct Labels {
  int ce = 0;
  double gr = 0.5;
  bool has_gr = false;
};

// False when a label is no number or out of its range.
bool read_labels(const EpdLine& epd, Labels& labels) {
  labels = Labels{};
  labels.has_gr = epd.present[kOpGr];
  if (epd.present[kOpCe] && !read_integer(epd.operand[kOpCe], kMaxCe, labels.ce)) return false;
  return !labels.has_gr || (read_decimal(epd.operand[kOpGr], labels.gr) && labels.gr >= 0 && labels.gr <= 1);
}

// Carries `pos` through the captures a one-ply search finds, then searches it within
// `limits`. True, with the search's score, when the position it ends in is quiet enough
// to keep.
bool rescore(Position& pos, const search::Limits& limits, Labels& labels, int& score) {
  if (side_in_check(pos)) return false;
  search::Limits one_ply = limits;
  one_ply.depth = 1;
  ToolSearchResult r = tool_search(pos, one_ply);
  if (r.best_move) play_variation(pos, labels.ce, labels.gr);
  if (side_in_check(pos)) return false;
  r = tool_search(pos, limits);
  score = r.score;
  return r.best_move && quiet_for_training(pos, r);
}

void write_scored(OutputFile& out, const Position& pos, const Labels& labels, int score) {
  char fen[128], text[256];
  write_fen(pos, fen, 0);
  if (labels.has_gr) std::snprintf(text, sizeof text, "%s ce %d; sc %d; gr %0.1f;\n", fen, labels.ce, score, labels.gr);
  else std::snprintf(text, sizeof text, "%s sc %d;\n", fen, score);
  out.write(text, std::strlen(text));
}

}  // namespace

int score_training_file(const ToolFiles& files, const search::StandingLimits& standing) {
  const std::string& input = files.input;
  OutputChoice output = choose_output(files, kUsualEpdOutput);
  if (input.find(".epd") == std::string::npos)
    return base::report_failure("cannot score %s: the name of an EPD file contains .epd", input.c_str());
  if (output.path.find(".epd") == std::string::npos)
    return base::report_failure("cannot write %s: the name of the EPD output contains .epd", output.path.c_str());
  InputFile file;
  OutputFile out;
  if (!open_run_files(file, input, out, output)) return base::kToolFailed;

  settings.calibration_nps = 10000000;
  settings.max_elo = 4000;
  base::set_quiet();
  const search::Limits limits = prepare_tool_searches(standing, 3);

  LineFaults faults;
  uint64_t scored = 0, read = 0;
  position::Game game;
  Position& pos = game.position;
  {
    EpdReader reader(file.get(), kLabelledLines);
    Progress progress("positions");
    Labels labels;
    while (!settings.quit && reader.next()) {
      progress.update(read, file.share(reader.bytes_read()));
      if (!read_labels(reader.epd(), labels)) {
        reader.faults().add(kBadValue);
        continue;
      }
      if (set_position(pos, reader.epd().fen) != 0) {
        reader.faults().add(kBadFen);
        continue;
      }
      ++read;
      int score;
      if (!rescore(pos, limits, labels, score)) continue;
      write_scored(out, pos, labels, score);
      ++scored;
    }
    faults = reader.faults();
  }
  if (!file.finish_reading()) return base::kToolFailed;
  faults.report(stdout);
  if (!out.commit()) return base::report_failure("%s", out.failure().c_str());
  std::printf("scored %llu of %llu positions into %s\n", static_cast<unsigned long long>(scored),
              static_cast<unsigned long long>(read), output.path.c_str());
  return base::kToolSucceeded;
}

}  // namespace tools
