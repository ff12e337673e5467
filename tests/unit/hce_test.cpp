// The hand-crafted evaluation: symmetry, tapering, drawish-ending scales, the pawn hash,
// the pawn-table switch and the pin query.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "eval/hce.h"
#include "eval/hce_info.h"
#include "eval/params.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "test_support.h"

namespace {

using eval::slots;
using nesk_test::sq;
using nesk_test::squares;
using position::popcount;

search::SearchThread& hce_thread() {
  static search::SearchThread& thread = [&]() -> search::SearchThread& {
    search::SearchThread& t = nesk_test::engine_thread();
    eval::register_eval_params();
    eval::load_embedded_params();
    return t;
  }();
  return thread;
}

int evaluate_at(const char* fen, int ply = 0) {
  search::SearchThread& thread = hce_thread();
  nesk_test::set_up(fen);
  return eval::hce_evaluate(thread.position, thread.eval, ply);
}

std::vector<std::string> fields_of(const std::string& fen) {
  std::istringstream in(fen);
  std::vector<std::string> fields;
  for (std::string f; in >> f;) fields.push_back(f);
  while (fields.size() < 4) fields.push_back("-");
  return fields;
}

std::vector<std::string> ranks_of(const std::string& placement) {
  std::vector<std::string> ranks;
  std::stringstream in(placement);
  for (std::string r; std::getline(in, r, '/');) ranks.push_back(r);
  return ranks;
}

// How much the value (side to move's view, root evaluation) moves when one weight grows by
// 100 in both halves: 100 x (how often the side to move collects the term - how often the
// other side does), scaled by any fractions that weight the term.
int delta(eval::EvalParam* p, const char* fen) {
  const int before = evaluate_at(fen, 0);
  {
    search::SearchThread& thread = hce_thread();
    eval::EvalInfo info;
    eval::hce_evaluate(thread.position, thread.eval, 0, info);
    const int value = eval::tapered_value(info);
    EXPECT_EQ(eval::scale_factor(thread.position, thread.position.side == 0 ? value : -value), 1.0f)
        << "term counts are read on unscaled positions: " << fen;
  }
  const int32_t saved = p->score;
  const float mg = p->mg, eg = p->eg;
  p->score += eval::pack_score(100, 100);
  p->mg += 100;
  p->eg += 100;
  const int after = evaluate_at(fen, 0);
  p->score = saved;
  p->mg = mg;
  p->eg = eg;
  evaluate_at(fen, 0);  // leave no pawn-hash entry built with the changed weight
  return after - before;
}

char swap_case(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return static_cast<char>(std::isupper(u) ? std::tolower(u) : std::toupper(u));
}

// Ranks reversed, colours and side to move swapped, castling and en passant mirrored.
std::string flip_colours(const std::string& fen) {
  std::vector<std::string> f = fields_of(fen);
  std::vector<std::string> ranks = ranks_of(f[0]);
  std::string placement;
  for (int i = static_cast<int>(ranks.size()) - 1; i >= 0; --i) {
    for (char& c : ranks[i]) c = swap_case(c);
    placement += ranks[i] + (i ? "/" : "");
  }
  std::string white_rights, black_rights;
  if (f[2] != "-")
    for (char c : f[2]) (std::islower(static_cast<unsigned char>(c)) ? white_rights : black_rights) += swap_case(c);
  std::string castling = f[2] == "-" ? "-" : white_rights + black_rights;
  std::string ep = f[3];
  if (ep != "-") ep[1] = ep[1] == '3' ? '6' : '3';
  return placement + " " + (f[1] == "w" ? "b" : "w") + " " + castling + " " + ep;
}

// Files reversed (a <-> h); castling rights are dropped.
std::string flip_files(const std::string& fen) {
  std::vector<std::string> f = fields_of(fen);
  std::string placement;
  for (const std::string& rank : ranks_of(f[0])) {
    std::string expanded;  // digits become runs of '1', which is still valid FEN
    for (char c : rank)
      expanded += std::isdigit(static_cast<unsigned char>(c)) ? std::string(c - '0', '1') : std::string(1, c);
    std::reverse(expanded.begin(), expanded.end());
    if (!placement.empty()) placement += "/";
    placement += expanded;
  }
  std::string ep = f[3];
  if (ep != "-") ep[0] = static_cast<char>('h' - (ep[0] - 'a'));
  return placement + " " + f[1] + " - " + ep;
}

// Varied positions: openings, both castling kinds, passed and candidate pawns, pins,
// endings. None has two queens of one colour (the pin test looks at the lowest one).
const char* const kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6",
    "2kr3r/ppp2ppp/2n1bn2/2bqp3/4P3/2NP1N2/PPPBBPPP/R2Q1RK1 w - -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
    "r1bqk2r/pppp1ppp/2n2n2/1B2p3/1b2P3/2NP1N2/PPP2PPP/R1BQK2R w KQkq -",
    "2r2rk1/pp3ppp/2n1b3/3pN3/3P4/2PB4/PP3PPP/R4RK1 b - -",
    "r2q1rk1/pb3ppp/1p2pn2/2bP4/2P5/P1N2N2/1B2BPPP/R2Q1RK1 b - -",
    "6k1/pp3ppp/4p3/3pP3/1P1P4/P5P1/5PKP/2r5 w - -",
    "8/5k2/3p4/1p1P4/1P3PK1/8/8/8 w - -",
    "8/1R3pk1/6p1/7p/P6P/6P1/r4PK1/8 b - -",
    "8/pp3k2/2p5/PP6/8/8/5K2/8 w - -",
    "1k6/pp3p2/8/8/8/8/PP4P1/1K6 b - -",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - -",
    "4k3/8/8/8/P7/2K5/8/2B5 w - -",
    "8/4kp2/4b1p1/8/3B4/5PP1/5K2/8 w - -",
    "3qk3/8/8/1b6/8/8/3R4/3QK3 w - -",
    "r1b1k2r/ppppnppp/2n5/2b1P1q1/2B5/2N2N2/PPPP1PPP/R1BQK2R w KQkq -",
};

TEST(HceSymmetry, ColourFlippedPositionsEvaluateAlike) {
  for (const char* fen : kPositions) {
    std::string flipped = flip_colours(fen);
    int a = evaluate_at(fen);
    int b = evaluate_at(flipped.c_str());
    EXPECT_EQ(a, b) << fen << "  vs  " << flipped;
  }
}

TEST(HceSymmetry, FileMirroredPositionsEvaluateAlike) {
  for (const char* fen : kPositions) {
    std::string mirrored = flip_files(fen);
    EXPECT_EQ(evaluate_at(fen), evaluate_at(mirrored.c_str())) << fen << "  vs  " << mirrored;
  }
}

TEST(HcePhase, StartPositionUsesOnlyMiddlegameHalves) {
  search::SearchThread& thread = hce_thread();
  nesk_test::set_up(position::kStartFen);
  eval::EvalInfo info;
  int value = eval::hce_evaluate(thread.position, thread.eval, 0, info);
  EXPECT_EQ(info.phase, 1.0f);  // 78 * 0.014 is capped at 1
  // The position is symmetric, so only the side-to-move bonus remains: its middlegame half.
  EXPECT_EQ(value, eval::score_mg(slots.stm_bonus->score));
  EXPECT_EQ(evaluate_at("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"), 27);

  // Kings and pawns only: phase 16 * 0.014 = 0.224, so the bonus tapers towards its
  // endgame half: trunc(27 * 0.224 + 9 * 0.776) = 13.
  nesk_test::set_up("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - -");
  value = eval::hce_evaluate(thread.position, thread.eval, 0, info);
  EXPECT_NEAR(info.phase, 0.224f, 1e-6f);
  EXPECT_EQ(value, 13);
}

// The unscaled value of the position set up on the thread, and the final one.
struct Scaled {
  int tapered;
  int final_value;
  float factor;
};

Scaled scaled_result(const char* fen) {
  search::SearchThread& thread = hce_thread();
  nesk_test::set_up(fen);
  eval::EvalInfo info;
  Scaled r;
  r.final_value = eval::hce_evaluate(thread.position, thread.eval, 0, info);
  r.tapered = eval::tapered_value(info);
  r.factor = eval::scale_factor(thread.position, thread.position.side == 0 ? r.tapered : -r.tapered);
  return r;
}

TEST(HceScale, RookPawnWithTheWrongBishop) {
  // White's a-pawn queens on a8, a light square; the bishop runs on dark squares and the
  // defending king stands next to the corner.
  for (const char* fen :
       {"1k6/8/8/8/P7/2K5/8/2B5 w - -", "1k6/8/8/8/P7/2K5/8/2B5 b - -", "k7/8/8/8/P7/2K5/8/2B5 w - -"}) {
    Scaled r = scaled_result(fen);
    EXPECT_EQ(r.factor, 0.05f) << fen;
    EXPECT_EQ(r.final_value, static_cast<int>(static_cast<float>(r.tapered) * 0.05f)) << fen;
    EXPECT_GT(std::abs(r.tapered), 100) << fen;  // the plain value sees a piece and a pawn up
    EXPECT_LE(std::abs(r.final_value), std::abs(r.tapered) / 20 + 1) << fen;
  }
  // The right bishop, or a king too far from the corner: no such scale.
  EXPECT_EQ(scaled_result("1k6/8/8/8/P7/2K5/8/1B6 w - -").factor, 1.0f);
  EXPECT_EQ(scaled_result("8/2k5/8/8/P7/2K5/8/2B5 w - -").factor, 1.0f);
  // The same on the h-file (h8 is dark: a light bishop is the wrong one) and for black.
  EXPECT_EQ(scaled_result("6k1/8/8/8/7P/5K2/8/5B2 w - -").factor, 0.05f);
  EXPECT_EQ(scaled_result("2b5/8/2k5/p7/8/8/8/1K6 w - -").factor, 0.05f);
  EXPECT_EQ(scaled_result("5b2/8/5k2/7p/8/8/8/6K1 b - -").factor, 0.05f);
  EXPECT_EQ(scaled_result("5b2/8/5k2/7p/8/8/8/3K4 b - -").factor, 1.0f);
}

TEST(HceScale, OppositeColouredBishopsHalve) {
  const char* opposite = "8/4kp2/4b1p1/8/3B4/5PP1/5K2/8 w - -";  // e6 light, d4 dark
  Scaled r = scaled_result(opposite);
  EXPECT_EQ(r.factor, 0.5f);
  EXPECT_EQ(r.final_value, static_cast<int>(static_cast<float>(r.tapered) * 0.5f));
  // A pawn up is still within the margin of two.
  EXPECT_EQ(scaled_result("8/4kp2/4b1p1/8/3B4/4PPP1/5K2/8 w - -").factor, 0.5f);
  // Same-coloured bishops, or three pawns up: not scaled.
  EXPECT_EQ(scaled_result("8/4kp2/6p1/4b3/3B4/5PP1/5K2/8 w - -").factor, 1.0f);
  EXPECT_EQ(scaled_result("8/4k3/4b3/8/3B4/5PP1/5KP1/8 w - -").factor, 1.0f);
}

TEST(HceScale, PawnlessAndSinglePawnAdvantages) {
  // The stronger side has no pawns: rook against bishop.
  EXPECT_EQ(scaled_result("4k3/8/8/8/2b5/8/8/R3K3 w - -").factor, 0.65f);
  EXPECT_EQ(scaled_result("r3k3/8/8/2B5/8/8/8/4K3 w - -").factor, 0.65f);
  // One pawn, no more pieces than the defender, who has a minor.
  EXPECT_EQ(scaled_result("4k3/8/1n6/8/8/3P4/8/3BK3 w - -").factor, 0.75f);
  EXPECT_EQ(scaled_result("3bk3/8/3p4/8/8/6N1/8/4K3 b - -").factor, 0.75f);
  // Two pawns: no scale.
  EXPECT_EQ(scaled_result("4k3/8/1n6/8/8/3PP3/8/3BK3 w - -").factor, 1.0f);
  // Too much material on the board for any of it.
  EXPECT_EQ(scaled_result("r3k3/8/8/8/8/8/8/R2QK3 w - -").factor, 1.0f);
}

TEST(HcePawnHash, NotConsultedAtPlyZeroOrOne) {
  search::SearchThread& thread = hce_thread();
  const char* fen = "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -";
  const int fresh = evaluate_at(fen, 0);
  const uint64_t key = eval::pawn_hash_key(thread.position);
  eval::PawnHashEntry& entry = thread.eval.pawn_hash[key & (eval::kPawnHashSize - 1)];
  ASSERT_EQ(entry.key, key);  // stored even at the root

  for (int ply : {0, 1}) {
    entry.white_score += eval::pack_score(500, 500);  // a poisoned entry with the right key
    const uint64_t probes = thread.eval.pawn_probes, hits = thread.eval.pawn_hits;
    EXPECT_EQ(evaluate_at(fen, ply), fresh) << ply;
    EXPECT_EQ(thread.eval.pawn_probes, probes);
    EXPECT_EQ(thread.eval.pawn_hits, hits);
  }
  // At ply 2 the entry answers: a poisoned one shows through, which proves it is read.
  entry.white_score += eval::pack_score(500, 500);
  const uint64_t probes = thread.eval.pawn_probes, hits = thread.eval.pawn_hits;
  EXPECT_EQ(evaluate_at(fen, 2), fresh + 500);
  EXPECT_EQ(thread.eval.pawn_probes, probes + 1);
  EXPECT_EQ(thread.eval.pawn_hits, hits + 1);
  evaluate_at(fen, 0);  // repair the entry
}

// Positions along a game share pawn structures with each other; every evaluation answered
// from the hash must equal a fresh computation.
TEST(HcePawnHash, ReuseMatchesFreshComputation) {
  search::SearchThread& thread = hce_thread();
  const char* moves[] = {"e4",  "c5",  "Nf3", "d6",  "d4",  "cxd4", "Nxd4", "Nf6", "Nc3",  "a6",   "Be3",
                         "e5",  "Nb3", "Be6", "f3",  "Be7", "Qd2",  "O-O",  "O-O-O", "Nbd7", "g4", "b5",
                         "g5",  "b4",  "Ne2", "Ne8", "f4", "a5",  "f5",   "Bxb3", "axb3", "a4", "Kb1", "axb3",
                         "cxb3", "Nc5", "Ng3"};
  std::vector<std::string> fens;
  nesk_test::set_up(position::kStartFen);
  for (const char* text : moves) {
    position::Move move = 0;
    ASSERT_EQ(position::text_to_move(thread.position, text, move, position::MoveStyle{}), 1) << text;
    position::make_move(thread.position, move);
    char fen[128];
    position::write_fen(thread.position, fen, 0);
    fens.push_back(fen);
  }
  std::vector<int> fresh;
  for (const std::string& fen : fens) fresh.push_back(evaluate_at(fen.c_str(), 0));
  // Visit the positions in an order that leaves stale and matching entries about.
  const uint64_t hits_before = thread.eval.pawn_hits;
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < fens.size(); ++i) {
      size_t j = round ? fens.size() - 1 - i : (i * 7) % fens.size();
      EXPECT_EQ(evaluate_at(fens[j].c_str(), 5), fresh[j]) << fens[j];
    }
  EXPECT_GT(thread.eval.pawn_hits, hits_before);
}

TEST(HcePawnTable, SwitchesWhenAKingCrossesHalves) {
  search::SearchThread& thread = hce_thread();
  // Full material keeps the phase at 1, so the value moves exactly with a middlegame term.
  // Test squares are picked so that no pawn of the other colour shares their index.
  const char* same_half = "rnbqbrk1/pppppppp/5n2/8/4P3/5N2/PPPP1PPP/RNBQBRK1 w - -";
  const char* other_half = "rnkq1bnr/pppppppp/4b3/8/4P3/5N2/PPPP1PPP/RNBQBRK1 w - -";
  const int e4 = sq("e4");  // white king on g1: no file mirror

  nesk_test::set_up(same_half);
  ASSERT_EQ(popcount(thread.position.occupancy()), 32);  // phase 1
  const uint64_t key_same = eval::pawn_hash_key(thread.position);
  nesk_test::set_up(other_half);
  const uint64_t key_other = eval::pawn_hash_key(thread.position);
  EXPECT_NE(key_same, key_other);
  EXPECT_EQ(key_same ^ key_other, 0x3E2571CB4ULL);
  // The white king crossing as well restores "same half" but is still a different key.
  nesk_test::set_up("rnkq1bnr/pppppppp/4b3/8/4P3/5N2/PPPP1PPP/1KRQ1BNR w - -");
  EXPECT_EQ(eval::pawn_hash_key(thread.position) ^ key_other, 0x6C43EB52AULL);

  EXPECT_EQ(delta(slots.pst_p1[e4], same_half), 100);
  EXPECT_EQ(delta(slots.pst_p2[e4], same_half), 0);
  EXPECT_EQ(delta(slots.pst_p1[e4], other_half), 0);
  EXPECT_EQ(delta(slots.pst_p2[e4], other_half), 100);
  // Black pawns through black's mirror (ranks flipped, and files too with the king on
  // c8): e7 reads entry e2 with the king on g8, d7 reads entry e2 with it on c8.
  EXPECT_EQ(delta(slots.pst_p1[sq("e2")], same_half), -100);
  EXPECT_EQ(delta(slots.pst_p2[sq("e2")], other_half), -100);
  EXPECT_EQ(sq("e7") ^ 56, sq("e2"));
  EXPECT_EQ(sq("d7") ^ 63, sq("e2"));
}

TEST(HceSets, PassersCandidatesAndOutposts) {
  search::SearchThread& thread = hce_thread();
  // White: a5 passed (no black pawn ahead on files a-b), c4 a candidate (none ahead on
  // its file, d6 guards its path), h2 facing h7. Black: d6, h7.
  nesk_test::set_up("4k3/7p/3p4/P7/2P5/8/7P/4K3 w - -");
  eval::EvalInfo info;
  eval::hce_evaluate(thread.position, thread.eval, 0, info);
  EXPECT_EQ(info.passed, squares({"a5"}));
  EXPECT_EQ(info.candidates, squares({"c4", "d6"}));  // d6: c4 guards its path, no pawn on its file
  // White outposts: b-g on ranks 4-6 that no black pawn can ever attack.
  EXPECT_EQ(info.outposts[0] & squares({"c5", "e5", "d5", "b4", "g5", "g6"}), squares({"d5", "b4"}));
  EXPECT_EQ(info.front_span[1], squares({"d5", "d4", "d3", "d2", "d1", "h6", "h5", "h4", "h3", "h2", "h1"}));
  EXPECT_EQ(info.zone[0], squares({"d1", "e1", "f1", "d2", "e2", "f2", "d3", "e3", "f3"}));
  EXPECT_EQ(info.zone[1], squares({"d8", "e8", "f8", "d7", "e7", "f7", "d6", "e6", "f6"}));
}

// Term counts, read through the weights: each check below would change with a fault in
// which pieces or squares the term counts, or which side it is credited to. The slots
// are read before the first evaluation, so the registry is filled up front.
class HceTerms : public testing::Test {
 protected:
  void SetUp() override { hce_thread(); }
};

TEST_F(HceTerms, PawnStructureCounts) {
  // White: a2 and the doubled c3/c4 are isolated, c4 is doubled, e3 is weak (its only
  // neighbour f4 is ahead of it), c3 and e3 are blocked. Black: g7/h7 is a sound pair.
  const char* fen = "4k3/6pp/8/8/2P1nP2/2P1P3/P7/4K3 w - -";
  EXPECT_NEAR(delta(slots.pawn_isolated, fen), 300, 1);
  EXPECT_NEAR(delta(slots.pawn_doubled, fen), 100, 1);
  EXPECT_NEAR(delta(slots.pawn_weak, fen), 100, 1);
  EXPECT_NEAR(delta(slots.pawn_blocked, fen), 200, 1);
  // f4 defends nothing, c3 defends nothing (c4 is on its own file); e3 defends f4.
  EXPECT_NEAR(delta(slots.pst_dp[sq("f4")], fen), 100, 1);
  EXPECT_NEAR(delta(slots.pst_dp[sq("c4")], fen), 0, 1);
}

TEST_F(HceTerms, PiecesAndKing) {
  EXPECT_NEAR(delta(slots.bishop_pair, "4k3/8/8/8/8/8/8/2B1KB2 w - -"), 100, 1);
  EXPECT_NEAR(delta(slots.bishop_pair, "4k3/8/8/8/8/8/8/2B1K1B1 w - -"), 0, 1);  // both dark
  // A rook on the seventh counts only while the enemy king is on its last two ranks.
  EXPECT_NEAR(delta(slots.rook_7th, "6k1/1R6/8/8/8/8/8/6K1 w - -"), 100, 1);
  EXPECT_NEAR(delta(slots.rook_7th, "8/1R6/6k1/8/8/8/8/6K1 w - -"), 0, 1);
  EXPECT_NEAR(delta(slots.rook_7th, "6k1/8/8/8/8/8/1r6/6K1 w - -"), -100, 1);
  // Open file: no pawn of either colour on it.
  EXPECT_NEAR(delta(slots.rook_openfile, "4k3/1p6/8/8/8/8/8/RR2K3 w - -"), 100, 1);
  // The bishop on d3 is pinned to the king by the rook on d8.
  EXPECT_NEAR(delta(slots.pinned_piece, "3rk3/7p/8/8/8/3B4/7P/3K4 w - -"), 100, 1);
  EXPECT_NEAR(delta(slots.pinned_piece, "3rk3/7p/8/8/8/3B4/7P/3K4 b - -"), -100, 1);
}

TEST_F(HceTerms, Threats) {
  // e4-e5 (safe: d4 guards e5, no black pawn hits it) would fork the bishops on d6, f6.
  EXPECT_NEAR(delta(slots.ppush_threat, "4k3/8/3b1b2/8/3PP3/8/8/4K3 w - -"), -200, 1);
  // Black to move. The knight on d5 is attacked by the e4 pawn: hung, a black term. The
  // rook on b3 is attacked by the knight on d4, a minor: hung, a white term.
  const char* fen = "4k3/7p/8/3n4/3nP3/1R6/7P/4K3 b - -";
  EXPECT_NEAR(delta(slots.hung_minor, fen), 100, 1);
  EXPECT_NEAR(delta(slots.hung_major, fen), -100, 1);
  // A black pawn attacked by the rook and guarded by nothing.
  EXPECT_NEAR(delta(slots.hung_pawn, "4k3/7p/8/8/8/R3p3/7P/4K3 b - -"), 100, 1);
  EXPECT_NEAR(delta(slots.attacked_pawn, "4k3/7p/8/8/8/R3p3/7P/4K3 b - -"), 0, 1);
  // A minor attacked by a pawn is hung even when a pawn of its own defends it.
  EXPECT_NEAR(delta(slots.hung_minor, "4k3/7p/2p5/3n4/4P3/8/7P/4K3 b - -"), 100, 1);
}

TEST_F(HceTerms, KingSafetyChecks) {
  // The knight check on f3 is safe although the rook on f7 guards f3: the knight and the
  // bishop both attack it. Rh1 is no safe check: the king guards h1 and only the rook
  // attacks it. The checks count against the king's owner, white here.
  EXPECT_NEAR(delta(slots.enemy_checks, "6kr/5R2/8/4n3/8/8/8/3b2K1 w - -"), 100, 1);
  // With the bishop on c6 it also backs up Rh1.
  EXPECT_NEAR(delta(slots.enemy_checks, "6kr/5R2/2b5/4n3/8/8/8/6K1 w - -"), 200, 1);
  // With the rook on a8 instead, Ra1 is the second safe check.
  EXPECT_NEAR(delta(slots.enemy_checks, "r5k1/5R2/2b5/4n3/8/8/8/6K1 w - -"), 200, 1);
  // King steps to the nearest square ahead of a pawn: 1 for white (a3), 6 for black.
  EXPECT_NEAR(delta(slots.king_pawn_dist, "7k/8/8/8/8/8/P7/K7 w - -"), 20 - 100, 1);
  // Without a rook or queen on the other side the king-safety block is skipped.
  EXPECT_NEAR(delta(slots.enemy_checks, "6k1/pp3R2/2b5/4n3/8/8/PP6/6K1 w - -"), 0, 1);
}

TEST_F(HceTerms, PassedPawnFrontSquare) {
  // From its second rank a free path lets the pawn count two squares ahead: b4 is
  // occupied, so the pawn is neither mobile nor free.
  const char* fen = "8/6pp/8/8/1n6/8/1P4PP/K5k1 w - -";
  EXPECT_NEAR(delta(slots.ppawn_mobile, fen), 0, 1);
  EXPECT_NEAR(delta(slots.ppawn_base, fen), 9, 1);  // 100 x 0.09
  // With b4 empty and nothing attacking b3/b4 it is mobile and free.
  EXPECT_NEAR(delta(slots.ppawn_free, "8/6pp/8/8/8/8/1P4PP/K5k1 w - -"), 9, 1);
}

TEST(HceSets, KingDangerCounter) {
  search::SearchThread& thread = hce_thread();
  auto counters = [&](const char* fen) {
    nesk_test::set_up(fen);
    eval::EvalInfo info;
    eval::hce_evaluate(thread.position, thread.eval, 0, info);
    return std::pair<int, int>(info.danger[0], info.danger[1]);
  };
  // A knight reaching the zone around g8 (f6..h8) adds 4 to black's counter.
  EXPECT_EQ(counters("6k1/8/8/4N3/8/8/8/6K1 w - -"), std::make_pair(0, 4));
  EXPECT_EQ(counters("6k1/8/8/8/8/8/8/1N4K1 w - -"), std::make_pair(0, 0));
  // A queen behind its bishop sees through it: 3 for the bishop, 5 for the queen; behind
  // a knight it does not.
  EXPECT_EQ(counters("6k1/8/8/8/8/3B4/2Q5/6K1 w - -"), std::make_pair(0, 8));
  EXPECT_EQ(counters("6k1/8/8/8/8/3N4/2Q5/6K1 w - -"), std::make_pair(0, 0));
  // Squares of the zone a black pawn can step onto count 2 each: g3 and h3 for white.
  EXPECT_EQ(counters("6k1/8/8/8/6pp/8/8/6K1 w - -"), std::make_pair(4, 0));
  // The battery also counts as a double attack behind the bishop.
  nesk_test::set_up("6k1/8/8/8/8/3B4/2Q5/6K1 w - -");
  eval::EvalInfo info;
  eval::hce_evaluate(thread.position, thread.eval, 0, info);
  EXPECT_TRUE(info.twice[0] & squares({"e4", "h7"}));
  EXPECT_FALSE(info.queen[0] & squares({"e4"}));
}

TEST(PinnedPieces, KingAndQueenLines) {
  auto pinned = [](const char* fen, int colour) {
    nesk_test::set_up(fen);
    return eval::pinned_pieces(hce_thread().position, colour);
  };
  // A bishop pins the d2 knight to the king; a second piece on the line undoes the pin.
  EXPECT_EQ(pinned("4k3/8/8/8/1b6/8/3N4/4K3 w - -", 0), squares({"d2"}));
  EXPECT_EQ(pinned("4k3/8/8/8/1b6/2P5/3N4/4K3 w - -", 0), 0u);
  // An enemy piece in between is no pin of ours.
  EXPECT_EQ(pinned("4k3/8/8/8/1b6/8/3n4/4K3 w - -", 0), 0u);
  // Rook and queen pins on a file, a rank and a diagonal; pawns are included.
  EXPECT_EQ(pinned("4r2k/8/8/8/4B3/8/8/q2NK3 w - -", 0), squares({"e4", "d1"}));
  EXPECT_EQ(pinned("4k3/8/8/7q/8/5P2/8/3K4 w - -", 0), squares({"f3"}));
  // A bishop on a file or a rook on a diagonal pins nothing.
  EXPECT_EQ(pinned("4b2k/8/8/8/4N3/8/8/4K3 w - -", 0), 0u);
  EXPECT_EQ(pinned("4k3/8/r7/8/8/8/4N3/5K2 w - -", 0), 0u);
  EXPECT_EQ(pinned("7k/8/8/8/8/8/8/r1N1K3 w - -", 0), squares({"c1"}));
  // Pins to the queen: by a bishop or a rook, not by a queen.
  EXPECT_EQ(pinned("3r3k/8/8/8/3N4/8/8/K2Q4 w - -", 0), squares({"d4"}));
  EXPECT_EQ(pinned("3q3k/8/8/8/3N4/8/8/K2Q4 w - -", 0), 0u);
  EXPECT_EQ(pinned("3b3k/8/8/8/3N4/8/8/K2Q4 w - -", 0), 0u);  // a bishop on the file
  EXPECT_EQ(pinned("7k/8/8/8/8/5b2/4N3/K2Q4 w - -", 0), squares({"e2"}));
  // Only the lowest queen is guarded: a piece on the h1 queen's file is free.
  EXPECT_EQ(pinned("r6r/8/4k3/8/N6N/8/8/Q2K3Q w - -", 0), squares({"a4"}));
  // Black pieces, seen from black.
  EXPECT_EQ(pinned("4k3/4n3/8/8/8/8/8/2K1R3 b - -", 1), squares({"e7"}));
}

}  // namespace
