// Move generation order and the staged move picker: stages, modes, check evasions, and
// the history, killer and counter-move memory it orders by.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "position/exchange.h"
#include "position/movegen.h"
#include "search/movepick.h"
#include "test_support.h"

namespace {

using namespace position;
using nesk_test::moves_of;
using nesk_test::mv;
using nesk_test::set_up;
using nesk_test::sq;

std::vector<Move> moves(std::initializer_list<const char*> texts, Move flags = 0) {
  std::vector<Move> result;
  for (const char* t : texts) result.push_back(mv(t, flags));
  return result;
}

std::vector<Move> sorted(std::vector<Move> list) {
  std::sort(list.begin(), list.end());
  return list;
}

class MoveOrder : public testing::Test {
 protected:
  static void SetUpTestSuite() { nesk_test::engine_thread(); }
  void SetUp() override { search::clear_history(thread); }

  search::SearchThread& thread = nesk_test::engine_thread();
  MoveEntry list[search::kMaxMoves];

  // Everything the picker of `ply` hands out, in order.
  std::vector<MoveEntry> pick(Position& /*the thread's*/, uint8_t mode, Move tt_move, int checker, int ply = 1) {
    thread.game.ply = static_cast<int16_t>(ply);
    search::start_picker(thread, mode, tt_move, checker);
    std::vector<MoveEntry> out;
    while (MoveEntry* entry = search::next_move(thread)) {
      out.push_back(*entry);
      if (out.size() > 2 * search::kMaxMoves) break;
    }
    thread.game.ply = 1;
    return out;
  }
  static std::vector<Move> just_moves(const std::vector<MoveEntry>& entries) {
    std::vector<Move> result;
    for (const MoveEntry& e : entries) result.push_back(e.move);
    return result;
  }
  int checker_of(const Position& pos) {
    return least_valuable_attacker(pos, pos.king_square[pos.side], pos.side ^ 1, pos.occupancy());
  }
};

TEST_F(MoveOrder, StartPositionGenerationOrder) {
  Position& pos = set_up(kStartFen);
  MoveEntry* start = generate_all_moves(pos, list);
  MoveEntry* end = start;
  while (end->move != kListEnd) ++end;
  EXPECT_EQ(moves_of(start, end),
            moves({"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3", "g2g3", "h2h3", "a2a4", "b2b4", "c2c4", "d2d4",
                   "e2e4", "f2f4", "g2g4", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"}));
  for (MoveEntry* e = start; e < end; ++e) {
    EXPECT_EQ(e->victim, 0);
    EXPECT_EQ(e->mover, pos.board[move_from(e->move)]);
  }
  // Black's reply order after 1. e4: pawns by ascending to-square, single steps first.
  Position& black = set_up("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
  start = generate_all_moves(black, list);
  EXPECT_EQ(start[0].move, mv("a7a6"));
  EXPECT_EQ(start[7].move, mv("h7h6"));
  EXPECT_EQ(start[8].move, mv("a7a5"));
  EXPECT_EQ(start[16].move, mv("b8a6"));
  EXPECT_EQ(start[20].move, kListEnd);
}

TEST_F(MoveOrder, PromotionOrder) {
  Position& pos = set_up("k2b1n2/4P3/8/8/8/8/8/4K3 w - -");
  MoveEntry* end = generate_promotions(pos, kWhite, 1, list);
  EXPECT_EQ(end->move, kListEnd);
  std::vector<Move> expected;
  for (const char* m : {"e7e8", "e7d8", "e7f8"})
    for (Move flag : {kFlagQueen, kFlagKnight, kFlagBishop, kFlagRook}) expected.push_back(mv(m, flag));
  EXPECT_EQ(moves_of(list, end), expected);
  EXPECT_EQ(list[4].victim, piece_code(kBlack, kBishop));
  EXPECT_EQ(list[8].victim, piece_code(kBlack, kKnight));
  end = generate_promotions(pos, kWhite, 0, list);
  EXPECT_EQ(moves_of(list, end), moves({"e7e8", "e7d8", "e7f8"}, kFlagQueen));
  // Promotions are not captures or quiet moves.
  end = generate_captures(pos, kWhite, list, kNoSquare);
  EXPECT_EQ(moves_of(list, end), std::vector<Move>{});
  end = generate_quiets(pos, kWhite, list, kNoSquare);
  EXPECT_EQ(moves_of(list, end), moves({"e1d1", "e1f1", "e1d2", "e1e2", "e1f2"}));

  // Black: the push, then towards the a-file, then towards the h-file.
  Position& black = set_up("4k3/8/8/8/8/8/3p4/2N1NK2 b - -");
  end = generate_promotions(black, kBlack, 0, list);
  EXPECT_EQ(moves_of(list, end), moves({"d2d1", "d2c1", "d2e1"}, kFlagQueen));
}

TEST_F(MoveOrder, PushesOntoTheSeventhRank) {
  Position& pos = set_up("4k3/8/4P3/8/8/8/8/4K3 w - -");
  MoveEntry* end = generate_pushes_to_seventh(pos, kWhite, list);
  EXPECT_EQ(moves_of(list, end), moves({"e6e7"}));
  end = generate_quiets(pos, kWhite, list, kNoSquare);
  EXPECT_EQ(moves_of(list, end), moves({"e1d1", "e1f1", "e1d2", "e1e2", "e1f2"}));
  // Blocked.
  Position& blocked = set_up("4k3/4n3/4P3/8/8/8/8/4K3 w - -");
  EXPECT_EQ(generate_pushes_to_seventh(blocked, kWhite, list), list);
  // Black's seventh rank is the second.
  Position& black = set_up("4k3/8/8/8/8/3p4/8/4K3 b - -");
  end = generate_pushes_to_seventh(black, kBlack, list);
  EXPECT_EQ(moves_of(list, end), moves({"d3d2"}));
}

TEST_F(MoveOrder, CheckEvasionTargets) {
  // The e8 rook checks the e1 king.
  Position& pos = set_up("4r1k1/8/8/1B6/8/R6p/3P4/3nK1N1 w - -");
  int checker = checker_of(pos);
  ASSERT_EQ(checker, sq("e8"));
  MoveEntry* end = generate_quiets(pos, kWhite, list, checker);
  // Interpositions on e2..e7 only, then every king step to an empty square.
  EXPECT_EQ(moves_of(list, end), moves({"g1e2", "b5e2", "a3e3", "e1f1", "e1e2", "e1f2"}));
  end = generate_captures(pos, kWhite, list, checker);
  // Only the checker is a target, except for the king.
  EXPECT_EQ(moves_of(list, end), moves({"b5e8", "e1d1"}));
  end = generate_captures(pos, kWhite, list, kNoSquare);
  EXPECT_EQ(moves_of(list, end), moves({"g1h3", "b5e8", "a3h3", "e1d1"}));

  // In the picker the check killer leads the quiet moves; killer 1 counts for nothing.
  thread.stack[1].check_killer = mv("a3e3");
  thread.stack[1].killer1 = mv("g1e2");
  std::vector<MoveEntry> picked = pick(pos, search::kPickAll, kNoMove, checker);
  ASSERT_EQ(picked.size(), 8u);
  EXPECT_EQ(picked[0].move, mv("b5e8"));
  EXPECT_EQ(picked[0].score, 240 - 3);
  EXPECT_EQ(picked[1].move, mv("e1d1"));
  EXPECT_EQ(picked[1].score, 230 - 6);
  EXPECT_EQ(picked[2].move, mv("a3e3"));
  EXPECT_EQ(picked[2].score, 4 + 70);
  for (size_t i = 3; i < picked.size(); ++i) EXPECT_EQ(picked[i].score, 4) << i;
  EXPECT_EQ(sorted(just_moves(picked)), sorted(moves({"b5e8", "e1d1", "a3e3", "g1e2", "b5e2", "e1f1", "e1e2", "e1f2"})));
}

TEST_F(MoveOrder, HashMoveComesFirstInFullMode) {
  Position& pos = set_up(kStartFen);
  std::vector<MoveEntry> picked = pick(pos, search::kPickAll, mv("g1f3"), kNoSquare);
  ASSERT_EQ(picked.size(), 21u);
  EXPECT_EQ(picked[0].move, mv("g1f3"));
  EXPECT_EQ(picked[0].score, 255);
  EXPECT_EQ(picked[0].mover, piece_code(kWhite, kKnight));
  // Equal scores keep the generation order; the hash move comes again in its place.
  std::vector<Move> rest = just_moves(std::vector<MoveEntry>(picked.begin() + 1, picked.end()));
  EXPECT_EQ(rest, nesk_test::pseudo_legal_moves(pos));
  // No hash move: the plain generation order.
  EXPECT_EQ(just_moves(pick(pos, search::kPickAll, kNoMove, kNoSquare)), nesk_test::pseudo_legal_moves(pos));
  // The hash move is only honoured in the full mode.
  Position& captures = set_up("4k3/8/8/3n4/4P3/8/8/4K3 w - -");
  std::vector<MoveEntry> only = pick(captures, search::kPickCaptures, mv("e1e2"), kNoSquare);
  EXPECT_EQ(just_moves(only), moves({"e4d5"}));
}

// White: king h1, queen d1, pawn e4. Black: king h8, knight d5 (undefended), rook a4
// (defended by the b5 pawn).
constexpr const char* kOrderingFen = "7k/8/8/1p1n4/r3P3/8/8/3Q3K w - -";

TEST_F(MoveOrder, FullModeStages) {
  Position& pos = set_up(kOrderingFen);
  // Q x R loses the queen for a rook; the two captures of the knight win it.
  ASSERT_EQ(see(pos, kWhite, sq("d1"), sq("a4")), 550 - 1060);
  thread.stack[1].killer1 = mv("d1h5");
  thread.history[piece_code(kWhite, kPawn) * 64 + sq("e5")] = 20000;  // 20000 * 70 / 65536 = 21
  thread.history[piece_code(kWhite, kKing) * 64 + sq("g1")] = 0;
  std::vector<MoveEntry> picked = pick(pos, search::kPickAll, kNoMove, kNoSquare);

  ASSERT_GE(picked.size(), 8u);
  EXPECT_EQ(picked[0].move, mv("e4d5"));  // good captures by rank: knight taken by a pawn
  EXPECT_EQ(picked[0].score, 230 - 1);
  EXPECT_EQ(picked[1].move, mv("d1d5"));  // then by the queen
  EXPECT_EQ(picked[1].score, 230 - 5);
  EXPECT_EQ(picked[2].move, mv("d1h5"));  // killer 1
  EXPECT_EQ(picked[2].score, 4 + 70);
  EXPECT_EQ(picked[3].move, mv("e4e5"));  // a quiet move with a high history
  EXPECT_EQ(picked[3].score, 21);
  EXPECT_EQ(picked[4].move, mv("d1a4"));  // the losing capture, with its losing rank
  EXPECT_EQ(picked[4].score, 16);
  for (size_t i = 5; i + 1 < picked.size(); ++i) EXPECT_EQ(picked[i].score, 4) << i;
  EXPECT_EQ(picked.back().move, mv("h1g1"));  // history 0: last, unsorted
  EXPECT_EQ(picked.back().score, 0);
  EXPECT_EQ(sorted(just_moves(picked)), sorted(nesk_test::pseudo_legal_moves(pos)));
}

TEST_F(MoveOrder, LowScoredQuietMovesAreNotSorted) {
  // All history zero except Nh3 (2000 * 70 / 65536 = 2) and h3 (1000 * 70 / 65536 = 1): the
  // best of them, Nh3, is swapped to the front and handed out; everything after it comes in
  // list order, h3 included, with a3 in the slot Nh3 left.
  Position& pos = set_up(kStartFen);
  std::fill(std::begin(thread.history), std::end(thread.history), 0);
  thread.history[piece_code(kWhite, kKnight) * 64 + sq("h3")] = 2000;
  thread.history[piece_code(kWhite, kPawn) * 64 + sq("h3")] = 1000;
  std::vector<Move> expected = nesk_test::pseudo_legal_moves(pos);
  std::swap(expected.front(), expected.back());
  ASSERT_EQ(expected.front(), mv("g1h3"));
  std::vector<MoveEntry> picked = pick(pos, search::kPickAll, kNoMove, kNoSquare);
  EXPECT_EQ(just_moves(picked), expected);
  EXPECT_EQ(picked[0].score, 2);
  EXPECT_EQ(picked[7].move, mv("h2h3"));
  EXPECT_EQ(picked[7].score, 1);
}

TEST_F(MoveOrder, CapturesAndChecksModes) {
  Position& pos = set_up(kOrderingFen);
  // Without the exchange test every capture is good, ranked by victim, then by the
  // cheaper mover; a hash move is ignored.
  std::vector<MoveEntry> captures = pick(pos, search::kPickCaptures, mv("d1h5"), kNoSquare);
  EXPECT_EQ(just_moves(captures), moves({"d1a4", "e4d5", "d1d5"}));
  ASSERT_EQ(captures.size(), 3u);
  EXPECT_EQ(captures[0].score, 240 - 5);
  EXPECT_EQ(captures[1].score, 230 - 1);
  EXPECT_EQ(captures[2].score, 230 - 5);
  // Quiet checks follow the captures: the queen can check the h8 king from a1, d4 and h5.
  std::vector<MoveEntry> checks = pick(pos, search::kPickChecks, kNoMove, kNoSquare);
  EXPECT_EQ(just_moves(checks), moves({"d1a4", "e4d5", "d1d5", "d1a1", "d1d4", "d1h5"}));
  for (size_t i = 3; i < checks.size(); ++i) EXPECT_EQ(checks[i].score, 100);

  // Quiet checks by pawn, knight and rook.
  Position& quiet = set_up("8/8/4k3/8/3P4/7N/8/R3K3 w - -");
  EXPECT_EQ(just_moves(pick(quiet, search::kPickChecks, kNoMove, kNoSquare)),
            moves({"d4d5", "h3f4", "h3g5", "a1a6"}));
  EXPECT_EQ(just_moves(pick(quiet, search::kPickCaptures, kNoMove, kNoSquare)), std::vector<Move>{});
}

TEST_F(MoveOrder, UnderPromotionsOnlyNearTheRoot) {
  Position& pos = set_up("4k3/1P6/8/8/8/8/8/4K3 w - -");
  auto promotions = [&](uint8_t mode, int ply) {
    int count = 0;
    for (const MoveEntry& e : pick(pos, mode, kNoMove, kNoSquare, ply))
      if (move_from(e.move) == sq("b7")) ++count;
    return count;
  };
  EXPECT_EQ(promotions(search::kPickAll, 1), 4);
  EXPECT_EQ(promotions(search::kPickAll, 6), 4);
  EXPECT_EQ(promotions(search::kPickAll, 7), 1);
  EXPECT_EQ(promotions(search::kPickCaptures, 9), 1);
}

TEST_F(MoveOrder, QuietScoresUseKillersCountersAndFollowUps) {
  Position& pos = set_up(kStartFen);
  // Ply 3: the parent's move (ply 2) was a black knight to f6, the grandparent's (ply 1) a
  // white pawn to d4.
  MoveEntry parent{mv("g8f6"), 0, static_cast<uint8_t>(piece_code(kBlack, kKnight)), 0};
  MoveEntry grandparent{mv("d2d4"), 0, static_cast<uint8_t>(piece_code(kWhite, kPawn)), 0};
  thread.stack[2].current = &parent;
  thread.stack[1].current = &grandparent;
  thread.stack[3].killer1 = mv("a2a3");
  thread.stack[3].killer2 = mv("b2b3");
  thread.counter1[piece_code(kBlack, kKnight) * 64 + sq("f6")] = mv("c2c3");
  thread.counter2[piece_code(kBlack, kKnight) * 64 + sq("f6")] = mv("d2d3");
  thread.followup[piece_code(kWhite, kPawn) * 64 + sq("d4")] = mv("e2e3");
  std::vector<MoveEntry> picked = pick(pos, search::kPickAll, kNoMove, kNoSquare, 3);
  ASSERT_EQ(picked.size(), 20u);
  EXPECT_EQ(just_moves(std::vector<MoveEntry>(picked.begin(), picked.begin() + 5)),
            moves({"a2a3", "b2b3", "c2c3", "d2d3", "e2e3"}));
  const int scores[5] = {74, 64, 54, 44, 24};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(picked[i].score, scores[i]);
  for (size_t i = 5; i < picked.size(); ++i) EXPECT_EQ(picked[i].score, 4);
  // At ply 1 there is no parent move to look up: only the killers count.
  thread.stack[1].current = nullptr;
  thread.stack[1].killer1 = mv("c2c3");
  picked = pick(pos, search::kPickAll, kNoMove, kNoSquare, 1);
  EXPECT_EQ(picked[0].move, mv("c2c3"));
  EXPECT_EQ(picked[1].score, 4);
  thread.stack[1].current = thread.stack[2].current = nullptr;
}

TEST_F(MoveOrder, HistoryUpdateArithmetic) {
  const int knight = piece_code(kWhite, kKnight);
  MoveEntry nf3{mv("g1f3"), 0, static_cast<uint8_t>(knight), 0};
  MoveEntry nc3{mv("b1c3"), 0, static_cast<uint8_t>(knight), 0};
  MoveEntry na3{mv("b1a3"), 0, static_cast<uint8_t>(knight), 0};
  MoveEntry nh3{mv("g1h3"), 0, static_cast<uint8_t>(knight), 0};
  auto history = [&](const MoveEntry& e) { return thread.history[e.mover * 64 + move_to(e.move)]; };
  thread.stack[0].current = nullptr;
  thread.stack[1].in_check = 0;
  for (int d = 0; d < search::kMaxPly; ++d) EXPECT_EQ(search::history_weight(d), std::min(d, 8));
  EXPECT_EQ(history(nf3), 4096);

  // Fail high at depth 8: 4096 + 61440 * 8 / 256; again: 6016 + 59520 * 8 / 256.
  search::update_quiet_stats(thread, 1, nf3, 100, 50, 8);
  EXPECT_EQ(history(nf3), 6016);
  search::update_quiet_stats(thread, 1, nf3, 50, 50, 8);
  EXPECT_EQ(history(nf3), 7876);
  // Fail low at depth 8: 4096 - 4096 * 8 / 512.
  search::update_quiet_stats(thread, 1, nc3, 10, 50, 8);
  EXPECT_EQ(history(nc3), 4032);
  // Deeper than 8 weighs as 8; depth 1 weighs 1.
  search::update_quiet_stats(thread, 1, na3, 100, 50, 30);
  EXPECT_EQ(history(na3), 6016);
  search::update_quiet_stats(thread, 1, nh3, 100, 50, 1);
  EXPECT_EQ(history(nh3), 4096 + 240);
  search::update_quiet_stats(thread, 1, nh3, 0, 50, 1);
  EXPECT_EQ(history(nh3), 4336 - 4336 / 512);
  // Depth 0 changes nothing, not even the killers.
  Move killer1 = thread.stack[1].killer1, killer2 = thread.stack[1].killer2;
  search::update_quiet_stats(thread, 1, nc3, 100, 50, 0);
  EXPECT_EQ(history(nc3), 4032);
  EXPECT_EQ(thread.stack[1].killer1, killer1);
  EXPECT_EQ(thread.stack[1].killer2, killer2);
  // Captures are not quiet moves.
  MoveEntry capture{mv("g1f3"), 0, static_cast<uint8_t>(knight), static_cast<uint8_t>(piece_code(kBlack, kPawn))};
  search::update_quiet_stats(thread, 1, capture, 100, 50, 8);
  EXPECT_EQ(history(nf3), 7876);
  EXPECT_EQ(thread.stack[1].killer1, killer1);
}

TEST_F(MoveOrder, KillersCountersAndFollowUps) {
  const int knight = piece_code(kWhite, kKnight);
  MoveEntry a{mv("g1f3"), 0, static_cast<uint8_t>(knight), 0};
  MoveEntry b{mv("b1c3"), 0, static_cast<uint8_t>(knight), 0};
  search::StackRecord& record = thread.stack[3];
  thread.stack[2].current = nullptr;
  thread.stack[1].current = nullptr;
  record.in_check = 0;

  search::update_quiet_stats(thread, 3, a, 100, 50, 5);
  EXPECT_EQ(record.killer1, a.move);
  EXPECT_EQ(record.killer2, 0);
  search::update_quiet_stats(thread, 3, b, 100, 50, 5);
  EXPECT_EQ(record.killer1, b.move);
  EXPECT_EQ(record.killer2, a.move);
  // The same move as killer 1 shifts nothing.
  search::update_quiet_stats(thread, 3, b, 100, 50, 5);
  EXPECT_EQ(record.killer1, b.move);
  EXPECT_EQ(record.killer2, a.move);
  // A fail low leaves the killers alone.
  search::update_quiet_stats(thread, 3, a, 0, 50, 5);
  EXPECT_EQ(record.killer1, b.move);
  // In check only the check killer is set.
  record.in_check = 1;
  search::update_quiet_stats(thread, 3, a, 100, 50, 5);
  EXPECT_EQ(record.check_killer, a.move);
  EXPECT_EQ(record.killer1, b.move);
  EXPECT_EQ(record.killer2, a.move);
  record.in_check = 0;

  // Counter moves are keyed by the parent's piece and to-square, follow-ups by the
  // grandparent's.
  MoveEntry parent{mv("g8f6"), 0, static_cast<uint8_t>(piece_code(kBlack, kKnight)), 0};
  MoveEntry grandparent{mv("d2d4"), 0, static_cast<uint8_t>(piece_code(kWhite, kPawn)), 0};
  thread.stack[2].current = &parent;
  thread.stack[1].current = &grandparent;
  const int counter_index = piece_code(kBlack, kKnight) * 64 + sq("f6");
  const int followup_index = piece_code(kWhite, kPawn) * 64 + sq("d4");
  search::update_quiet_stats(thread, 3, a, 100, 50, 5);
  EXPECT_EQ(thread.counter1[counter_index], a.move);
  EXPECT_EQ(thread.counter2[counter_index], 0);
  EXPECT_EQ(thread.followup[followup_index], a.move);
  search::update_quiet_stats(thread, 3, b, 100, 50, 5);
  EXPECT_EQ(thread.counter1[counter_index], b.move);
  EXPECT_EQ(thread.counter2[counter_index], a.move);
  EXPECT_EQ(thread.followup[followup_index], b.move);
  search::update_quiet_stats(thread, 3, b, 100, 50, 5);
  EXPECT_EQ(thread.counter2[counter_index], a.move);
  // A null move as the parent's move: no counter-move update.
  MoveEntry null_move{0, 0, 0, 0};
  thread.stack[2].current = &null_move;
  search::update_quiet_stats(thread, 3, a, 100, 50, 5);
  EXPECT_EQ(thread.counter1[counter_index], b.move);
  EXPECT_EQ(thread.followup[followup_index], b.move);
  thread.stack[1].current = thread.stack[2].current = nullptr;
}

TEST_F(MoveOrder, BestToFrontAndRandom) {
  MoveEntry entries[5] = {{1, 3, 0, 0}, {2, 7, 0, 0}, {3, 7, 0, 0}, {4, 1, 0, 0}, {kListEnd, 0, 0, 0}};
  search::best_to_front(entries);
  EXPECT_EQ(entries[0].move, 2);  // the first of the two best
  EXPECT_EQ(sorted(moves_of(entries, entries + 4)), (std::vector<Move>{1, 2, 3, 4}));
  MoveEntry empty[1] = {{kListEnd, 0, 0, 0}};
  search::best_to_front(empty);
  EXPECT_EQ(empty[0].move, kListEnd);

  uint32_t saved = thread.random_state;
  thread.random_state = 1;
  EXPECT_EQ(search::thread_random(thread), 36969u);
  EXPECT_EQ(search::thread_random(thread), 36969u * 36969u);
  thread.random_state = saved;
}

}  // namespace
