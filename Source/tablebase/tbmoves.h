// Move generation for the probing code's board. There is no castling: positions with
// castling rights are never probed.
#pragma once

#include "tablebase/tbposition.h"

namespace tablebase {

// Captures of the side to move, en passant and capturing promotions included (a promotion
// gives four moves: queen, rook, bishop, knight). Returns the end of the list.
TBMove* tb_gen_captures(const TBPosition& pos, TBMove* moves);
// Every pseudo-legal move of the side to move, in the same promotion order.
TBMove* tb_gen_moves(const TBPosition& pos, TBMove* moves);
// Plays `move` into `child`; 0 when it leaves the mover's king attacked (child is then
// meaningless).
int tb_do_move(TBPosition& child, const TBPosition& pos, TBMove move);
int tb_is_check(const TBPosition& pos);
// An enemy piece on the to-square, or a pawn moving to the en-passant square.
int tb_is_capture(const TBPosition& pos, TBMove move);
int tb_is_pawn_move(const TBPosition& pos, TBMove move);
int tb_is_en_passant(const TBPosition& pos, TBMove move);
// 1 when the side to move is in check and has no legal move.
int is_mate(const TBPosition& pos);
// 1 when the side to move has at least one legal move.
int tb_has_legal_move(const TBPosition& pos);

}  // namespace tablebase
