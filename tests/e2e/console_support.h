// Helpers for end-to-end tests of the console command language ("-c").
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "engine_process.h"

namespace e2e {

using Lines = std::vector<std::string>;

// The board report the engine prints for a position, built independently from the FEN
// it starts with (placement, side, castling, en passant, half-move clock, moves made):
// that FEN, eight rank lines from rank 8 down, "white" or "black", and the empty line
// that closes the report.
Lines diagram(const std::string& fen_with_counters);

// The start position's report.
Lines start_diagram();

// Several groups of lines, one after another.
Lines join(std::initializer_list<Lines> parts);

// The reply to a move: its announcement ("1. move e2e4"), then the board it leads to.
Lines moved(const std::string& announcement, const std::string& fen_with_counters);

// An engine started in console mode. Every exchange ends with a marker word that names
// no move, so the engine's refusal of it ("invalid: sync") shows where the replies to
// the commands before it end: nothing that the commands print can be missed or leak
// into the next exchange.
class Console {
 public:
  Console();

  // Everything printed before the first command: the greeting and the start board.
  const Lines& startup() const { return startup_; }

  // Sends each command as one line and returns every line printed in reply.
  Lines run(const Lines& commands);
  Lines run(std::initializer_list<std::string> commands) { return run(Lines(commands)); }
  Lines run(const std::string& command) { return run(Lines{command}); }

  // Sends raw bytes (line ends included by the caller) and returns the reply lines.
  Lines run_raw(const std::string& bytes);

  EngineProcess& engine() { return engine_; }

 private:
  Lines collect();

  EngineProcess engine_;
  Lines startup_;
};

}  // namespace e2e
