// Win/draw/loss and distance-to-zeroing answers for positions the tables cover.
#pragma once

#include <cstdint>

#include "tablebase/tbposition.h"

namespace tablebase {

// Results of the table lookups beside every value: 0 failed (the value means nothing),
// 1 from the table, 2 decided by a capture or pawn move here, -1 (DTZ lookup only) the
// DTZ file stores the other side to move.
// WDL values, side to move: -2 loss, -1 blessed loss, 0 draw, 1 cursed win, 2 win.

constexpr int kWdlToDtz[5] = {-1, -101, 0, 101, 1};

uint64_t material_key(const TBPosition& pos, bool flipped);
// kind 0: WDL of the stored table, no captures resolved; kind 2: the stored DTZ value for a
// position whose WDL is `wdl`.
int probe_table(const TBPosition& pos, int wdl, int* success, int kind);
int probe_ab(const TBPosition& pos, int alpha, int beta, int* success);
int probe_wdl(const TBPosition& pos, int* success);
int probe_dtz(const TBPosition& pos, int* success);

}  // namespace tablebase
