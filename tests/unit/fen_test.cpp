// Set-up from FEN, castling fields, FEN writing, Zobrist keys and rejected texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "position/makemove.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::mv;
using nesk_test::set_board;
using nesk_test::sq;
using nesk_test::squares;

class Fen : public nesk_test::GameTest {
 protected:
  std::string fen_of(const Position& pos, int with_counters) {
    char buffer[128];
    write_fen(pos, buffer, with_counters);
    return buffer;
  }
};

TEST_F(Fen, StartPosition) {
  Position& pos = set_board(kStartFen);
  EXPECT_EQ(pos.material[kWhite], 74280u);
  EXPECT_EQ(pos.material[kBlack], 74280u);
  EXPECT_EQ(pos.castle_rights, 15);
  EXPECT_EQ(pos.side, kWhite);
  EXPECT_EQ(pos.ep_square, kNoSquare);
  EXPECT_EQ(pos.rule50, 0);
  EXPECT_EQ(pos.king_square[kWhite], sq("e1"));
  EXPECT_EQ(pos.king_square[kBlack], sq("e8"));
  EXPECT_EQ(pos.pieces[kWhite][0], 0xFFFFULL);
  EXPECT_EQ(pos.pieces[kBlack][0], 0xFFFF000000000000ULL);
  EXPECT_EQ(pos.pieces[kBlack][kPawn], 0x00FF000000000000ULL);
  EXPECT_EQ(pos.pieces[kWhite][kKnight], squares({"b1", "g1"}));
  EXPECT_EQ(pos.board[sq("d1")], piece_code(kWhite, kQueen));
  EXPECT_EQ(pos.board[sq("d8")], piece_code(kBlack, kQueen));
  EXPECT_EQ(pos.board[64], 0);
  EXPECT_EQ(pos.touched, 0u);
  const uint8_t rooks[4] = {7, 0, 63, 56};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pos.castle_rook[i], rooks[i]);
  EXPECT_EQ(pos.castle_pieces[0], squares({"e1", "h1"}));
  EXPECT_EQ(pos.castle_pieces[3], squares({"e8", "a8"}));
  EXPECT_EQ(pos.castle_path[0], squares({"f1", "g1"}));
  EXPECT_EQ(pos.castle_path[1], squares({"b1", "c1", "d1"}));
  EXPECT_EQ(pos.castle_path[2], squares({"f8", "g8"}));
  EXPECT_EQ(pos.castle_path[3], squares({"b8", "c8", "d8"}));
  EXPECT_EQ(history.undo_index, 0);
  EXPECT_EQ(history.ply, 1);
  EXPECT_EQ(history.last_move, 0);
}

TEST_F(Fen, CastlingLettersPickTheOutermostRook) {
  // Rooks on f1 and h1: "K" means the h1 rook.
  Position& pos = set_board("4k3/8/8/8/8/8/8/4KR1R w K -");
  EXPECT_EQ(pos.castle_rights, kWhiteKingSide);
  EXPECT_EQ(pos.castle_rook[0], sq("h1"));
  EXPECT_EQ(pos.castle_rook[1], kNoSquare);
  EXPECT_EQ(pos.castle_pieces[0], squares({"e1", "h1"}));
  // Black, queen-side: rooks on a8 and c8 with the king on e8.
  Position& black = set_board("r1r1k3/8/8/8/8/8/8/4K3 w q -");
  EXPECT_EQ(black.castle_rights, kBlackQueenSide);
  EXPECT_EQ(black.castle_rook[3], sq("a8"));
  // The king off its first rank gets no right at all.
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/4K3/R6R w KQ -").castle_rights, 0);
  // A right asked for on a wing without a rook is dropped.
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K2R w KQ -").castle_rights, kWhiteKingSide);
  // A rook of the other colour does not count.
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K2r w K -").castle_rights, 0);
}

TEST_F(Fen, FileLettersNameTheRook) {
  uint64_t standard_key = set_board(kStartFen).key;
  Position& pos = set_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -");
  EXPECT_EQ(pos.castle_rights, 15);
  const uint8_t rooks[4] = {7, 0, 63, 56};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(pos.castle_rook[i], rooks[i]);
  EXPECT_EQ(pos.key, standard_key);

  // Two rooks on the king's wing: the letter chooses which one castles.
  Position& f_rook = set_board("4k3/8/8/8/8/8/8/4KR1R w F -");
  EXPECT_EQ(f_rook.castle_rights, kWhiteKingSide);
  EXPECT_EQ(f_rook.castle_rook[0], sq("f1"));
  EXPECT_EQ(f_rook.castle_path[0], squares({"g1"}));
  Position& h_rook = set_board("4k3/8/8/8/8/8/8/4KR1R w H -");
  EXPECT_EQ(h_rook.castle_rook[0], sq("h1"));
  // A letter naming neither of two rooks cannot be resolved.
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4KR1R w G -").castle_rights, 0);

  // Chess960: king b1, rooks a1 and h1; black king g8, rooks b8 and h8.
  Position& c960 = set_board("1r4kr/pppppppp/8/8/8/8/PPPPPPPP/RK5R w AHbh -");
  EXPECT_EQ(c960.castle_rights, 15);
  EXPECT_EQ(c960.castle_rook[0], sq("h1"));
  EXPECT_EQ(c960.castle_rook[1], sq("a1"));
  EXPECT_EQ(c960.castle_rook[2], sq("h8"));
  EXPECT_EQ(c960.castle_rook[3], sq("b8"));
  // King b1 to g1 crosses c1..g1; the a1 rook goes to d1 over b1 (the king's own square)
  // and c1, the king to c1.
  EXPECT_EQ(c960.castle_path[0], squares({"c1", "d1", "e1", "f1", "g1"}));
  EXPECT_EQ(c960.castle_path[1], squares({"c1", "d1"}));
  // Black king already on g8: only the rook's road h8..f8 matters.
  EXPECT_EQ(c960.castle_path[2], squares({"f8"}));
  EXPECT_EQ(c960.castle_path[3], squares({"c8", "d8", "e8", "f8"}));
}

TEST_F(Fen, WriteFenRoundTrips) {
  const char* fens[] = {
      "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
      "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
      "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6",
      "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
      "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
      "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -",
      "4k3/8/8/8/8/8/8/4K2R w K -",
  };
  for (const char* fen : fens) EXPECT_EQ(fen_of(set_board(fen), 0), fen);
  // Chess960 rights are written with the ordinary letters.
  EXPECT_EQ(fen_of(set_board("1r4kr/pppppppp/8/8/8/8/PPPPPPPP/RK5R w AHbh -"), 0),
            "1r4kr/pppppppp/8/8/8/8/PPPPPPPP/RK5R w KQkq -");
  // A castling rook with another rook further out on its wing keeps its file letter.
  const char* inner = "r1r1k3/8/8/8/8/8/8/4KR1R w Fc -";
  EXPECT_EQ(fen_of(set_board(inner), 0), inner);
}

TEST_F(Fen, CountersAreClockAndMovesSinceSetUp) {
  // The full-move number of the text is not read: the second counter is the moves made.
  EXPECT_EQ(fen_of(set_board("4k3/8/8/8/8/8/8/4K3 w - - 0 57"), 1), "4k3/8/8/8/8/8/8/4K3 w - - 0 0");
  EXPECT_EQ(fen_of(set_board("4k3/8/8/8/8/8/8/4K3 w - -"), 1), "4k3/8/8/8/8/8/8/4K3 w - - 0 0");
  EXPECT_EQ(fen_of(set_board("4k3/8/8/8/8/8/8/4K3 w - - 37 80"), 1), "4k3/8/8/8/8/8/8/4K3 w - - 37 0");
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K3 w - - 300 1").rule50, 255);
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K3 w - - 99999999999999999999 1").rule50, 255);

  Position& pos = set_board(kStartFen);
  make_move(pos, mv("e2e4"));
  EXPECT_EQ(fen_of(pos, 1), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
  make_move(pos, mv("g8f6"));
  EXPECT_EQ(fen_of(pos, 1), "rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 1 2");
}

TEST_F(Fen, SideFieldOtherThanWOrBKeepsTheSide) {
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K3 b - -").side, kBlack);
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/R3K3 - - -").side, kBlack);
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K3 w - -").side, kWhite);
  EXPECT_EQ(set_board("4k3/8/8/8/8/8/8/4K3 x - -").side, kWhite);
}

TEST_F(Fen, EnPassantSquareIsKeptOnlyWhereAPawnJustPassed) {
  // Black has just played e7-e5.
  EXPECT_EQ(set_board("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6").ep_square, sq("e6"));
  // Kept although no pawn can take: the square only records the double step.
  EXPECT_EQ(set_board("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3").ep_square, sq("e3"));
  // The wrong rank for the side that moved.
  EXPECT_EQ(set_board("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3").ep_square, kNoSquare);
  // No pawn in front of the square.
  EXPECT_EQ(set_board("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6").ep_square, kNoSquare);
  // The square the pawn came from is occupied (a bishop on e7).
  EXPECT_EQ(set_board("rnbqk1nr/ppppbppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6").ep_square, kNoSquare);
  // The square itself is occupied.
  EXPECT_EQ(set_board("rnbqkb1r/pppp1ppp/4n3/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6").ep_square, kNoSquare);
  // Not a square name.
  EXPECT_EQ(set_board("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq z6").ep_square, kNoSquare);
  EXPECT_EQ(set_board("rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e").ep_square, kNoSquare);

  // The key holds the en-passant key of the square.
  uint64_t with = key_of("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
  uint64_t without = key_of("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
  EXPECT_EQ(with ^ without, zobrist[20]);
}

TEST_F(Fen, RejectedTextsLeaveThePositionUntouched) {
  Position& pos = set_board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
  make_move(pos, mv("a2a4"));
  Position before;
  std::memcpy(&before, &pos, sizeof pos);
  const auto undo_index = history.undo_index, ply = history.ply;
  const auto last_move = history.last_move;
  position::UndoRecord record0 = history.undo[0];

  const char* rejected[] = {
      "4k3/8/8/8/8/8/8/8 w - -",                      // no white king
      "8/8/8/8/8/8/8/4K3 w - -",                      // no black king
      "8/8/8/3kK3/8/8/8/8 w - -",                     // kings side by side
      "8/8/8/8/8/8/3k4/4K3 b - -",                    // kings diagonally adjacent
      "4k3/8/8/8/8/8/8/4R1K1 w - -",                  // white to move could take the king
      "4k3/8/8/8/8/5n2/8/6K1 b - -",                  // black to move could take the king
      "4k3/8/8/8/8/P7/PPPPPPPP/4K3 w - -",            // nine white pawns
      "P3k3/8/8/8/8/8/8/4K3 w - -",                   // a pawn on the eighth rank
      "4k3/8/8/8/8/8/8/p3K3 w - -",                   // a pawn on the first rank
      "4k3/8/8/8/8/8/8/K3K3 w - -",                   // two white kings
      "4k3/8/8/8/NNNNNNNN/8/PPPPPPPP/4K3 w - -",      // seventeen white men
      "",
  };
  for (const char* fen : rejected) {
    std::string copy(fen);
    EXPECT_EQ(set_position(pos, copy.c_str()), -1) << fen;
    EXPECT_EQ(std::memcmp(&before, &pos, sizeof pos), 0) << fen;
    EXPECT_EQ(history.undo_index, undo_index);
    EXPECT_EQ(history.ply, ply);
    EXPECT_EQ(history.last_move, last_move);
    EXPECT_EQ(std::memcmp(&record0, &history.undo[0], sizeof record0), 0);
  }
  // Sixteen men is still a position.
  EXPECT_EQ(set_position(pos, "4k3/8/8/8/NNNNNNN1/8/PPPPPPPP/4K3 w - -"), 0);
  EXPECT_EQ(history.undo_index, 0);
}

TEST_F(Fen, GarbageNeverWritesOutsideTheBoard) {
  struct Case {
    const char* fen;
    int result;
  };
  const Case cases[] = {
      // Digits over 8 are not piece letters and move nothing.
      {"9999999999/8/8/8/8/8/8/4K2k w - -", 0},
      // Pieces beyond the h-file or below the first rank are ignored.
      {"rrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrrk/8/8/8/8/8/8/4K3 w - -", -1},
      {"4k3/8/8/8/8/8/8/4K3/8/8/8/QQQQQQQQQQQQQQQQQQ w - -", 0},
      {"4k3/8/8/8/8/8/8/4K388888888888888888888NNNN w - -", 0},
      {"4k3/8/8/8/8/8/8/4KX2 w - -", 0},
      {"4k3/8/8/8/8/8/8/4K3", 0},
      {"4k3/8/8/8/8/8/8/4K3 w", 0},
      {"4k3/8/8/8/8/8/8/4K3 w KQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkqKQkq", 0},
      {"4k3\xC3\xA9/8/8/8/8/8/8/4K3 w \xFF\xFE \xE2\x82\xAC \x80", 0},
      {"4k3/8/8/8/8/8/8/4K3 w - h9 -5 x", 0},
      {"////////////////////////////////////////", -1},
      {"\xFF\xFF\xFF\xFF", -1},
      {"   ", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fen);
    Position scratch;
    std::memset(&scratch, 0, sizeof scratch);
    scratch.game = &history;
    std::string copy(c.fen);
    EXPECT_EQ(set_position(scratch, copy.c_str()), c.result);
    if (c.result == 0) {
      EXPECT_TRUE(nesk_test::consistent(scratch));
      EXPECT_EQ(scratch.ep_square, kNoSquare);
      EXPECT_EQ(popcount(scratch.occupancy()), 2);
    }
  }
}

TEST_F(Fen, ZobristKeysComeFromTheFixedGenerator) {
  // Two 16-bit multiply-with-carry generators, seeded with 1; keys drawn again when their
  // population count lies outside 20..44.
  uint32_t z = 1, w = 1;
  auto step = [&z, &w] {
    z = 36969 * (z & 0xFFFF) + (z >> 16);
    w = 18000 * (w & 0xFFFF) + (w >> 16);
  };
  for (int i = 0; i < 1024; ++i) {
    uint64_t key;
    do {
      step();
      uint32_t high = (z << 16) + w;
      step();
      uint32_t low = (z << 16) + w;
      key = (uint64_t{high} << 32) | low;
    } while (__builtin_popcountll(key) < 20 || __builtin_popcountll(key) > 44);
    ASSERT_EQ(zobrist[i], key) << "entry " << i;
  }
  // A second fill changes nothing.
  uint64_t copy[1024];
  std::memcpy(copy, zobrist, sizeof copy);
  init_zobrist();
  EXPECT_EQ(std::memcmp(copy, zobrist, sizeof copy), 0);
}

TEST_F(Fen, ComputeKeysFormula) {
  Position& pos = set_board("r3k2r/8/8/8/3pP3/8/8/R3K2R b KQkq e3");
  uint64_t key = zobrist[15] ^ zobrist[sq("e3")];
  uint64_t pawn_key = 0;
  for (int s = 0; s < 64; ++s) {
    if (!pos.board[s]) continue;
    key ^= zobrist[pos.board[s] * 64 + s];
    if (type_of(pos.board[s]) == kPawn) pawn_key ^= zobrist[pos.board[s] * 64 + s];
  }
  EXPECT_EQ(pos.key, key);
  EXPECT_EQ(pos.pawn_key, pawn_key);
  EXPECT_EQ(pawn_key, zobrist[9 * 64 + sq("d4")] ^ zobrist[1 * 64 + sq("e4")]);
  // The side to move is not part of the key.
  EXPECT_EQ(key_of("4k3/8/8/8/8/8/8/4K3 w - -"), key_of("4k3/8/8/8/8/8/8/4K3 b - -"));
}

}  // namespace
