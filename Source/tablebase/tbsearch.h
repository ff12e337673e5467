// Endgame tablebases as the search sees them: a probe entry for interior nodes and the
// root's choice by distance to zeroing.
#pragma once

#include "position/position.h"
#include "tablebase/tbposition.h"

namespace tablebase {

// The probing code's board for `pos`, with the given fifty-move counter.
TBPosition to_tb_position(const position::Position& pos, int rule50);

// A depth that passes every depth test, whatever SyzygyProbeDepth6 asks for: the root
// probes at it, and so does a node below one the tables have decided.
inline constexpr int kProbeAtAnyDepth = 1 << 20;

// Whether a position of `men` men may be probed at `depth`: six men from
// SyzygyProbeDepth6 on, seven from the larger of that and 7, fewer at any depth.
bool deep_enough_to_probe(int men, int depth);

// WDL + 2 of the position (0 loss .. 4 win, side to move's view), or -1 when the tables
// cannot answer: castling rights, too many men, too shallow for six or seven men, no
// table.
int tb_probe_search(const position::Position& pos, int depth);

// The root move by DTZ when the fifty-move rule may matter. Returns the root's result code
// (0..4) and sets `move`, or -1 when this step does not decide (no table, a failed probe,
// no move to choose).
int tb_root_dtz(const position::Position& pos, position::Move& move);

}  // namespace tablebase
