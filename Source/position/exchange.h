// Static exchange evaluation: the material outcome of a capture sequence on one square,
// worked out on occupancy bitboards without making any move.
#pragma once

#include "position/position.h"

namespace position {

// Exchange values by piece type; a king captured inside an exchange counts 9999.
constexpr int kExchangeValue[8] = {0, 100, 350, 350, 550, 1060, 10000, 0};
constexpr int kKingCapture = 9999;

// Square of the cheapest piece of `colour` that attacks `square` when only the squares of
// `occupancy` are occupied, or 64. Pieces outside `occupancy` do not count, so removing a
// slider from it lets the piece behind it (an x-ray) attack.
int least_valuable_attacker(const Position& pos, int square, int colour, Bitboard occupancy);

// Gain for `side` capturing on `to` with the piece on `from`; with from = 64, with its
// cheapest attacker, never below 0.
int see(const Position& pos, int side, int from, int to);

// Gain for `colour` when it may recapture on `square`, where a piece of type
// `standing_type` of the other colour now stands; never below 0.
int see_recapture(const Position& pos, int colour, int square, int standing_type, Bitboard occupancy);

}  // namespace position
