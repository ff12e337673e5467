// Move ordering: the staged picker that hands the search one move at a time (hash move,
// good captures and promotions, then quiet moves by history and killers, then the rest),
// and the history and killer memory it reads.
#pragma once

#include "position/position.h"
#include "search/thread.h"

namespace search {

// Indexed by piece type: none, pawn, knight, bishop, rook, queen, king.
constexpr int kGoodCaptureRank[7] = {210, 220, 230, 230, 240, 250, 0};
constexpr int kLosingCaptureRank[7] = {2, 4, 12, 12, 16, 20, 0};
constexpr int kExchangeRank[7] = {0, 1, 3, 3, 5, 10, 99};
constexpr int kPieceValue[7] = {0, 100, 350, 350, 550, 1060, 10000};
constexpr int kPieceWeight[7] = {0, 0, 1, 1, 2, 2, 0};

// min(depth, 8): how strongly one result moves a history value.
constexpr int history_weight(int depth) { return depth < 8 ? depth : 8; }

// Sets the picker of the thread's current ply to its first stage.
void start_picker(SearchThread& thread, uint8_t mode, Move tt_move, int checker);

// The next move of the thread's current ply, or null when the list is exhausted.
MoveEntry* next_move(SearchThread& thread);

// 1 when the move of the side to move loses no more than a small margin in exchanges.
int see_ok(const position::Position& pos, Move move);

// Swaps the entry with the highest score (the first of equal maxima) into the first slot.
void best_to_front(MoveEntry* list);

// History, killer, counter-move and follow-up update after a quiet move was searched.
void update_quiet_stats(SearchThread& thread, int ply, const MoveEntry& entry, int score, int beta, int depth);

}  // namespace search
