// Feeds FEN text to the position set-up. A position it accepts must be whole (board,
// bitboards, material, kings and keys agree), must survive being written out and read
// back, and its moves must agree everywhere they are looked at: the full generator with
// the legality test, the staged generator of perft, make/unmake and the move notation.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "position/makemove.h"
#include "position/perft.h"
#include "position/zobrist.h"

namespace {

using namespace position;
using nesk_fuzz::fail;

std::string fen_of(const Position& pos) {
  char fen[128];
  write_fen(pos, fen, 1);
  return fen;
}

void check_whole(const Position& pos, const char* when) {
  Bitboard pieces[2][8] = {};
  uint32_t material[2] = {0, 0};
  int kings[2] = {kNoSquare, kNoSquare};
  if (pos.board[64]) fail("slot 64 taken", when);
  for (int s = 0; s < 64; ++s) {
    int code = pos.board[s];
    if (!code) continue;
    int colour = colour_of(code), type = type_of(code);
    if (type < kPawn || type > kKing || colour > 1) fail("bad piece code", when);
    pieces[colour][0] |= bit(s);
    pieces[colour][type] |= bit(s);
    material[colour] += kMaterialWeight[type];
    if (type == kKing) kings[colour] = s;
  }
  for (int c = 0; c < 2; ++c) {
    for (int t = 0; t < 8; ++t)
      if (pieces[c][t] != pos.pieces[c][t]) fail("bitboards disagree with the board", when);
    if (material[c] != pos.material[c] || kings[c] != pos.king_square[c]) fail("material or king square", when);
  }
  Position fresh = pos;
  compute_keys(fresh);
  if (fresh.key != pos.key || fresh.pawn_key != pos.pawn_key) fail("incremental keys", when);
}

bool same(const Position& a, const Position& b) {
  return !std::memcmp(a.board, b.board, sizeof a.board) && !std::memcmp(a.pieces, b.pieces, sizeof a.pieces) &&
         a.key == b.key && a.pawn_key == b.pawn_key && a.side == b.side && a.ep_square == b.ep_square &&
         a.castle_rights == b.castle_rights && a.rule50 == b.rule50 &&
         !std::memcmp(a.castle_rook, b.castle_rook, sizeof a.castle_rook) && a.material[0] == b.material[0] &&
         a.material[1] == b.material[1];
}

// Legal moves counted the plain way: every pseudo-legal move through the legality test.
uint64_t plain_perft(Position& pos, int depth) {
  MoveEntry list[kMaxMoves];
  generate_all_moves(pos, list);
  uint64_t nodes = 0;
  for (const MoveEntry* e = list; e->move != kListEnd; ++e) {
    if (!move_is_legal(pos, pos.side, e->move)) continue;
    if (depth <= 1) {
      ++nodes;
      continue;
    }
    make_move(pos, e->move);
    nodes += plain_perft(pos, depth - 1);
    unmake_move(pos);
  }
  return nodes;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  nesk_fuzz::reset_engine(1);
  Position& pos = search::main_thread->position;
  if (set_position(pos, text.c_str()) != 0) return 0;
  const std::string fen = fen_of(pos);
  check_whole(pos, fen.c_str());

  Position again = pos;
  if (set_position(again, fen.c_str()) != 0) fail("own FEN rejected:", fen);
  if (!same(pos, again)) fail("own FEN reads back differently:", fen);

  const Position before = pos;
  MoveEntry list[kMaxMoves];
  generate_all_moves(pos, list);
  // Notation: the SAN form names this move and no other, and so does the coordinate
  // form unless it is one of two (castling written as the king's step, in Chess960 with
  // that notation off, reads as the king's step too).
  const MoveStyle style{(size & 1) != 0, base::settings.uci_mode != 0};
  std::vector<std::string> coordinates;
  for (const MoveEntry* e = list; e->move != kListEnd; ++e) {
    if (coordinates.size() + 1 >= kMaxMoves) fail("move list overflows", fen);
    char text[24];
    move_to_text(pos, pos.side, e->move, text, style);
    if (move_is_legal(pos, pos.side, e->move)) coordinates.push_back(text);
  }
  for (const MoveEntry* e = list; e->move != kListEnd; ++e) {
    Move move = e->move;
    bool legal = move_is_legal(pos, pos.side, move);
    if (legal != (is_legal_move(pos, move) != 0)) fail("legality tests disagree", fen);
    if (!legal) continue;

    char forms[4][24];
    san_forms(pos, move, forms[0], forms[1], forms[2], forms[3], style);
    char coordinate[24];
    move_to_text(pos, pos.side, move, coordinate, style);
    bool unique = std::count(coordinates.begin(), coordinates.end(), std::string(coordinate)) == 1;
    for (const char* form : {forms[0], forms[1]}) {
      if (form == forms[0] && !unique) continue;
      Move read = kNoMove;
      if (!text_to_move(pos, form, read, style) || read != move) fail("move text does not read back", fen + " " + form);
    }

    make_move(pos, move);
    std::string after = fen + " after " + forms[0];
    check_whole(pos, after.c_str());
    int mover = pos.side ^ 1;
    if (square_attacked(pos, pos.king_square[mover], pos.side)) fail("legal move leaves the king attacked", after);
    unmake_move(pos);
    if (!same(pos, before)) fail("unmake does not restore", after);
  }

  if (perft(pos, 2) != plain_perft(pos, 2)) fail("perft and the plain count differ", fen);
  if (!same(pos, before)) fail("perft does not restore", fen);
  return 0;
}
