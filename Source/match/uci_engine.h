// A UCI engine in a child process: the hand-shake, the options, a new game, and one
// move asked for with a deadline, with the score and depth of its last report.
#pragma once

#include <cstdint>
#include <string>

#include "match/engine_setup.h"
#include "match/process.h"

namespace match {

// A search report: a score in centipawns or in moves to mate, from the mover's view.
struct EngineScore {
  bool known = false;
  bool mate = false;
  int value = 0;  // centipawns, or moves to mate (negative: being mated)
  int depth = 0;
};

struct MoveReply {
  enum class Status { kMove, kHang, kCrash } status = Status::kCrash;
  std::string move;       // the text after "bestmove"
  EngineScore score;
  int64_t elapsed_ms = 0;
  std::string detail;     // how a crashed engine ended
};

class UciEngine {
 public:
  explicit UciEngine(const EngineSetup& setup) : setup_(setup) {}
  ~UciEngine() { quit(); }
  UciEngine(const UciEngine&) = delete;
  UciEngine& operator=(const UciEngine&) = delete;

  const EngineSetup& setup() const { return setup_; }
  bool running() const { return process_.running(); }

  // Starts the process, waits for "uciok", sets the options and waits for "readyok".
  bool start(int64_t timeout_ms, std::string& error);
  // "ucinewgame" and a "readyok"; false when the engine does not answer in time.
  bool new_game(int64_t timeout_ms);
  // Sends the position and go commands and waits up to `timeout_ms` for "bestmove". An
  // engine that does not answer in time is killed.
  MoveReply go(const std::string& position_command, const std::string& go_command, int64_t timeout_ms);
  // "quit", a moment to go, then the kill.
  void quit();

 private:
  bool wait_for(const std::string& token, int64_t timeout_ms);

  EngineSetup setup_;
  ChildProcess process_;
};

// Reads the score and depth of an "info" line into `score` (left alone for other lines).
void read_info_line(const std::string& line, EngineScore& score);

}  // namespace match
