// The engine's main loop in the normal run mode.
#pragma once

namespace shell {

// Sets up the start position and serves commands until quit is set.
void game_driver();

}  // namespace shell
