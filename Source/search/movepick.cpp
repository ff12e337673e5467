#include "search/movepick.h"

#include <utility>

#include "position/bitboard.h"
#include "position/exchange.h"
#include "position/movegen.h"

namespace search {

using namespace position;

namespace {

enum Stage : uint8_t { kStart, kGenerate, kGoodCaptures, kAddQuiets, kSorted, kRest };

constexpr Bitboard kQuietPushRanks = 0x0000FFFFFFFF0000ULL;

bool is_null(const MoveEntry* entry) { return entry == nullptr || entry->move == kNoMove; }

// Moves the highest-scored entry of [from, end) to `from`; the first of equal maxima wins.
MoveEntry* select_best(MoveEntry* from, MoveEntry* end) {
  MoveEntry* best = from;
  for (MoveEntry* e = from + 1; e < end; ++e)
    if (e->score > best->score) best = e;
  std::swap(*from, *best);
  return from;
}

void score_captures(const Position& pos, MoveEntry* begin, MoveEntry* end, uint8_t mode) {
  for (MoveEntry* e = begin; e < end; ++e) {
    int victim = type_of(e->victim), mover = type_of(e->mover);
    bool good = mode != kPickAll || see(pos, pos.side, move_from(e->move), move_to(e->move)) >= -49;
    e->score = static_cast<int16_t>(good ? kGoodCaptureRank[victim] - mover : kLosingCaptureRank[victim]);
  }
}

void score_quiets(const SearchThread& thread, int ply, MoveEntry* begin, MoveEntry* end) {
  const StackRecord& record = thread.stack[ply];
  Move counter1 = 0, counter2 = 0, followup = 0;
  if (ply >= 2) {
    const MoveEntry* parent = thread.stack[ply - 1].current;
    const MoveEntry* grandparent = thread.stack[ply - 2].current;
    if (!is_null(parent)) {
      int index = parent->mover * 64 + move_to(parent->move);
      counter1 = thread.counter1[index];
      counter2 = thread.counter2[index];
    }
    if (!is_null(grandparent)) followup = thread.followup[grandparent->mover * 64 + move_to(grandparent->move)];
  }
  bool in_check = record.checker != kNoSquare;
  for (MoveEntry* e = begin; e < end; ++e) {
    Move m = e->move;
    int score = thread.history[e->mover * 64 + move_to(m)] * 70 / 65536;
    if (in_check) {
      if (m == record.check_killer) score += 70;
      else if (m == counter1) score += 50;
      else if (m == counter2) score += 40;
    } else {
      if (m == record.killer1) score += 70;
      else if (m == record.killer2) score += 60;
      else if (m == counter1) score += 50;
      else if (m == counter2) score += 40;
      else if (m == followup) score += 20;
    }
    e->score = static_cast<int16_t>(score);
  }
}

// Quiet moves that put a pawn, knight, bishop, rook or queen where it attacks the enemy king.
MoveEntry* generate_quiet_checks(const Position& pos, MoveEntry* list) {
  int side = pos.side;
  int king = pos.king_square[side ^ 1];
  Bitboard occupancy = pos.occupancy();
  Bitboard empty = ~occupancy;
  Bitboard diagonal = bishop_attacks(king, occupancy) & empty;
  Bitboard straight = rook_attacks(king, occupancy) & empty;
  MoveEntry* end = generate_pawn_pushes(pos, side, pawn_attacks[side ^ 1][king] & empty & kQuietPushRanks,
                                        occupancy, list);
  end = generate_knight_moves(pos, side, knight_attacks[king] & empty, end);
  end = generate_bishop_moves(pos, side, diagonal, occupancy, end);
  end = generate_rook_moves(pos, side, straight, occupancy, end);
  end = generate_queen_moves(pos, side, diagonal | straight, occupancy, end);
  for (MoveEntry* e = list; e < end; ++e) e->score = 100;
  end->move = kListEnd;
  return end;
}

MoveEntry* hand_out(StackRecord& record) {
  record.current = record.next++;
  return record.current;
}

}  // namespace

void start_picker(SearchThread& thread, uint8_t mode, Move tt_move, int checker) {
  StackRecord& record = thread.stack[thread.game.ply];
  record.stage = kStart;
  record.mode = mode;
  record.tt_move = tt_move;
  record.checker = static_cast<uint8_t>(checker);
  record.next = record.end = record.list_start;
  record.current = nullptr;
}

MoveEntry* next_move(SearchThread& thread) {
  const Position& pos = thread.position;
  int ply = thread.game.ply;
  StackRecord& record = thread.stack[ply];
  for (;;) {
    switch (record.stage) {
      case kStart: {
        record.stage = kGenerate;
        if (record.mode == kPickAll && record.tt_move) {
          MoveEntry& entry = *record.next;
          entry.move = record.tt_move;
          entry.score = 255;
          entry.mover = pos.board[move_from(record.tt_move)];
          entry.victim = pos.board[move_to(record.tt_move)];
          record.end = record.next + 1;
          return hand_out(record);
        }
        break;
      }
      case kGenerate: {
        MoveEntry* begin = record.next;
        MoveEntry* end = generate_captures(pos, pos.side, begin, record.checker);
        end = generate_promotions(pos, pos.side, ply < 7, end);
        end = generate_pushes_to_seventh(pos, pos.side, end);
        record.end = end;
        score_captures(pos, begin, end, record.mode);
        record.stage = kGoodCaptures;
        break;
      }
      case kGoodCaptures: {
        if (record.next < record.end && select_best(record.next, record.end)->score > 100) return hand_out(record);
        record.stage = kAddQuiets;
        break;
      }
      case kAddQuiets: {
        MoveEntry* begin = record.end;
        if (record.mode == kPickAll) {
          record.end = generate_quiets(pos, pos.side, begin, record.checker);
          score_quiets(thread, ply, begin, record.end);
        } else if (record.mode & 2) {
          record.end = generate_quiet_checks(pos, begin);
        }
        record.stage = kSorted;
        break;
      }
      case kSorted: {
        if (record.next >= record.end) return nullptr;
        if (select_best(record.next, record.end)->score <= 3) record.stage = kRest;
        return hand_out(record);
      }
      default: {
        if (record.next >= record.end) return nullptr;
        return hand_out(record);
      }
    }
  }
}

int see_ok(const Position& pos, Move move) {
  int from = move_from(move), to = move_to(move);
  int mover = type_of(pos.board[from]);
  if (kExchangeRank[mover] <= kExchangeRank[type_of(pos.board[to])]) return 1;
  if (mover == kPawn && to == pos.ep_square) return 1;
  return see(pos, pos.side, from, to) >= -70 ? 1 : 0;
}

void best_to_front(MoveEntry* list) {
  MoveEntry* end = list;
  while (end->move != kListEnd) ++end;
  if (end > list) select_best(list, end);
}

void update_quiet_stats(SearchThread& thread, int ply, const MoveEntry& entry, int score, int beta, int depth) {
  if (depth < 1 || entry.victim) return;
  StackRecord& record = thread.stack[ply];
  Move move = entry.move;
  uint32_t h = thread.history[entry.mover * 64 + move_to(move)];
  uint32_t w = static_cast<uint32_t>(history_weight(depth));
  if (score < beta) {
    thread.history[entry.mover * 64 + move_to(move)] = static_cast<uint16_t>(h - (h * w) / 512);
    return;
  }
  thread.history[entry.mover * 64 + move_to(move)] = static_cast<uint16_t>(h + ((65536 - h) * w) / 256);
  if (!record.in_check) {
    if (move != record.killer1) {
      record.killer2 = record.killer1;
      record.killer1 = move;
    }
  } else {
    record.check_killer = move;
  }
  if (ply < 1) return;
  const MoveEntry* parent = thread.stack[ply - 1].current;
  if (is_null(parent)) return;
  int index = parent->mover * 64 + move_to(parent->move);
  if (move != thread.counter1[index]) {
    thread.counter2[index] = thread.counter1[index];
    thread.counter1[index] = move;
  }
  if (ply < 2) return;
  const MoveEntry* grandparent = thread.stack[ply - 2].current;
  if (!is_null(grandparent)) thread.followup[grandparent->mover * 64 + move_to(grandparent->move)] = move;
}

}  // namespace search
