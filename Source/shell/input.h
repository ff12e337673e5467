// The engine's only reader of standard input. It never blocks: each call looks for one
// complete line, from a pipe or a terminal alike, and hands it to the command sets.
#pragma once

namespace shell {

constexpr int kMaxLineLength = 4998;

// Takes at most one complete line from standard input and executes it as a UCI command,
// or as a console command when the UCI mode is off. End of input sets quit when
// quit_at_end_of_input is on (the engine's own mode: the GUI has gone); a benchmark run
// with nothing on its input goes on.
void poll_input();

// The same while a search runs or a finished ponder search waits: the line goes to the
// command sets' search-time handlers, which only set the search's flags, answer at once,
// or hold a command that changes the game until the search has ended.
void poll_input_while_searching();
extern bool quit_at_end_of_input;

// Stores the next complete line in `line` (room for kMaxLineLength + 1 bytes) and returns
// 1, or returns 0 when none is complete yet. Lines longer than kMaxLineLength are dropped
// with a one-line report.
int read_line(char* line);

// Waits for the next line (for dialogues such as the board editor); 0 at end of input.
int wait_for_line(char* line);

// Sleeps in the kernel until input arrives or `timeout_ms` pass; returns at once when a
// complete line is already waiting or the input has ended. An idle engine waits here
// instead of polling, and still answers the moment a line comes.
void wait_for_input(int timeout_ms);

// 1 once standard input has closed and every line before the end has been taken.
int input_finished();

// A diagnostic line: "info string " in front in UCI mode, the bare text in console mode.
void report(const char* text);

}  // namespace shell
