// Time management and strength limiting: how long a search may run, when it must stop,
// and the node rate a limited strength allows.
#pragma once

namespace search {

// Updates the elapsed and target times and sets the abort flag when time is up.
void time_check();

// Sets the target node rate for the strength limit (UCI_LimitStrength with UCI_Elo).
void set_strength_limit();

// The node rates the Elo curve is used between.
constexpr double kLowestRate = 10.0;
constexpr double kHighestRate = 1e7;

// 850 + 250 L - 5 L^2 with L = ln(nps): the Elo that a node rate buys.
double elo_from_nps(double nps);

// `nps` brought inside kLowestRate .. kHighestRate; anything that is not a number above
// the lowest rate (0, negative, NaN) becomes the lowest.
double clamp_rate(double nps);

// The node rate whose Elo (by elo_from_nps) is `elo`, with `elo` first brought inside
// the range the curve reaches between 10 and 10^7 nodes per second.
double nps_for_elo(double elo);

}  // namespace search
