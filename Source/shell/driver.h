// The engine's main loop in the normal run mode: it notices search requests, answers from
// the book or searches, reports "bestmove" and keeps the engine's clocks.
#pragma once

namespace shell {

// Sets up the start position and serves commands until quit is set.
void game_driver();

// Console modes: play the engine's move on the board ("mv"), or let it play itself ("self").
void set_console_play(bool play_move, bool play_both);

}  // namespace shell
