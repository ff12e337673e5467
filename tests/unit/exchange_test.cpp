// Static exchange evaluation, the least valuable attacker and the exchange filter of the
// move picker.
#include <gtest/gtest.h>

#include "position/exchange.h"
#include "search/movepick.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;
using nesk_test::sq;
using nesk_test::squares;

using Exchange = nesk_test::GameTest;

TEST_F(Exchange, SimpleCaptures) {
  // Pawn takes an undefended knight.
  Position& pos = set_board("4k3/8/8/3n4/4P3/8/8/4K3 w - -");
  EXPECT_EQ(see(pos, kWhite, sq("e4"), sq("d5")), 350);
  EXPECT_EQ(see(pos, kWhite, kNoSquare, sq("d5")), 350);
  // Queen takes a pawn defended by a pawn.
  Position& queen = set_board("4k3/8/2p5/3p4/8/8/8/3QK3 w - -");
  EXPECT_EQ(see(queen, kWhite, sq("d1"), sq("d5")), 100 - 1060);
  // With the cheapest attacker the side may decline: never below 0.
  EXPECT_EQ(see(queen, kWhite, kNoSquare, sq("d5")), 0);
  // Nobody of the side attacks the square.
  EXPECT_EQ(see(queen, kWhite, kNoSquare, sq("c6")), 0);
}

TEST_F(Exchange, XRaysAndRecaptures) {
  // Rook takes a rook defended by one rook, with the second white rook behind the first.
  Position& rooks = set_board("3r2k1/8/8/3r4/8/8/3R4/3RK3 w - -");
  EXPECT_EQ(see(rooks, kWhite, sq("d2"), sq("d5")), 550);
  // The same with a knight as the only defender: win a rook, lose a rook, win a knight.
  Position& knight = set_board("6k1/2n5/8/3r4/8/8/3R4/3RK3 w - -");
  EXPECT_EQ(see(knight, kWhite, sq("d2"), sq("d5")), 350);
  // Without the second rook the exchange is even.
  Position& single = set_board("6k1/2n5/8/3r4/8/8/3R4/4K3 w - -");
  EXPECT_EQ(see(single, kWhite, sq("d2"), sq("d5")), 0);
  // A pawn on e4 defended by a bishop with a queen behind it on the same diagonal; white
  // attacks with a knight and a bishop. N x P, B x N, B x B, Q x B comes to
  // 100 - 350 + 350 - 350 = -250, no better for white than stopping after B x N.
  Position& battery = set_board("6k1/1q6/2b5/8/4p3/2N5/6B1/6K1 w - -");
  EXPECT_EQ(see(battery, kWhite, sq("c3"), sq("e4")), -250);
  // Bishop first: B x P, B x B, N x B, Q x N, the same balance.
  EXPECT_EQ(see(battery, kWhite, sq("g2"), sq("e4")), -250);
}

TEST_F(Exchange, KingsInExchanges) {
  // The king (in check from d3) takes a pawn that the c4 pawn defends.
  Position& pos = set_board("4k3/8/8/8/2p5/3p4/4K3/8 w - -");
  EXPECT_EQ(see(pos, kWhite, sq("e2"), sq("d3")), 100 - 9999);
  // An undefended piece the king takes is won whole.
  Position& free = set_board("4k3/8/8/8/8/8/3n4/4K3 w - -");
  EXPECT_EQ(see(free, kWhite, sq("e1"), sq("d2")), 350);
  // The black knight attacks the white king: capturing it counts 9999.
  Position& king = set_board("4k3/8/8/8/8/3n4/8/4K3 w - -");
  EXPECT_EQ(see(king, kBlack, kNoSquare, sq("e1")), 9999);
}

TEST_F(Exchange, LeastValuableAttacker) {
  // Around d4: white pawn e3, knight f3, bishop a7, rook d8, queen h4, king e5; black king a1.
  Position& pos = set_board("3R4/B7/8/4K3/7Q/4PN2/8/k7 w - -");
  Bitboard all = pos.occupancy();
  int d4 = sq("d4");
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, all), sq("e3"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, all & ~bit(sq("e3"))), sq("f3"));
  Bitboard no_minor = all & ~squares({"e3", "f3"});
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, no_minor), sq("a7"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, no_minor & ~bit(sq("a7"))), sq("d8"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, no_minor & ~squares({"a7", "d8"})), sq("h4"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, no_minor & ~squares({"a7", "d8", "h4"})), sq("e5"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, bit(sq("a1"))), kNoSquare);
  EXPECT_EQ(least_valuable_attacker(pos, d4, kBlack, all), kNoSquare);
}

TEST_F(Exchange, LeastValuableAttackerSlidersNeedAClearLine) {
  // White rooks a4 (blocked by the black knight on b4) and h4 (clear), square d4: the lower
  // square is blocked, so h4 answers; removing the knight lets a4 answer, lowest first.
  Position& pos = set_board("4k3/8/8/8/Rn1p3R/8/8/4K3 w - -");
  int d4 = sq("d4");
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, pos.occupancy()), sq("h4"));
  EXPECT_EQ(least_valuable_attacker(pos, d4, kWhite, pos.occupancy() & ~bit(sq("b4"))), sq("a4"));
  // X-ray: a rook behind a rook on the file attacks once the front rook leaves.
  Position& file = set_board("4k3/8/8/3p4/8/8/3R4/3RK3 w - -");
  Bitboard occ = file.occupancy();
  EXPECT_EQ(least_valuable_attacker(file, sq("d5"), kWhite, occ), sq("d2"));
  EXPECT_EQ(least_valuable_attacker(file, sq("d5"), kWhite, occ & ~bit(sq("d2"))), sq("d1"));
  EXPECT_EQ(least_valuable_attacker(file, sq("d5"), kWhite, occ & ~squares({"d2", "d1"})), kNoSquare);
}

TEST_F(Exchange, SeeOk) {
  // Queen takes a queen that the king defends: an equal victim is always accepted.
  Position& pos = set_board("3qk3/8/8/8/8/8/8/3QK3 w - -");
  EXPECT_EQ(search::see_ok(pos, mv("d1d8")), 1);
  // Knight takes a pawn defended by a pawn: 100 - 350 = -250.
  Position& knight = set_board("4k3/8/2p5/3p4/8/2N5/8/4K3 w - -");
  EXPECT_EQ(search::see_ok(knight, mv("c3d5")), 0);
  // A quiet knight move to a square a pawn guards, and one to a safe square.
  EXPECT_EQ(search::see_ok(knight, mv("c3b5")), 0);
  EXPECT_EQ(search::see_ok(knight, mv("c3a4")), 1);
  // Rook takes a knight defended by a pawn: 350 - 550 = -200.
  Position& rook = set_board("4k3/8/2p5/3n4/8/8/8/3RK3 w - -");
  EXPECT_EQ(search::see_ok(rook, mv("d1d5")), 0);
  // En passant is always accepted, even onto a square the black king guards (the exchange
  // alone would be 0 - 100).
  Position& ep = set_board("8/4k3/2p5/3pP3/8/8/8/4K3 w - d6");
  EXPECT_EQ(see(ep, kWhite, sq("e5"), sq("d6")), -100);
  EXPECT_EQ(search::see_ok(ep, mv("e5d6")), 1);
}

}  // namespace
