#include "position/makemove.h"


namespace position {

namespace {

constexpr int castle_index(int side, Move move) { return 2 * side + ((move & kFlagKingSide) ? 0 : 1); }

bool is_castling(int mover, Move move) { return type_of(mover) == kKing && (move & kFlagMask); }

void make_castling(Position& pos, int side, int from, int destination, Move move) {
  int rook_from = pos.castle_rook[castle_index(side, move)];
  int rook_code = pos.board[rook_from];
  int king_code = pos.board[from];
  int rook_to = (move & kFlagKingSide) ? destination - 1 : destination + 1;
  // The rook leaves first so that Chess960 overlaps (either piece already on its
  // target square) come out right.
  remove_piece(pos, rook_from);
  move_piece(pos, side, from, destination);
  place_piece(pos, side, kRook, rook_to);
  pos.rule50 = 0;
  toggle_key(pos, king_code, from);
  toggle_key(pos, king_code, destination);
  toggle_key(pos, rook_code, rook_from);
  toggle_key(pos, rook_code, rook_to);
  pos.king_square[side] = static_cast<uint8_t>(destination);
}

}  // namespace

void make_move(Position& pos, Move move) {
  GameHistory& game = *pos.game;
  int side = pos.side;
  int step = side == kWhite ? 8 : -8;
  int from = move_from(move), to = move_to(move);
  int mover = pos.board[from];
  int captured = pos.board[to];

  bool castling = is_castling(mover, move);
  if (castling) {
    to = make_square((move & kFlagKingSide) ? 6 : 2, rank_of(from));
    move = make_move_code(from, to, move & kFlagMask);
    captured = 0;
  } else if (type_of(mover) == kPawn && (rank_of(to) == 0 || rank_of(to) == 7) && !(move & kFlagMask)) {
    move |= kFlagQueen;  // an unflagged promotion is a queen; record it so unmake sees it
  }

  UndoRecord& record = game.undo[game.undo_index];
  ++game.ply;
  ++game.undo_index;
  record.move = move;
  record.captured = static_cast<uint8_t>(type_of(captured));
  record.ep_square = pos.ep_square;
  record.rule50 = pos.rule50;
  record.castle_rights = pos.castle_rights;
  record.touched = pos.touched;
  record.key = pos.key;
  record.pawn_key = pos.pawn_key;
  game.last_move = move;

  int old_ep = pos.ep_square;
  int old_rights = pos.castle_rights;
  pos.touched |= bit(from) | bit(to);
  pos.ep_square = kNoSquare;
  for (int i = 0; i < 4; ++i)
    if (pos.touched & pos.castle_pieces[i]) pos.castle_rights &= static_cast<uint8_t>(~(1 << i));
  ++pos.rule50;
  pos.side ^= 1;
  if (old_ep != kNoSquare) toggle_key(pos, 0, old_ep);
  if (pos.castle_rights != old_rights) {
    toggle_key(pos, 0, old_rights);
    toggle_key(pos, 0, pos.castle_rights);
  }

  if (castling) {
    make_castling(pos, side, from, to, move);
    return;
  }

  if (captured) {
    remove_piece(pos, to);
    toggle_key(pos, captured, to);
    pos.rule50 = 0;
  }
  move_piece(pos, side, from, to);
  toggle_key(pos, mover, from);

  if (type_of(mover) != kPawn) {
    toggle_key(pos, mover, to);
    if (type_of(mover) == kKing) pos.king_square[side] = static_cast<uint8_t>(to);
    return;
  }

  toggle_key(pos, mover, to);
  pos.rule50 = 0;
  if (to == from + 2 * step) {
    pos.ep_square = static_cast<uint8_t>(from + step);
    toggle_key(pos, 0, pos.ep_square);
  } else if (to == old_ep) {
    remove_piece(pos, to - step);
    toggle_key(pos, piece_code(side ^ 1, kPawn), to - step);
  } else if (rank_of(to) == 0 || rank_of(to) == 7) {
    remove_piece(pos, to);
    toggle_key(pos, mover, to);
    int type = promotion_type(move);
    place_piece(pos, side, type, to);
    toggle_key(pos, piece_code(side, type), to);
  }
}

void unmake_move(Position& pos) {
  GameHistory& game = *pos.game;
  --game.undo_index;
  --game.ply;
  const UndoRecord& record = game.undo[game.undo_index];
  game.last_move = game.undo_index > 0 ? game.undo[game.undo_index - 1].move : 0;

  Move move = record.move;
  int from = move_from(move), to = move_to(move);
  pos.touched = record.touched;
  pos.side ^= 1;
  pos.ep_square = record.ep_square;
  pos.castle_rights = record.castle_rights;
  pos.rule50 = record.rule50;
  int side = pos.side;
  int piece = pos.board[to];

  if (type_of(piece) == kKing && (move & kFlagMask)) {
    int index = 2 * side + ((move & kFlagKingSide) ? 0 : 1);
    remove_piece(pos, (move & kFlagKingSide) ? to - 1 : to + 1);
    move_piece(pos, side, to, from);
    place_piece(pos, side, kRook, pos.castle_rook[index]);
    pos.king_square[side] = static_cast<uint8_t>(from);
  } else {
    if (type_of(piece) != kPawn && (move & kFlagMask) && type_of(piece) != kKing) {
      move_piece(pos, side, to, from);
      remove_piece(pos, from);
      place_piece(pos, side, kPawn, from);
    } else {
      move_piece(pos, side, to, from);
    }
    if (record.captured) place_piece(pos, side ^ 1, record.captured, to);
    int moved_type = type_of(pos.board[from]);
    if (moved_type == kPawn && to == pos.ep_square) place_piece(pos, side ^ 1, kPawn, to - (side == kWhite ? 8 : -8));
    if (moved_type == kKing) pos.king_square[side] = static_cast<uint8_t>(from);
  }
  pos.key = record.key;
  pos.pawn_key = record.pawn_key;
}

void make_null_move(Position& pos) {
  GameHistory& game = *pos.game;
  UndoRecord& record = game.undo[game.undo_index];
  record.key = pos.key;
  record.pawn_key = pos.pawn_key;
  record.move = kNoMove;
  record.captured = 0;
  record.ep_square = pos.ep_square;
  record.touched = pos.touched;
  record.rule50 = pos.rule50;
  record.castle_rights = pos.castle_rights;
  ++game.undo_index;
  ++game.ply;
  if (pos.ep_square != kNoSquare) {
    toggle_key(pos, 0, pos.ep_square);
    pos.ep_square = kNoSquare;
  }
  pos.side ^= 1;
  game.last_move = kNoMove;
}

void unmake_null_move(Position& pos) {
  GameHistory& game = *pos.game;
  --game.undo_index;
  --game.ply;
  const UndoRecord& record = game.undo[game.undo_index];
  pos.side ^= 1;
  pos.ep_square = record.ep_square;
  pos.key = record.key;
  game.last_move = game.undo_index > 0 ? game.undo[game.undo_index - 1].move : kNoMove;
}

}  // namespace position
