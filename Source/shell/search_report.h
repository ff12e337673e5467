// The search's reports as the engine writes them: UCI "info" lines, or the console's
// lines, in whichever mode the engine is when each report comes.
#pragma once

#include "search/report.h"

namespace shell {

class ProtocolReporter final : public search::Reporter {
 public:
  // `takes_input`: a threaded search polls the engine's input through this reporter.
  explicit ProtocolReporter(bool takes_input) : takes_input_(takes_input) {}
  void started(const position::Position& root, float time_left, float target_time) override;
  void iteration(const search::IterationReport& report) override;
  void progress(const search::ProgressReport& report) override;
  void note(const char* text) override;
  // The input a running search takes: stop, ponderhit and quit set its flags, the
  // commands that change the game wait for its end.
  void poll() override;

 private:
  bool takes_input_;
};

// The reporter of the searches that answer the engine's commands.
search::Reporter& protocol_reporter();

// The same text for the batch tools' searches, which take no input while they run.
search::Reporter& batch_reporter();

}  // namespace shell
