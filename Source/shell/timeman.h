// Time management and strength limiting: how long a search may run, when it must stop,
// and the node rate a limited strength allows.
#pragma once

namespace shell {

// Updates the elapsed and target times and sets the abort flag when time is up.
void time_check();

// Sets the target node rate for the strength limit (UCI_LimitStrength with UCI_Elo).
void set_strength_limit();

// The node rate whose Elo (by elo_from_nps) is `elo`, with `elo` first brought inside
// the range the curve reaches between 10 and 10^7 nodes per second.
double nps_for_elo(double elo);

}  // namespace shell
