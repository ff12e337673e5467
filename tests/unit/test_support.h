// Shared helpers for the unit tests of the position core and the move picker.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "position/bitboard.h"
#include "position/legality.h"
#include "position/movegen.h"
#include "position/position.h"
#include "position/types.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "base/settings.h"

namespace nesk_test {

using position::Bitboard;
using position::Move;
using position::MoveEntry;
using position::Position;

// Tables, keys and settings are set up once; one block serves as the main thread.
inline search::SearchThread& engine_thread() {
  static search::SearchThread* thread = [] {
    position::init_tables();
    position::init_zobrist();
    base::set_default_settings(base::settings);
    search::SearchThread* block = search::allocate_thread(0);
    search::main_thread = block;
    return block;
  }();
  return *thread;
}

// The fixture of the tests that set positions up on the engine thread.
class EngineThreadTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { engine_thread(); }
  search::SearchThread& thread = engine_thread();

  // The key of a position given as text, set up on a scratch block of its own so that
  // the test's position stays as it is.
  static uint64_t key_of(const char* fen) {
    static search::SearchThread* scratch = search::allocate_thread(1);
    EXPECT_EQ(position::set_position(scratch->position, fen), 0) << fen;
    return scratch->position.key;
  }
};

// The board of the position-layer tests: a plain game, no search thread. The tables,
// keys and settings are those engine_thread() sets up.
inline position::Game& board_game() {
  static position::Game* game = [] {
    engine_thread();
    return new position::Game;
  }();
  return *game;
}

// The fixture of the tests that set positions up on the plain game.
class GameTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { board_game(); }
  position::Game& game = board_game();
  position::GameHistory& history = game.history;

  // The key of a position given as text, set up on a game of its own so that the test's
  // position stays as it is.
  static uint64_t key_of(const char* fen) {
    static position::Game scratch;
    EXPECT_EQ(position::set_position(scratch.position, fen), 0) << fen;
    return scratch.position.key;
  }
};

// Square index from its name, "a1" = 0 .. "h8" = 63.
constexpr int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

// Bitboard of a list of square names.
inline Bitboard squares(std::initializer_list<const char*> names) {
  Bitboard b = 0;
  for (const char* n : names) b |= position::bit(sq(n));
  return b;
}

// A move from coordinate text "e2e4", with optional flags.
inline Move mv(const char* text, Move flags = 0) {
  return position::make_move_code(sq(text), sq(text + 2), flags);
}

// Sets the test thread's position; fails the current test when the text is rejected.
inline Position& set_up(const char* fen) {
  search::SearchThread& thread = engine_thread();
  std::string copy(fen);
  int result = position::set_position(thread.position, copy.c_str());
  EXPECT_EQ(result, 0) << "rejected: " << fen;
  search::reset_stack(thread);
  return thread.position;
}

// Sets the plain game's board; fails the current test when the text is rejected.
inline Position& set_board(const char* fen) {
  position::Game& game = board_game();
  std::string copy(fen);
  EXPECT_EQ(position::set_position(game.position, copy.c_str()), 0) << "rejected: " << fen;
  return game.position;
}

// Every pseudo-legal move of the side to move, in generation order.
inline std::vector<Move> pseudo_legal_moves(const Position& pos) {
  static MoveEntry list[search::kMaxMoves];
  position::generate_all_moves(pos, list);
  std::vector<Move> moves;
  for (const MoveEntry* e = list; e->move != position::kListEnd; ++e) moves.push_back(e->move);
  return moves;
}

inline std::vector<Move> legal_moves(const Position& pos) {
  std::vector<Move> moves;
  for (Move m : pseudo_legal_moves(pos))
    if (position::move_is_legal(pos, pos.side, m)) moves.push_back(m);
  return moves;
}

// Moves of a list written out from [begin, terminator).
inline std::vector<Move> moves_of(const MoveEntry* begin, const MoveEntry* end) {
  std::vector<Move> moves;
  for (const MoveEntry* e = begin; e < end; ++e) moves.push_back(e->move);
  return moves;
}

// Field-by-field comparison of two positions, naming the first field that differs.
inline testing::AssertionResult same_position(const Position& a, const Position& b) {
  if (a.game != b.game) return testing::AssertionFailure() << "history differs";
  if (std::memcmp(a.board, b.board, sizeof a.board)) return testing::AssertionFailure() << "board differs";
  if (std::memcmp(a.pieces, b.pieces, sizeof a.pieces)) return testing::AssertionFailure() << "pieces differ";
  if (a.touched != b.touched) return testing::AssertionFailure() << "touched differs";
  if (std::memcmp(a.castle_pieces, b.castle_pieces, sizeof a.castle_pieces))
    return testing::AssertionFailure() << "castle_pieces differ";
  if (std::memcmp(a.castle_path, b.castle_path, sizeof a.castle_path))
    return testing::AssertionFailure() << "castle_path differs";
  if (a.key != b.key) return testing::AssertionFailure() << "key differs";
  if (a.pawn_key != b.pawn_key) return testing::AssertionFailure() << "pawn_key differs";
  if (a.material[0] != b.material[0] || a.material[1] != b.material[1])
    return testing::AssertionFailure() << "material differs";
  if (std::memcmp(a.castle_rook, b.castle_rook, sizeof a.castle_rook))
    return testing::AssertionFailure() << "castle_rook differs";
  if (a.king_square[0] != b.king_square[0] || a.king_square[1] != b.king_square[1])
    return testing::AssertionFailure() << "king_square differs";
  if (a.side != b.side) return testing::AssertionFailure() << "side differs";
  if (a.ep_square != b.ep_square) return testing::AssertionFailure() << "ep_square differs";
  if (a.castle_rights != b.castle_rights) return testing::AssertionFailure() << "castle_rights differ";
  if (a.rule50 != b.rule50) return testing::AssertionFailure() << "rule50 differs";
  return testing::AssertionSuccess();
}

// Board, bitboards, material and king squares agree with each other (recomputed from the
// mailbox alone).
inline testing::AssertionResult consistent(const Position& pos) {
  Bitboard pieces[2][8] = {};
  uint32_t material[2] = {0, 0};
  int kings[2] = {position::kNoSquare, position::kNoSquare};
  if (pos.board[64] != 0) return testing::AssertionFailure() << "slot 64 not empty";
  for (int s = 0; s < 64; ++s) {
    int code = pos.board[s];
    if (!code) continue;
    int colour = position::colour_of(code), type = position::type_of(code);
    if (type < 1 || type > 6 || colour > 1) return testing::AssertionFailure() << "bad code " << code << " on " << s;
    pieces[colour][0] |= position::bit(s);
    pieces[colour][type] |= position::bit(s);
    material[colour] += position::kMaterialWeight[type];
    if (type == position::kKing) kings[colour] = s;
  }
  for (int c = 0; c < 2; ++c) {
    for (int t = 0; t < 7; ++t)
      if (pieces[c][t] != pos.pieces[c][t])
        return testing::AssertionFailure() << "pieces[" << c << "][" << t << "] disagrees with the board";
    if (material[c] != pos.material[c]) return testing::AssertionFailure() << "material[" << c << "] disagrees";
    if (kings[c] != pos.king_square[c]) return testing::AssertionFailure() << "king_square[" << c << "] disagrees";
  }
  return testing::AssertionSuccess();
}

// Changes a setting for the lifetime of the guard.
class SettingGuard {
 public:
  SettingGuard(uint8_t& field, uint8_t value) : field_(field), saved_(field) { field_ = value; }
  ~SettingGuard() { field_ = saved_; }
  SettingGuard(const SettingGuard&) = delete;
  SettingGuard& operator=(const SettingGuard&) = delete;

 private:
  uint8_t& field_;
  uint8_t saved_;
};

}  // namespace nesk_test
