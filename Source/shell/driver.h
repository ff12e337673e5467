// The engine's main loop in the normal run mode: it notices search requests, answers from
// the book or searches, reports "bestmove" and keeps the engine's clocks.
#pragma once

#include "position/position.h"
#include "search/think.h"

namespace shell {

// Sets up the start position and serves commands until quit is set.
void game_driver();

// Runs a search of `root` that reports as the engine does, and keeps its result: the
// console's "pv" shows the variation of the last search.
search::Result run_search(int mode, const position::Position& root, const search::Limits& limits, int threaded);
const search::Result& last_search();

// Console modes: play the engine's move on the board ("mv"), or let it play itself ("self").
void set_console_play(bool play_move, bool play_both);

// After a search in those modes: the engine's move is played on the board and self-play
// asks for the next search; without a move to play both modes end.
void play_engine_move(position::Move best);

}  // namespace shell
