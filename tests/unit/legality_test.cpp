// Legality of pseudo-legal moves (pins, en passant, castling) and the check test.
#include <gtest/gtest.h>

#include "position/legality.h"
#include "position/makemove.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;
using nesk_test::sq;

class Legality : public testing::Test {
 protected:
  static void SetUpTestSuite() { nesk_test::board_game(); }

  int legal(const char* fen, Move move) {
    Position& pos = set_board(fen);
    return move_is_legal(pos, pos.side, move);
  }
  int check(const char* fen, Move move) {
    Position& pos = set_board(fen);
    MoveEntry entry{move, 0, pos.board[move_from(move)], pos.board[move_to(move)]};
    return gives_check(pos, pos.side, entry);
  }
};

TEST_F(Legality, NoMoveIsNeverLegal) {
  Position& pos = set_board(kStartFen);
  EXPECT_EQ(move_is_legal(pos, kWhite, kNoMove), 0);
  EXPECT_EQ(is_legal_move(pos, kNoMove), 0);
  EXPECT_EQ(is_legal_move(pos, kListEnd), 0);
}

TEST_F(Legality, PinnedPieces) {
  const char* file_pin = "4k3/4r3/8/8/8/8/4R3/4K3 w - -";
  EXPECT_EQ(legal(file_pin, mv("e2e5")), 1);  // along the pin
  EXPECT_EQ(legal(file_pin, mv("e2e7")), 1);  // taking the pinner
  EXPECT_EQ(legal(file_pin, mv("e2d2")), 0);  // off the line
  const char* diagonal_pin = "4k3/8/8/8/7b/8/5B2/4K3 w - -";
  EXPECT_EQ(legal(diagonal_pin, mv("f2g3")), 1);
  EXPECT_EQ(legal(diagonal_pin, mv("f2h4")), 1);
  EXPECT_EQ(legal(diagonal_pin, mv("f2e3")), 0);
  EXPECT_EQ(legal(diagonal_pin, mv("f2g1")), 0);
  EXPECT_EQ(legal(diagonal_pin, mv("e1d1")), 1);
  EXPECT_EQ(legal(diagonal_pin, mv("e1f1")), 1);
  // A pinned knight has no move at all.
  const char* knight_pin = "4k3/4r3/8/8/8/4N3/8/4K3 w - -";
  for (const char* m : {"e3c2", "e3c4", "e3d5", "e3f5", "e3g4", "e3g2", "e3d1", "e3f1"})
    EXPECT_EQ(legal(knight_pin, mv(m)), 0) << m;
}

TEST_F(Legality, KingMoves) {
  // Checked along the file by the e8 rook: stepping back along the line stays in check.
  const char* fen = "4r1k1/8/8/8/8/8/4K3/8 w - -";
  EXPECT_EQ(legal(fen, mv("e2e1")), 0);
  EXPECT_EQ(legal(fen, mv("e2e3")), 0);
  EXPECT_EQ(legal(fen, mv("e2d2")), 1);
  EXPECT_EQ(legal(fen, mv("e2f3")), 1);
  // Taking a defended piece is illegal, an undefended one legal.
  EXPECT_EQ(legal("4k3/8/8/8/8/4p3/3p4/4K3 w - -", mv("e1d2")), 0);
  EXPECT_EQ(legal("4k3/8/8/8/8/8/3p4/4K3 w - -", mv("e1d2")), 1);
  // The kings may not stand side by side.
  EXPECT_EQ(legal("8/8/8/3k4/8/4K3/8/8 w - -", mv("e3e4")), 0);
  EXPECT_EQ(legal("8/8/8/3k4/8/4K3/8/8 w - -", mv("e3f4")), 1);
}

TEST_F(Legality, EnPassant) {
  // The capture takes both pawns off the fifth rank and opens it to the h5 rook.
  EXPECT_EQ(legal("8/8/8/K2pP2r/8/8/8/7k w - d6", mv("e5d6")), 0);
  EXPECT_EQ(legal("8/8/8/K2pP2r/8/8/8/7k w - d6", mv("e5e6")), 1);
  EXPECT_EQ(legal("8/8/8/K2pP3/8/8/8/7k w - d6", mv("e5d6")), 1);
  // Black, with the same theme on the fourth rank.
  EXPECT_EQ(legal("8/8/8/8/k2Pp2Q/8/8/3K4 b - d3", mv("e4d3")), 0);
  // Capturing en passant the pawn that gives check is legal.
  EXPECT_EQ(legal("8/8/8/2k5/3Pp3/8/8/4K3 b - d3", mv("e4d3")), 1);
}

TEST_F(Legality, Castling) {
  // The king may not cross an attacked f1 or land on an attacked g1.
  EXPECT_EQ(legal("4k3/8/8/8/8/7b/8/4K2R w K -", mv("e1g1", kFlagKingSide)), 0);
  EXPECT_EQ(legal("4k3/8/8/8/8/8/7b/4K2R w K -", mv("e1g1", kFlagKingSide)), 0);
  // An attacked rook square does not matter.
  EXPECT_EQ(legal("4k2r/8/8/8/8/8/8/4K2R w K -", mv("e1g1", kFlagKingSide)), 1);
  // Queen-side: only b1 attacked is still legal, c1 or d1 attacked is not.
  EXPECT_EQ(legal("4k3/8/8/8/8/n7/8/R3K3 w Q -", mv("e1c1", kFlagQueenSide)), 1);
  EXPECT_EQ(legal("4k3/8/8/8/8/1n6/8/R3K3 w Q -", mv("e1c1", kFlagQueenSide)), 0);
  EXPECT_EQ(legal("3rk3/8/8/8/8/8/8/R3K3 w Q -", mv("e1c1", kFlagQueenSide)), 0);
  // Not out of check.
  EXPECT_EQ(legal("4r1k1/8/8/8/8/8/8/4K2R w K -", mv("e1g1", kFlagKingSide)), 0);
  // Black: f8 attacked by the f1 rook.
  EXPECT_EQ(legal("r3k2r/8/8/8/8/8/8/4KR2 b kq -", mv("e8g8", kFlagKingSide)), 0);
  EXPECT_EQ(legal("r3k2r/8/8/8/8/8/8/4KR2 b kq -", mv("e8c8", kFlagQueenSide)), 1);
}

TEST_F(Legality, Chess960CastlingRookMayNotShieldTheKing) {
  // King c1, castling rook b1, black rook a1: with the b1 rook gone to d1 the king on c1
  // stands in the a1 rook's line.
  Position& pos = set_board("4k3/8/8/8/8/8/8/rRK5 w Q -");
  Move castle = mv("c1c1", kFlagQueenSide);
  bool generated = false;
  for (Move m : nesk_test::pseudo_legal_moves(pos)) generated |= m == castle;
  EXPECT_TRUE(generated);
  EXPECT_EQ(move_is_legal(pos, kWhite, castle), 0);
  EXPECT_EQ(legal("4k3/8/8/8/8/8/8/1RK5 w Q -", castle), 1);
  // King f1, castling rook g1, black rook h1: the king would land on g1 in the rook's line.
  EXPECT_EQ(legal("4k3/8/8/8/8/8/8/5KRr w K -", mv("f1g1", kFlagKingSide)), 0);
  EXPECT_EQ(legal("4k3/8/8/8/8/8/8/5KR1 w K -", mv("f1g1", kFlagKingSide)), 1);
}

TEST_F(Legality, AgreesWithMakingTheMove) {
  // For every pseudo-legal move other than castling: legal exactly when, after making it,
  // the mover's king is not attacked. Two plies deep over varied positions.
  const char* fens[] = {
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
      "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
      "8/8/8/8/k2Pp2Q/8/8/3K4 b - d3",
      "8/8/1k6/2b5/2pP4/8/5K2/8 b - d3",
      "r3k2r/1b4bq/8/8/8/8/7B/R3K2R w KQkq -",
      "8/8/2k5/5q2/5n2/8/5K2/8 b - -",
  };
  int tested = 0;
  for (const char* fen : fens) {
    SCOPED_TRACE(fen);
    Position& pos = set_board(fen);
    auto verify = [&](Position& p) {
      for (Move m : nesk_test::pseudo_legal_moves(p)) {
        if (type_of(p.board[move_from(m)]) == kKing && (m & kFlagMask)) continue;
        int side = p.side;
        int claimed = move_is_legal(p, side, m);
        make_move(p, m);
        int safe = !square_attacked(p, p.king_square[side], side ^ 1);
        unmake_move(p);
        ASSERT_EQ(claimed, safe) << "move " << m;
        ++tested;
      }
    };
    verify(pos);
    for (Move m : nesk_test::legal_moves(pos)) {
      make_move(pos, m);
      verify(pos);
      unmake_move(pos);
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(tested, 1000);
}

TEST_F(Legality, IsLegalMoveTakesGeneratorForms) {
  Position& pos = set_board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  EXPECT_EQ(is_legal_move(pos, mv("e1g1", kFlagKingSide)), 1);
  EXPECT_EQ(is_legal_move(pos, mv("e1c1", kFlagQueenSide)), 1);
  EXPECT_EQ(is_legal_move(pos, mv("e1h1", kFlagKingSide)), 0);
  EXPECT_EQ(is_legal_move(pos, mv("e1g1")), 0);
  EXPECT_EQ(is_legal_move(pos, mv("e5f7")), 1);
  EXPECT_EQ(is_legal_move(pos, mv("e5e6")), 0);
  EXPECT_EQ(is_legal_move(pos, mv("a2a4")), 1);
  EXPECT_EQ(is_legal_move(pos, mv("a2a5")), 0);
  // A move of the side not to move.
  EXPECT_EQ(is_legal_move(pos, mv("b4c3")), 0);
  Position& pinned = set_board("4k3/4r3/8/8/8/8/4R3/4K3 w - -");
  EXPECT_EQ(is_legal_move(pinned, mv("e2d2")), 0);
  EXPECT_EQ(is_legal_move(pinned, mv("e2e6")), 1);
}

TEST_F(Legality, GivesCheck) {
  // Direct knight checks.
  EXPECT_EQ(check("4k3/8/8/1N6/8/8/8/4K3 w - -", mv("b5d6")), 1);
  EXPECT_EQ(check("4k3/8/8/1N6/8/8/8/4K3 w - -", mv("b5c7")), 1);
  EXPECT_EQ(check("4k3/8/8/1N6/8/8/8/4K3 w - -", mv("b5c3")), 0);
  // Discovered check by the e1 rook when the knight leaves the file.
  EXPECT_EQ(check("4k3/8/8/8/4N3/8/8/K3R3 w - -", mv("e4c3")), 1);
  EXPECT_EQ(check("4k3/8/8/8/4N3/8/8/K3R3 w - -", mv("e1f1")), 0);
  EXPECT_EQ(check("4k3/8/8/8/4N3/8/8/K3R3 w - -", mv("a1b1")), 0);
  // A rook reaching the king's rank checks; one rank short it does not.
  EXPECT_EQ(check("4k3/8/8/8/8/8/8/R3K3 w - -", mv("a1a8")), 1);
  EXPECT_EQ(check("4k3/8/8/8/8/8/8/R3K3 w - -", mv("a1a7")), 0);
  // Promotions check with the new piece: a knight from e8 reaches g7, a queen does not.
  const char* g7 = "8/4P1k1/8/8/8/8/8/4K3 w - -";
  EXPECT_EQ(check(g7, mv("e7e8", kFlagKnight)), 1);
  EXPECT_EQ(check(g7, mv("e7e8", kFlagQueen)), 0);
  EXPECT_EQ(check(g7, mv("e7e8", kFlagRook)), 0);
  EXPECT_EQ(check(g7, mv("e7e8", kFlagBishop)), 0);
  const char* h5 = "8/4P3/8/7k/8/8/8/4K3 w - -";
  EXPECT_EQ(check(h5, mv("e7e8", kFlagQueen)), 1);
  EXPECT_EQ(check(h5, mv("e7e8", kFlagBishop)), 1);
  EXPECT_EQ(check(h5, mv("e7e8", kFlagKnight)), 0);
  EXPECT_EQ(check(h5, mv("e7e8", kFlagRook)), 0);
  // The castling rook gives check from f1 or d1.
  EXPECT_EQ(check("5k2/8/8/8/8/8/8/4K2R w K -", mv("e1g1", kFlagKingSide)), 1);
  EXPECT_EQ(check("3k4/8/8/8/8/8/8/R3K3 w Q -", mv("e1c1", kFlagQueenSide)), 1);
  EXPECT_EQ(check("4k3/8/8/8/8/8/8/4K2R w K -", mv("e1g1", kFlagKingSide)), 0);
  // En passant: the captured pawn's square opens the b3-g8 diagonal.
  const char* ep = "6k1/8/8/3pP3/8/1B6/8/4K3 w - d6";
  EXPECT_EQ(check(ep, mv("e5d6")), 1);
  EXPECT_EQ(check(ep, mv("e5e6")), 0);
}

}  // namespace
