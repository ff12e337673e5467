// Moves as text: coordinate form, SAN with disambiguation, reading either back, and the
// console's board diagram.
#include <gtest/gtest.h>

#include <string>

#include "position/display.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;

struct Forms {
  std::string coordinate, san, file_form, rank_form;
};

class Notation : public testing::Test {
 protected:
  static void SetUpTestSuite() { nesk_test::board_game(); }

  // UCI text, standard chess castling unless a test says otherwise.
  MoveStyle style_{};

  Forms forms(const char* fen, Move move) {
    Position& pos = set_board(fen);
    char c[16], s[16], f[16], r[16];
    san_forms(pos, move, c, s, f, r, style_);
    return {c, s, f, r};
  }
  std::string text(const Position& pos, Move move) {
    char buffer[16];
    move_to_text(pos, pos.side, move, buffer, style_);
    return buffer;
  }
  // Reads a move on the board set_board filled; `printed` receives what went to stdout.
  int read(const char* input, Move& move, std::string& printed) {
    testing::internal::CaptureStdout();
    int result = text_to_move(nesk_test::board_game().position, input, move, style_);
    printed = testing::internal::GetCapturedStdout();
    return result;
  }
  Move read(const char* input) {
    Move move = 0xABCD;
    std::string printed;
    int result = read(input, move, printed);
    EXPECT_EQ(printed, "") << input;
    EXPECT_EQ(result, move != 0 ? 1 : 0) << input;
    return move;
  }
};

#define EXPECT_FORMS(actual, c, s, f, r)  \
  do {                                    \
    Forms got = (actual);                 \
    EXPECT_EQ(got.coordinate, c);         \
    EXPECT_EQ(got.san, s);                \
    EXPECT_EQ(got.file_form, f);          \
    EXPECT_EQ(got.rank_form, r);          \
  } while (0)

TEST_F(Notation, PieceMovesAndDisambiguation) {
  // Knights b1 and f3 both reach d2: the file tells them apart.
  EXPECT_FORMS(forms("4k3/8/8/8/8/5N2/8/1N2K3 w - -", mv("b1d2")), "b1d2", "Nbd2", "Nbd2", "N1d2");
  // Knights b1 and b3 share the file: the rank tells them apart.
  EXPECT_FORMS(forms("4k3/8/8/8/8/1N6/8/1N2K3 w - -", mv("b1d2")), "b1d2", "N1d2", "Nbd2", "N1d2");
  // Rooks a1 and h1 to d1.
  EXPECT_FORMS(forms("4k3/8/8/8/8/8/4K3/R6R w - -", mv("a1d1")), "a1d1", "Rad1", "Rad1", "R1d1");
  // Queens e4, h4 and h1 all reach e1: the h4 queen shares a file and a rank with them.
  EXPECT_FORMS(forms("8/k7/8/8/4Q2Q/8/8/K6Q w - -", mv("h4e1")), "h4e1", "Qh4e1", "Qhe1", "Q4e1");
  // A lone knight capturing.
  EXPECT_FORMS(forms("4k3/8/8/4p3/8/5N2/8/4K3 w - -", mv("f3e5")), "f3e5", "Nxe5", "Nfxe5", "N3xe5");
  // A rook that a blocked rook cannot join needs no disambiguation.
  EXPECT_FORMS(forms("4k3/8/8/8/8/8/4K3/R2N3R w - -", mv("h1e1")), "h1e1", "Re1", "Rhe1", "R1e1");
  // The king is never disambiguated.
  EXPECT_FORMS(forms("4k3/8/8/8/8/8/8/4K3 w - -", mv("e1d2")), "e1d2", "Kd2", "Ked2", "K1d2");
  // Check is marked on every form.
  EXPECT_FORMS(forms("4k3/8/8/1N6/8/8/8/4K3 w - -", mv("b5d6")), "b5d6+", "Nd6+", "Nbd6+", "N5d6+");
}

TEST_F(Notation, PawnMoves) {
  EXPECT_FORMS(forms("4k3/8/8/3p4/4P3/8/8/4K3 w - -", mv("e4d5")), "e4d5", "exd5", "ed", "");
  EXPECT_FORMS(forms("4k3/8/8/3p4/4P3/8/8/4K3 w - -", mv("e4e5")), "e4e5", "e5", "", "");
  EXPECT_FORMS(forms("4k3/8/8/3pP3/8/8/8/4K3 w - d6", mv("e5d6")), "e5d6", "exd6", "ed", "");
  // Promotions carry the piece whatever the protocol mode; a push has no file form.
  EXPECT_FORMS(forms("k7/4P3/8/8/8/8/8/4K3 w - -", mv("e7e8", kFlagKnight)), "e7e8=N", "e8=N", "", "");
  EXPECT_FORMS(forms("3r4/4P3/7k/8/8/8/8/4K3 w - -", mv("e7d8", kFlagQueen)), "e7d8=Q", "exd8=Q", "ed=Q", "");
  EXPECT_FORMS(forms("3r4/4P3/7k/8/8/8/8/4K3 w - -", mv("e7d8", kFlagRook)), "e7d8=R", "exd8=R", "ed=R", "");
  // Black pawns.
  EXPECT_FORMS(forms("4k3/8/8/8/8/8/1p6/R3K3 b - -", mv("b2a1", kFlagBishop)), "b2a1=B", "bxa1=B", "ba=B", "");
}

TEST_F(Notation, CoordinateText) {
  Position& pos = set_board("k7/4P3/8/8/8/8/8/4K3 w - -");
  EXPECT_EQ(text(pos, kNoMove), "null");
  {
    style_.uci = true;
    EXPECT_EQ(text(pos, mv("e7e8", kFlagKnight)), "e7e8n");
    EXPECT_EQ(text(pos, mv("e7e8", kFlagQueen)), "e7e8q");
    EXPECT_EQ(text(pos, mv("e7e8", kFlagBishop)), "e7e8b");
    EXPECT_EQ(text(pos, mv("e7e8", kFlagRook)), "e7e8r");
    EXPECT_EQ(text(pos, mv("e1d2")), "e1d2");
  }
  {
    style_.uci = false;
    EXPECT_EQ(text(pos, mv("e7e8", kFlagKnight)), "e7e8=N");
    EXPECT_EQ(text(pos, mv("e7e8", kFlagQueen)), "e7e8=Q");
  }
  Position& castle = set_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
  {
    style_.chess960 = false;
    EXPECT_EQ(text(castle, mv("e1g1", kFlagKingSide)), "e1g1");
    EXPECT_EQ(text(castle, mv("e1c1", kFlagQueenSide)), "e1c1");
  }
  {
    style_.chess960 = true;
    EXPECT_EQ(text(castle, mv("e1g1", kFlagKingSide)), "e1h1");
    EXPECT_EQ(text(castle, mv("e1c1", kFlagQueenSide)), "e1a1");
  }
}

TEST_F(Notation, CastlingForms) {
  const char* fen = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -";
  {
    style_.chess960 = false;
    EXPECT_FORMS(forms(fen, mv("e1g1", kFlagKingSide)), "e1g1", "O-O", "O-O", "e1h1");
    EXPECT_FORMS(forms(fen, mv("e1c1", kFlagQueenSide)), "e1c1", "O-O-O", "O-O-O", "e1a1");
  }
  {
    style_.chess960 = true;
    EXPECT_FORMS(forms(fen, mv("e1g1", kFlagKingSide)), "e1h1", "O-O", "O-O", "e1g1");
    EXPECT_FORMS(forms(fen, mv("e1c1", kFlagQueenSide)), "e1a1", "O-O-O", "O-O-O", "e1c1");
  }
  // A castling rook that checks marks the castling.
  style_.chess960 = false;
  EXPECT_FORMS(forms("5k2/8/8/8/8/8/8/4K2R w K -", mv("e1g1", kFlagKingSide)), "e1g1+", "O-O+", "O-O+", "e1h1+");
}

TEST_F(Notation, ReadingAmbiguousAndDisambiguatedInput) {
  set_board("4k3/8/8/8/8/5N2/8/1N2K3 w - -");
  Move move = 0xABCD;
  std::string printed;
  // Nd2 could be either knight: no move is chosen.
  EXPECT_EQ(read("Nd2", move, printed), 0);
  EXPECT_EQ(move, 0);
  EXPECT_EQ(read("Nbd2"), mv("b1d2"));
  EXPECT_EQ(read("N1d2"), mv("b1d2"));
  EXPECT_EQ(read("b1d2"), mv("b1d2"));
  EXPECT_EQ(read("Nfd2"), mv("f3d2"));
  EXPECT_EQ(read("N3d2"), mv("f3d2"));
  EXPECT_EQ(read("Nb1d2"), 0);
  EXPECT_EQ(read("Ng5"), mv("f3g5"));
  EXPECT_EQ(read("Kd2"), mv("e1d2"));
  EXPECT_EQ(read("Nd4"), mv("f3d4"));

  // Knights b1 and b3: "Nbd2" is the file form of both moves and is reported.
  set_board("4k3/8/8/8/8/1N6/8/1N2K3 w - -");
  move = 0xABCD;
  EXPECT_EQ(read("Nbd2", move, printed), 0);
  EXPECT_EQ(move, 0);
  EXPECT_EQ(printed, "ambiguous move\n");
  EXPECT_EQ(read("N1d2"), mv("b1d2"));
  EXPECT_EQ(read("N3d2"), mv("b3d2"));
  EXPECT_EQ(read("b3d2"), mv("b3d2"));
}

TEST_F(Notation, ReadingOnlyLegalMovesCount) {
  // The f3 knight is pinned by the a8 bishop: its moves are named but not accepted.
  set_board("b3k3/8/8/8/8/5N2/8/1N5K w - -");
  EXPECT_EQ(read("Nbd2"), mv("b1d2"));
  EXPECT_EQ(read("Nfd2"), 0);
  EXPECT_EQ(read("Ne5"), 0);
  set_board("4k3/4r3/8/8/8/8/4R3/4K3 w - -");
  EXPECT_EQ(read("Rd2"), 0);
  EXPECT_EQ(read("Re5"), mv("e2e5"));
  EXPECT_EQ(read("Rxe7+"), mv("e2e7"));
  EXPECT_EQ(read("Rxe7"), mv("e2e7"));
}

TEST_F(Notation, ReadingCastling) {
  for (uint8_t chess960 : {0, 1}) {
    style_.chess960 = chess960 != 0;
    set_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQK2R w KQkq -");
    for (const char* input : {"0-0", "O-O", "o-o", "e1g1", "e1h1"})
      EXPECT_EQ(read(input), mv("e1g1", kFlagKingSide)) << input << " chess960 " << int{chess960};
    EXPECT_EQ(read("O-O-O"), 0);
  }
}

// In Chess960 castling may put the king where a plain king step goes: the coordinate
// text is the step, the king-takes-rook text and SAN are the castling.
TEST_F(Notation, ReadingAKingStepThatCastlingAlsoEndsOn) {
  style_.chess960 = true;
  set_board("4k3/8/8/8/8/8/8/R2K4 w A -");
  EXPECT_EQ(read("d1c1"), mv("d1c1"));
  EXPECT_EQ(read("d1a1"), mv("d1c1", kFlagQueenSide));
  EXPECT_EQ(read("O-O-O"), mv("d1c1", kFlagQueenSide));
}

TEST_F(Notation, ReadingChecksAndPromotions) {
  set_board("4k3/8/8/1N6/8/8/8/4K3 w - -");
  EXPECT_EQ(read("Nd6+"), mv("b5d6"));
  EXPECT_EQ(read("Nd6"), mv("b5d6"));
  EXPECT_EQ(read("Nc3+"), mv("b5c3"));
  EXPECT_EQ(read("Nd6#"), 0);

  set_board("k7/4P3/8/8/8/8/8/4K3 w - -");
  for (const char* input : {"e7e8q", "e7e8Q", "e8Q", "e8=q", "e8=Q", "e8=Q+", "e7e8=Q"})
    EXPECT_EQ(read(input), mv("e7e8", kFlagQueen)) << input;
  EXPECT_EQ(read("e7e8n"), mv("e7e8", kFlagKnight));
  EXPECT_EQ(read("e8=B"), mv("e7e8", kFlagBishop));
  EXPECT_EQ(read("e8r"), mv("e7e8", kFlagRook));
  EXPECT_EQ(read("e7e8"), 0);
  EXPECT_EQ(read("e8"), 0);

  for (const char* input : {"", "x", "e2e4", "zz9", "e1e1", "Ke1", "K", "+", "=Q", "e7e8==Q", "e7e8qq",
                            "a-very-long-text-that-names-nothing"})
    EXPECT_EQ(read(input), 0) << input;
}

TEST_F(Notation, DisplayBoard) {
  Position& pos = set_board(kStartFen);
  testing::internal::CaptureStdout();
  display_board(pos);
  std::string shown = testing::internal::GetCapturedStdout();
  EXPECT_EQ(shown,
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n"
            "  r n b q k b n r\n"
            "  o o o o o o o o\n"
            "  - + - + - + - +\n"
            "  + - + - + - + -\n"
            "  - + - + - + - +\n"
            "  + - + - + - + -\n"
            "  P P P P P P P P\n"
            "  R N B Q K B N R\n"
            "white\n\n");

  make_move(pos, mv("e2e4"));
  char line[64];
  last_move_line(pos, line);
  EXPECT_STREQ(line, "last move was 1. e2e4\n");
  testing::internal::CaptureStdout();
  display_board(pos);
  shown = testing::internal::GetCapturedStdout();
  EXPECT_NE(shown.find("b KQkq e3 0 1\n"), std::string::npos);
  EXPECT_NE(shown.find("\n  - + - + P + - +\n"), std::string::npos);
  EXPECT_NE(shown.find("\n  P P P P - P P P\n"), std::string::npos);
  EXPECT_NE(shown.find("black\n"), std::string::npos);
  make_move(pos, mv("e7e5"));
  last_move_line(pos, line);
  EXPECT_STREQ(line, "last move was 1... e7e5\n");
  make_move(pos, mv("g1f3"));
  last_move_line(pos, line);
  EXPECT_STREQ(line, "last move was 2. g1f3\n");
  set_board(kStartFen);
  last_move_line(pos, line);
  EXPECT_STREQ(line, "");
}

}  // namespace
