// The draw test: the fifty-move rule and repetitions inside and before the search root.
#include <gtest/gtest.h>

#include "position/makemove.h"
#include "position/position.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;

class Draw : public nesk_test::GameTest {
 protected:
  void play(Position& pos, std::initializer_list<const char*> moves) {
    for (const char* m : moves) make_move(pos, mv(m));
  }
};

TEST_F(Draw, FiftyMoveRule) {
  EXPECT_EQ(is_draw(set_board("4k3/8/8/8/8/8/8/R3K3 w - - 99 80"), 0), 0);
  EXPECT_EQ(is_draw(set_board("4k3/8/8/8/8/8/8/R3K3 w - - 100 80"), 0), 1);
  Position& pos = set_board("4k3/8/8/8/8/8/8/R3K3 w - - 99 80");
  play(pos, {"a1a2"});
  EXPECT_EQ(is_draw(pos, 0), 1);
  unmake_move(pos);
  play(pos, {"e1e2"});
  EXPECT_EQ(is_draw(pos, 1), 1);
}

TEST_F(Draw, RepetitionInsideAndBeforeTheRoot) {
  // After 1. e4 e5 2. Nf3 Nf6 the knights go back and out again: the position after four
  // moves (undo record 4) is on the board again after eight. (After 1. e4 e5 itself the
  // en-passant square makes the position a different one.)
  Position& pos = set_board(kStartFen);
  play(pos, {"e2e4", "e7e5", "g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6"});
  ASSERT_EQ(pos.rule50, 6);
  ASSERT_EQ(pos.key, history.undo[4].key);
  ASSERT_NE(pos.key, history.undo[2].key);
  // The root is the game position: one repetition before it is not yet a draw.
  EXPECT_EQ(is_draw(pos, 0), 0);
  // A root at the earlier occurrence still counts it as a game repetition.
  EXPECT_EQ(is_draw(pos, 4), 0);
  // With the root before that occurrence, the repetition happened inside the tree.
  EXPECT_EQ(is_draw(pos, 5), 1);
  EXPECT_EQ(is_draw(pos, 8), 1);
  // Below four reversible moves nothing is a draw, whatever the stack holds.
  pos.rule50 = 3;
  EXPECT_EQ(is_draw(pos, 8), 0);
  pos.rule50 = 6;

  // A second repetition before the root is a draw.
  play(pos, {"f3g1", "f6g8", "g1f3", "g8f6"});
  ASSERT_EQ(pos.key, history.undo[8].key);
  EXPECT_EQ(is_draw(pos, 0), 1);

  // A null move in the history ends the walk: the older occurrence is not seen.
  Move saved = history.undo[6].move;
  history.undo[6].move = 0;
  EXPECT_EQ(is_draw(pos, 0), 0);
  history.undo[6].move = saved;
  EXPECT_EQ(is_draw(pos, 0), 1);
}

}  // namespace
