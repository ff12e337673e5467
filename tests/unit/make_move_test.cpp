// Making and taking back moves: exact restoration, incremental keys, castling in both
// chess variants, en passant, promotions, castling rights and the half-move clock.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "position/makemove.h"
#include "position/position.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;
using nesk_test::sq;
using nesk_test::squares;

class MakeMove : public nesk_test::GameTest {
 protected:
  // Makes `move`, checks the incremental state against a recomputation, takes it back and
  // checks that everything is as before. Recurses `depth` - 1 plies further.
  void make_unmake_all(Position& pos, int depth, const std::string& path) {
    for (Move m : nesk_test::legal_moves(pos)) {
      std::string here = path + " " + std::to_string(m);
      SCOPED_TRACE(here);
      Position before;
      std::memcpy(&before, &pos, sizeof pos);
      const auto undo_index = history.undo_index, ply = history.ply;
      const Move last_move = history.last_move;

      make_move(pos, m);
      ASSERT_EQ(history.undo_index, undo_index + 1);
      ASSERT_EQ(history.ply, ply + 1);
      ASSERT_EQ(history.last_move, history.undo[undo_index].move);
      ASSERT_EQ(pos.side, before.side ^ 1);
      ASSERT_TRUE(nesk_test::consistent(pos));
      Position copy = pos;
      compute_keys(copy);
      ASSERT_EQ(pos.key, copy.key);
      ASSERT_EQ(pos.pawn_key, copy.pawn_key);
      ASSERT_EQ(pos.touched & (bit(move_from(m))), bit(move_from(m)));
      // The side that moved is never left in check.
      ASSERT_FALSE(square_attacked(pos, pos.king_square[before.side], pos.side));
      if (depth > 1) make_unmake_all(pos, depth - 1, here);

      unmake_move(pos);
      ASSERT_TRUE(nesk_test::same_position(before, pos));
      ASSERT_EQ(std::memcmp(&before, &pos, sizeof pos), 0);
      ASSERT_EQ(history.undo_index, undo_index);
      ASSERT_EQ(history.ply, ply);
      ASSERT_EQ(history.last_move, last_move);
    }
  }
};

TEST_F(MakeMove, EveryMoveTwoPliesDeepIsRestoredExactly) {
  const char* fens[] = {
      kStartFen,
      // Castling both ways for both colours, en passant after double steps, pins.
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
      // En passant along a rank that holds both kings and a rook.
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
      // Promotions by push and by capture, for both colours, captures of rooks at home.
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
      "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
      // An en-passant capture available at once.
      "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
      // Chess960: king g1 with rooks a1 and h1; black king f8 beside its g8 rook.
      "1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAgb -",
      "1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/R5KR b HAgb -",
      // Chess960: king b1 beside its a1 rook, both colours.
      "rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R w AHah -",
      // Kings and rooks only, so that castling and rook captures happen at once.
      "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -",
      "r3k2r/8/8/8/8/8/8/R3K2R b KQkq -",
  };
  for (const char* fen : fens) {
    SCOPED_TRACE(fen);
    Position& pos = set_board(fen);
    make_unmake_all(pos, 2, "");
    if (HasFatalFailure()) return;
  }
}

TEST_F(MakeMove, DoubleStepKeys) {
  Position& pos = set_board(kStartFen);
  make_move(pos, mv("e2e4"));
  EXPECT_EQ(pos.ep_square, sq("e3"));
  EXPECT_EQ(pos.key ^ key_of("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -"), zobrist[20]);
  make_move(pos, mv("e7e5"));
  EXPECT_EQ(pos.ep_square, sq("e6"));
  EXPECT_EQ(pos.key ^ key_of("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -"), zobrist[44]);
  make_move(pos, mv("g1f3"));
  EXPECT_EQ(pos.ep_square, kNoSquare);
  EXPECT_EQ(pos.key, key_of("rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -"));
  EXPECT_EQ(pos.rule50, 1);
  EXPECT_EQ(pos.touched, squares({"e2", "e4", "e7", "e5", "g1", "f3"}));
}

TEST_F(MakeMove, UndoRecordAndRights) {
  Position& pos = set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 5 30");
  uint64_t key = pos.key;
  make_move(pos, mv("h1h8"));
  const UndoRecord& record = history.undo[0];
  EXPECT_EQ(record.move, mv("h1h8"));
  EXPECT_EQ(record.captured, kRook);
  EXPECT_EQ(record.rule50, 5);
  EXPECT_EQ(record.castle_rights, 15);
  EXPECT_EQ(record.ep_square, kNoSquare);
  EXPECT_EQ(record.touched, 0u);
  EXPECT_EQ(record.key, key);
  // The rook leaving h1 and the rook taken on h8 end both king-side rights.
  EXPECT_EQ(pos.castle_rights, kWhiteQueenSide | kBlackQueenSide);
  EXPECT_EQ(pos.rule50, 0);
  EXPECT_EQ(pos.material[kBlack], 4096u);
  EXPECT_EQ(pos.key, key_of("r3k2R/8/8/8/8/8/8/R3K3 b Qq -"));

  // Any king move ends both rights of its side.
  Position& kings = set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  make_move(kings, mv("e1e2"));
  EXPECT_EQ(kings.castle_rights, kBlackKingSide | kBlackQueenSide);
  make_move(kings, mv("e8d8"));
  EXPECT_EQ(kings.castle_rights, 0);
  EXPECT_EQ(kings.key, key_of("r2k3r/8/8/8/8/8/4K3/R6R w - -"));

  // A rook that goes back home does not bring its right back.
  Position& rook = set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  make_move(rook, mv("a1a2"));
  make_move(rook, mv("a8a7"));
  make_move(rook, mv("a2a1"));
  make_move(rook, mv("a7a8"));
  EXPECT_EQ(rook.castle_rights, kWhiteKingSide | kBlackKingSide);
  EXPECT_EQ(rook.key, key_of("r3k2r/8/8/8/8/8/8/R3K2R w Kk -"));
  EXPECT_EQ(rook.rule50, 4);
}

TEST_F(MakeMove, StandardCastling) {
  Position& pos = set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 12 40");
  make_move(pos, mv("e1g1", kFlagKingSide));
  EXPECT_EQ(pos.board[sq("g1")], piece_code(kWhite, kKing));
  EXPECT_EQ(pos.board[sq("f1")], piece_code(kWhite, kRook));
  EXPECT_EQ(pos.board[sq("h1")], 0);
  EXPECT_EQ(pos.board[sq("e1")], 0);
  EXPECT_EQ(pos.king_square[kWhite], sq("g1"));
  EXPECT_EQ(pos.rule50, 0);
  EXPECT_EQ(pos.castle_rights, kBlackKingSide | kBlackQueenSide);
  EXPECT_EQ(pos.key, key_of("r3k2r/8/8/8/8/8/8/R4RK1 b kq -"));
  EXPECT_EQ(history.last_move, mv("e1g1", kFlagKingSide));
  make_move(pos, mv("e8c8", kFlagQueenSide));
  EXPECT_EQ(pos.board[sq("c8")], piece_code(kBlack, kKing));
  EXPECT_EQ(pos.board[sq("d8")], piece_code(kBlack, kRook));
  EXPECT_EQ(pos.board[sq("a8")], 0);
  EXPECT_EQ(pos.castle_rights, 0);
  EXPECT_EQ(pos.key, key_of("2kr3r/8/8/8/8/8/8/R4RK1 w - -"));
  unmake_move(pos);
  unmake_move(pos);
  EXPECT_EQ(pos.rule50, 12);
  EXPECT_EQ(pos.key, key_of("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -"));

  // The king-takes-rook form is stored in the king-destination form.
  set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  make_move(pos, mv("e1h1", kFlagKingSide));
  EXPECT_EQ(history.undo[0].move, mv("e1g1", kFlagKingSide));
  EXPECT_EQ(history.last_move, mv("e1g1", kFlagKingSide));
  EXPECT_EQ(history.undo[0].captured, 0);
  EXPECT_EQ(pos.key, key_of("r3k2r/8/8/8/8/8/8/R4RK1 b kq -"));
  EXPECT_EQ(pos.touched, squares({"e1", "g1"}));
}

TEST_F(MakeMove, Chess960CastlingOverlaps) {
  // King b1 next to its a1 rook: queen-side puts the king on c1 and the rook on d1.
  Position& pos = set_board("rk5r/pppppppp/8/8/8/8/PPPPPPPP/RK5R w AHah -");
  make_move(pos, mv("b1c1", kFlagQueenSide));
  EXPECT_EQ(pos.board[sq("c1")], piece_code(kWhite, kKing));
  EXPECT_EQ(pos.board[sq("d1")], piece_code(kWhite, kRook));
  EXPECT_EQ(pos.board[sq("a1")], 0);
  EXPECT_EQ(pos.board[sq("b1")], 0);
  EXPECT_TRUE(nesk_test::consistent(pos));
  EXPECT_EQ(pos.key, key_of("rk5r/pppppppp/8/8/8/8/PPPPPPPP/2KR3R b ah -"));
  unmake_move(pos);
  EXPECT_EQ(pos.board[sq("a1")], piece_code(kWhite, kRook));
  EXPECT_EQ(pos.board[sq("b1")], piece_code(kWhite, kKing));
  EXPECT_TRUE(nesk_test::consistent(pos));

  // King g1 with its h1 rook: king-side leaves the king where it is, the rook goes to f1.
  Position& g1 = set_board("1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/R5KR w HAgb -");
  make_move(g1, mv("g1g1", kFlagKingSide));
  EXPECT_EQ(g1.board[sq("g1")], piece_code(kWhite, kKing));
  EXPECT_EQ(g1.board[sq("f1")], piece_code(kWhite, kRook));
  EXPECT_EQ(g1.board[sq("h1")], 0);
  EXPECT_EQ(g1.key, key_of("1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/R4RK1 b gb -"));
  // Black king f8 and its g8 rook change places.
  make_move(g1, mv("f8g8", kFlagKingSide));
  EXPECT_EQ(g1.board[sq("g8")], piece_code(kBlack, kKing));
  EXPECT_EQ(g1.board[sq("f8")], piece_code(kBlack, kRook));
  EXPECT_EQ(g1.king_square[kBlack], sq("g8"));
  EXPECT_TRUE(nesk_test::consistent(g1));
  EXPECT_EQ(g1.key, key_of("1r3rk1/pppppppp/8/8/8/8/PPPPPPPP/R4RK1 w - -"));
  unmake_move(g1);
  EXPECT_EQ(g1.board[sq("f8")], piece_code(kBlack, kKing));
  EXPECT_EQ(g1.board[sq("g8")], piece_code(kBlack, kRook));
  EXPECT_TRUE(nesk_test::consistent(g1));
  // Queen-side from g1: the king crosses to c1, the a1 rook goes to d1.
  unmake_move(g1);
  make_move(g1, mv("g1c1", kFlagQueenSide));
  EXPECT_EQ(g1.key, key_of("1r3kr1/pppppppp/8/8/8/8/PPPPPPPP/2KR3R b gb -"));
}

TEST_F(MakeMove, PromotionFlags) {
  struct Case {
    Move flags;
    int type;
  };
  const Case cases[] = {{kFlagKnight, kKnight}, {kFlagBishop, kBishop}, {kFlagRook, kRook},
                        {kFlagQueen, kQueen},   {0, kQueen}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Position& pos = set_board("r3k3/1P6/8/8/8/8/8/4K3 w - - 9 1");
    Position before = pos;
    make_move(pos, mv("b7a8", c.flags));
    EXPECT_EQ(pos.board[sq("a8")], piece_code(kWhite, c.type));
    EXPECT_EQ(pos.pieces[kWhite][kPawn], 0u);
    EXPECT_EQ(pos.material[kWhite], kMaterialWeight[c.type]);
    EXPECT_EQ(pos.material[kBlack], 0u);
    EXPECT_EQ(pos.rule50, 0);
    EXPECT_EQ(history.undo[0].captured, kRook);
    // An unflagged promotion is recorded as the queen promotion it was made as.
    EXPECT_EQ(history.undo[0].move & kFlagMask, c.flags ? c.flags : kFlagQueen);
    Position copy = pos;
    compute_keys(copy);
    EXPECT_EQ(pos.key, copy.key);
    EXPECT_EQ(pos.pawn_key, 0u);
    unmake_move(pos);
    EXPECT_TRUE(nesk_test::same_position(before, pos));
  }
}

TEST_F(MakeMove, EnPassantRemovesAndRestoresTheVictim) {
  Position& pos = set_board("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6");
  Position before = pos;
  make_move(pos, mv("e5f6"));
  EXPECT_EQ(pos.board[sq("f5")], 0);
  EXPECT_EQ(pos.board[sq("f6")], piece_code(kWhite, kPawn));
  EXPECT_FALSE(pos.pieces[kBlack][kPawn] & bit(sq("f5")));
  EXPECT_FALSE(pos.pieces[kBlack][0] & bit(sq("f5")));
  EXPECT_EQ(pos.material[kBlack], before.material[kBlack] - 1);
  EXPECT_EQ(history.undo[0].captured, 0);
  EXPECT_EQ(pos.pawn_key, before.pawn_key ^ zobrist[9 * 64 + sq("f5")] ^ zobrist[1 * 64 + sq("e5")] ^
                              zobrist[1 * 64 + sq("f6")]);
  EXPECT_EQ(pos.key, key_of("rnbqkbnr/ppp1p1pp/5P2/3p4/8/8/PPPP1PPP/RNBQKBNR b KQkq -"));
  unmake_move(pos);
  EXPECT_TRUE(nesk_test::same_position(before, pos));
}

TEST_F(MakeMove, LastMoveFollowsTheStack) {
  Position& pos = set_board(kStartFen);
  make_move(pos, mv("d2d4"));
  make_move(pos, mv("d7d5"));
  EXPECT_EQ(history.last_move, mv("d7d5"));
  unmake_move(pos);
  EXPECT_EQ(history.last_move, mv("d2d4"));
  unmake_move(pos);
  EXPECT_EQ(history.last_move, 0);
  EXPECT_EQ(history.undo_index, 0);
  EXPECT_EQ(history.ply, 1);
}

}  // namespace
