// En passant in the tables. The files store no en-passant right: the prober weighs the
// capture itself, and its move making grants the right after a double push. King-and-pawn
// positions around a double push are checked against values built without that code:
// one ply over the legal moves of the engine's own generator (which shares nothing with
// the prober's), each child probed as a position without an en-passant right; a child that
// has one is valued by one more such ply.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "base/settings.h"
#include "position/makemove.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"
#include "test_support.h"

namespace {

using namespace tablebase;
using position::Move;
using position::Position;

const std::string kTables = std::string(NESK_TESTDATA) + "/syzygy";

enum Family {
  kJustPushed,  // a pawn has just gone two squares past an enemy pawn, which may take it
  kMayPush,     // a pawn on its first square may go two squares past an enemy pawn
};

std::string fen_of(const char* board, bool white_to_move, const std::string& ep, int clock) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      char c = board[rank * 8 + file];
      if (c == '.') {
        ++empty;
        continue;
      }
      if (empty) fen += static_cast<char>('0' + empty);
      fen += c;
      empty = 0;
    }
    if (empty) fen += static_cast<char>('0' + empty);
    if (rank) fen += '/';
  }
  return fen + (white_to_move ? " w - " : " b - ") + ep + " " + std::to_string(clock) + " 1";
}

int distance(int a, int b) { return std::max(std::abs(a % 8 - b % 8), std::abs(a / 8 - b / 8)); }

// Whether a pawn on `pawn` going towards rank + `dir` attacks `target`.
bool pawn_attacks(int pawn, int dir, int target) {
  return target / 8 == pawn / 8 + dir && std::abs(target % 8 - pawn % 8) == 1;
}

// The legal KPvKP positions of `family`, for both colours, every pair of neighbouring
// files and every placement of the kings; every `stride`-th one is kept. `clock` is the
// fifty-move counter written into the FEN.
std::vector<std::string> double_push_positions(Family family, int stride, int clock) {
  std::vector<std::string> fens;
  long index = 0;
  for (int pusher = 0; pusher < 2; ++pusher) {  // 0 white, 1 black
    int forward = pusher == 0 ? 1 : -1;
    int to_rank = pusher == 0 ? 3 : 4, passed_rank = to_rank - forward, from_rank = to_rank - 2 * forward;
    for (int file = 0; file < 8; ++file)
      for (int taker_file : {file - 1, file + 1}) {
        if (taker_file < 0 || taker_file > 7) continue;
        int pushed = to_rank * 8 + file, passed = passed_rank * 8 + file, origin = from_rank * 8 + file;
        int taker = to_rank * 8 + taker_file;
        auto used = [&](int s) { return s == pushed || s == passed || s == origin || s == taker; };
        for (int pusher_king = 0; pusher_king < 64; ++pusher_king)
          for (int taker_king = 0; taker_king < 64; ++taker_king) {
            if (used(pusher_king) || used(taker_king) || distance(pusher_king, taker_king) < 2) continue;
            // The side that just moved is not in check; after a double push, neither was
            // the taker's king in check from the pawn on its first square.
            if (family == kJustPushed &&
                (pawn_attacks(taker, -forward, pusher_king) || pawn_attacks(origin, forward, taker_king)))
              continue;
            if (family == kMayPush && pawn_attacks(origin, forward, taker_king)) continue;
            if (index++ % stride) continue;
            char board[64];
            std::fill(board, board + 64, '.');
            board[family == kJustPushed ? pushed : origin] = pusher == 0 ? 'P' : 'p';
            board[taker] = pusher == 0 ? 'p' : 'P';
            board[pusher_king] = pusher == 0 ? 'K' : 'k';
            board[taker_king] = pusher == 0 ? 'k' : 'K';
            bool white_to_move = (pusher == 0) == (family == kMayPush);
            std::string ep = "-";
            if (family == kJustPushed) {
              ep = static_cast<char>('a' + file);
              ep += static_cast<char>('1' + passed_rank);
            }
            fens.push_back(fen_of(board, white_to_move, ep, clock));
          }
      }
  }
  return fens;
}

// A legal move and its value for the mover, -2..2.
struct MoveValue {
  Move move;
  int value;
  bool zeroing;     // a capture or a pawn move
  bool en_passant;
};

class TablebaseEnPassant : public ::testing::Test {
 protected:
  void SetUp() override {
    nesk_test::engine_thread();
    std::ifstream check(kTables + "/KPvKP.rtbw");
    if (!check) GTEST_SKIP() << "tablebase files not found in " << kTables;
    if (base::settings.syzygy_path != kTables) {
      base::settings.syzygy_path = kTables;
      tb_init();
    }
  }

  // A move that does not zero the clock spends a ply of the fifty-move count: a child won
  // or lost in exactly 100 plies is cursed or blessed one ply up.
  static std::vector<MoveValue> move_values(Position& pos) {
    std::vector<MoveValue> values;
    for (Move m : nesk_test::legal_moves(pos)) {
      int from = position::move_from(m), to = position::move_to(m);
      bool pawn = position::type_of(pos.board[from]) == position::kPawn;
      bool en_passant = pawn && to == pos.ep_square;
      bool zeroing = pawn || pos.board[to] != 0;
      position::make_move(pos, m);
      TBPosition child = to_tb_position(pos, 0);
      int value;
      if (takes_in_passing(pos)) {
        value = -best_of(move_values(pos));
      } else {
        child.ep = 0;  // a right nobody can use
        int success;
        int wdl = probe_wdl(child, &success);
        EXPECT_NE(success, 0);
        value = -wdl;
        if (!zeroing && (wdl == 2 || wdl == -2)) {
          int dtz = probe_dtz(child, &success);
          if (wdl == -2 && dtz <= -100) value = 1;
          if (wdl == 2 && dtz >= 100) value = -1;
        }
      }
      position::unmake_move(pos);
      values.push_back({m, value, zeroing, en_passant});
    }
    return values;
  }

  static bool takes_in_passing(const Position& pos) {
    std::vector<Move> moves = nesk_test::legal_moves(pos);
    return std::any_of(moves.begin(), moves.end(), [&](Move m) {
      return position::move_to(m) == pos.ep_square && position::type_of(pos.board[position::move_from(m)]) == position::kPawn;
    });
  }

  static int best_of(const std::vector<MoveValue>& values) {
    int best = -3;
    for (const MoveValue& v : values) best = std::max(best, v.value);
    return best;
  }

  static bool zeroing_move_reaches(const std::vector<MoveValue>& values, int value) {
    return std::any_of(values.begin(), values.end(), [&](const MoveValue& v) { return v.zeroing && v.value == value; });
  }

  // The root's choice with the fifty-move counter running keeps the result: it reports it
  // and plays a move of that value, one the engine's board accepts. Returns the move.
  static Move expect_root_keeps_the_result(Position& pos, const std::vector<MoveValue>& values, const std::string& fen) {
    int best = best_of(values);
    Move move;
    EXPECT_EQ(tb_root_dtz(pos, move), best + 2) << fen;
    auto played = std::find_if(values.begin(), values.end(), [&](const MoveValue& v) { return v.move == move; });
    EXPECT_NE(played, values.end()) << fen << ": not a legal move";
    if (played != values.end()) {
      EXPECT_EQ(played->value, best) << fen;
    }
    return move;
  }
};

// With the right to take in passing: the WDL exactly. The DTZ too where the moves' values
// decide it: 0 for a draw, 1 (101 when cursed, negative for losses) when a capture or
// pawn move reaches the result at once, for a loss only when no other move does; else
// the right does not come into it and the board without it gives the distance.
TEST_F(TablebaseEnPassant, WeighedAgainstOnePlyOfChildren) {
  int compared = 0, capture_decides = 0, capture_declined = 0;
  for (const std::string& fen : double_push_positions(kJustPushed, 5, 0)) {
    Position& pos = nesk_test::set_up(fen.c_str());
    ASSERT_TRUE(takes_in_passing(pos)) << fen;
    std::vector<MoveValue> values = move_values(pos);
    int expected = best_of(values);
    TBPosition with_right = to_tb_position(pos, 0), without = with_right;
    without.ep = 0;
    int success;
    EXPECT_EQ(probe_wdl(with_right, &success), expected) << fen;
    EXPECT_NE(success, 0) << fen;
    capture_decides += probe_wdl(without, &success) != expected;
    auto capture = std::find_if(values.begin(), values.end(), [](const MoveValue& v) { return v.en_passant; });
    capture_declined += capture->value < expected;

    bool other_reaches = std::any_of(values.begin(), values.end(),
                                     [&](const MoveValue& v) { return !v.zeroing && v.value == expected; });
    int dtz;
    if (expected == 0) dtz = 0;
    else if (zeroing_move_reaches(values, expected) && (expected > 0 || !other_reaches))
      dtz = (expected > 0 ? 1 : -1) * (std::abs(expected) == 2 ? 1 : 101);
    else dtz = probe_dtz(without, &success);
    EXPECT_EQ(probe_dtz(with_right, &success), dtz) << fen;
    ++compared;
  }
  EXPECT_GT(compared, 15000);
  // Both ways the capture can go are among them.
  EXPECT_GT(capture_decides, 1000);
  EXPECT_GT(capture_declined, 300);
}

// The root, with the fifty-move counter running, plays the capture in passing where it
// alone holds the result, and a double push only where the capture it allows does not
// spoil it. A win's distance is 1 exactly when a pawn move or capture wins at once.
TEST_F(TablebaseEnPassant, RootAndDistanceWeighTheCapture) {
  int captures_played = 0;
  for (const std::string& fen : double_push_positions(kJustPushed, 7, 10)) {
    Position& pos = nesk_test::set_up(fen.c_str());
    std::vector<MoveValue> values = move_values(pos);
    Move move = expect_root_keeps_the_result(pos, values, fen);
    captures_played += position::move_to(move) == pos.ep_square;
  }
  EXPECT_GT(captures_played, 1000);

  int pushes_refuted = 0;
  for (const std::string& fen : double_push_positions(kMayPush, 11, 10)) {
    Position& pos = nesk_test::set_up(fen.c_str());
    std::vector<MoveValue> values = move_values(pos);
    expect_root_keeps_the_result(pos, values, fen);
    int best = best_of(values), success;
    if (best != 2) continue;
    EXPECT_EQ(probe_dtz(to_tb_position(pos, 0), &success) == 1, zeroing_move_reaches(values, 2)) << fen;
    // Counted: a double push that would win but for the capture it allows.
    auto push = std::find_if(values.begin(), values.end(), [&](const MoveValue& v) {
      return std::abs(position::move_to(v.move) - position::move_from(v.move)) == 16;
    });
    if (push == values.end() || push->value == 2 || zeroing_move_reaches(values, 2)) continue;
    position::make_move(pos, push->move);
    TBPosition blind = to_tb_position(pos, 0);
    position::unmake_move(pos);
    blind.ep = 0;
    pushes_refuted += probe_wdl(blind, &success) == -2;
  }
  EXPECT_GT(pushes_refuted, 100);
}

}  // namespace
