// The principal-variation search: the node entry (limits, draws, table, pruning
// decisions) and the move loop (late-move pruning and reductions), with the quiescence
// search below the horizon.
#pragma once

#include "eval/score.h"
#include "position/position.h"

namespace search {

struct SearchThread;

// Scores, side to move's view: mate at ply p is p - 10000; eval::kNoScore, below every
// mate, means no score.
constexpr int kMateScore = 10000;
using eval::kNoScore;
constexpr int kDecided = 3000;
constexpr int kPvSize = 82;  // principal-variation buffers are indexed by ply, 0..81

// The node searches run on the thread's own position; `side` is its side to move.
int search(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type,
           position::Move* buffer);
int search_moves(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type,
                 position::Move* buffer);
int quiescence(SearchThread& thread, int side, int ply, int depth, int alpha, int beta, int node_type,
               position::Move* buffer);

// Current-move flags of a move about to be made.
constexpr int kMoveCapture = 1, kMoveCheck = 2, kMoveToLastRank = 4, kMoveToSeventh = 8, kMoveToSixth = 16;
int move_flags(const position::Position& pos, const position::MoveEntry& entry);

}  // namespace search
