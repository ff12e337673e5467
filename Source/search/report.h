// How a running search tells the rest of the program what it does. The search fills
// plain records and decides when a report is due; the shell turns them into UCI or
// console text. A reporter that overrides nothing keeps the search silent.
#pragma once

#include <cstdint>

#include "position/position.h"

namespace search {

// A line of the search: the best so far of an iteration, or the last word at its end.
struct IterationReport {
  const position::Position* root;  // where the variation starts
  const position::Move* pv;        // ends with kNoMove
  int thread_number;
  int line;  // the MultiPV line from 1; 0 for the updates of a single-line search
  int depth;
  int seldepth;
  int score;
  double seconds;
  uint64_t nodes;
  uint64_t tb_hits;
  int hashfull;  // per mille; 0 below depth 7, where it is not worth the table walk
  bool stopped;  // the search has been told to end
};

// A sign of life from a long iteration that has no new line yet.
struct ProgressReport {
  int depth;
  double seconds;
  uint64_t nodes;
  int hashfull;
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  // The search starts from `root` with `time_left` on the clock and a first target.
  virtual void started(const position::Position& /*root*/, float /*time_left*/, float /*target_time*/) {}
  virtual void iteration(const IterationReport& /*report*/) {}
  virtual void progress(const ProgressReport& /*report*/) {}
  // A remark in words, such as the tablebase verdict at the root.
  virtual void note(const char* /*text*/) {}
  // Called about every millisecond by the caller's thread while a threaded search runs,
  // until a stop is requested: the moment to look at the input. It may only set the
  // flags a search reads (stop, ponderhit, quit) or answer at once; commands that change
  // the game must wait until the search has ended.
  virtual void poll() {}
};

}  // namespace search
