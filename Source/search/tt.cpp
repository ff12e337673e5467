#include "search/tt.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "position/bitboard.h"
#include "position/legality.h"
#include "position/makemove.h"
#include "position/notation.h"
#include "position/zobrist.h"
#include "search/control.h"
#include "search/thread.h"

namespace search {

using namespace position;

namespace {

constexpr uint64_t kEntriesPerMb = (1ULL << 20) / sizeof(TTEntry);
constexpr uint64_t kOnePassClear = 0x80000;
constexpr int kMateBandHigh = 9798;
constexpr int kMateBandLow = -9799;

TTEntry* storage = nullptr;
uint64_t entry_count = 0;
TTEntry* sub_table[2] = {nullptr, nullptr};
uint64_t index_mask = 0;
int age_step = 1;
float hashfull = 0.0f;

uint32_t check_word(int score, Move move, uint64_t key) {
  return (static_cast<uint32_t>(score + 12000) + (static_cast<uint32_t>(move) << 16)) ^ static_cast<uint32_t>(key >> 32);
}

// Every search thread reads and writes entries without a lock. Each field goes through a
// relaxed atomic access (a plain move on this processor), and the check word rejects an
// entry whose fields come from different writes.
template <typename T>
T read(const T& field) {
  return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}
template <typename T, typename V>
void write(T& field, V value) {
  std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_relaxed);
}

// The slot of the bucket that holds `key_low`, or null (the four tests written out: the
// compiler does not unroll a loop of atomic loads).
TTEntry* entry_for(TTEntry* bucket, uint32_t key_low) {
  if (read(bucket[0].key_low) == key_low) return bucket;
  if (read(bucket[1].key_low) == key_low) return bucket + 1;
  if (read(bucket[2].key_low) == key_low) return bucket + 2;
  if (read(bucket[3].key_low) == key_low) return bucket + 3;
  return nullptr;
}

TTEntry* bucket_of(const Position& pos) { return sub_table[pos.side] + (pos.key & index_mask); }

int current_age() { return control.tt_age; }

bool usable() { return storage && control.tt_enabled; }

void zero_entries(TTEntry* first, uint64_t count) { std::memset(static_cast<void*>(first), 0, count * sizeof(TTEntry)); }

void report_bad_move(const Position& pos, Move move, int code) {
  char fen[128];
  write_fen(pos, fen, 0);
  char line[200];
  search_lock.lock();
  std::snprintf(line, sizeof(line), "info fen %s", fen);
  base::emit_line(line);
  std::snprintf(line, sizeof(line), "info string illegal hash move: %s%s, flags= %x, code= %d\n", kSquareNames[move_from(move)],
                kSquareNames[move_to(move)], move & kFlagMask, code);
  base::emit_line(line);
  search_lock.unlock();
}

int pawn_move_problem(const Position& pos, int side, int from, int to, Move move) {
  int step = side == kWhite ? 8 : -8;
  int promotion_rank = side == kWhite ? 7 : 0;
  int seventh = side == kWhite ? 6 : 1;
  int second = side == kWhite ? 1 : 6;
  bool flagged = move & kFlagMask;
  if (flagged && rank_of(from) != seventh) return 6;
  if (!flagged && rank_of(to) == promotion_rank) return 7;
  int file_step = file_of(to) - file_of(from);
  if (to == from + step + file_step && (file_step == 1 || file_step == -1)) {
    if (pos.board[to]) return 0;
    if (to == pos.ep_square && pos.board[to - step] == piece_code(side ^ 1, kPawn)) return 0;
    return 7;
  }
  if (to == from + step) return pos.board[to] ? 7 : 0;
  if (to == from + 2 * step && rank_of(from) == second && !pos.board[from + step] && !pos.board[to]) return 0;
  return 7;
}

}  // namespace

int tt_enabled() { return usable() ? 1 : 0; }
int tt_age() { return current_age(); }
uint64_t tt_entry_count() { return entry_count; }

int allocate_hash_table() {
  uint64_t count = static_cast<uint64_t>(base::settings.hash_mb) * kEntriesPerMb;
  TTEntry* fresh = nullptr;
  if (count) {
    size_t bytes = (count + 16) * sizeof(TTEntry);
    fresh = static_cast<TTEntry*>(std::aligned_alloc(64, bytes));
    if (!fresh) return 0;  // the table in force stays
  }
  free_hash_table();
  init_zobrist();
  storage = fresh;
  entry_count = count;
  control.tt_enabled = count ? 1 : 0;
  if (count) {
    sub_table[0] = storage;
    sub_table[1] = storage + count / 2 + 8;
    uint64_t half = count / 2, power = 1;
    while (power * 2 <= half) power *= 2;
    index_mask = power - 1;
  }
  clear_hash_table();
  return 1;
}

void free_hash_table() {
  std::free(storage);
  storage = nullptr;
  entry_count = 0;
  sub_table[0] = sub_table[1] = nullptr;
  index_mask = 0;
}

void clear_hash_table() {
  hashfull = 0.0f;
  if (!usable()) return;
  uint64_t total = entry_count + 16;
  int threads = base::settings.threads;
  if (threads <= 1 || entry_count <= kOnePassClear) {
    zero_entries(storage, total);
    return;
  }
  uint64_t share = entry_count / static_cast<uint64_t>(threads);
  std::vector<std::thread> clearers;
  for (int i = 0; i < threads; ++i) {
    uint64_t first = i * share;
    uint64_t count = i == threads - 1 ? total - first : share;
    clearers.emplace_back(zero_entries, storage + first, count);
  }
  for (std::thread& t : clearers) t.join();
}

const TTEntry* tt_bucket(const Position& pos) { return usable() ? bucket_of(pos) : nullptr; }

void tt_store(const Position& pos, int ply, int depth, Move move, int eval, int score, int bound) {
  if (!usable() || move == kNoMove) return;
  if (score < kMateBandLow) score -= ply;
  else if (score > kMateBandHigh) score += ply;

  uint32_t key_low = static_cast<uint32_t>(pos.key);
  int age = current_age();
  TTEntry* bucket = bucket_of(pos);
  TTEntry* target = nullptr;
  TTEntry* shallowest = bucket;
  for (int i = 0; i < 4; ++i) {
    TTEntry* e = bucket + i;
    if (read(e->key_low) == key_low || (read(e->flags) & 31) != age) {
      target = e;
      break;
    }
    if (read(e->depth) < read(shallowest->depth)) shallowest = e;
  }
  if (!target) target = shallowest;
  if (read(target->key_low) == key_low && depth < read(target->depth) - 2) return;

  write(target->depth, depth);
  write(target->move, move);
  write(target->flags, bound * 32 + age);
  write(target->eval, eval);
  write(target->score, score);
  write(target->check, check_word(score, move, pos.key));
  write(target->key_low, key_low);
}

int tt_probe(const Position& pos, int ply, TTProbe& hit) {
  hit.probed = usable();
  if (!hit.probed) return 0;
  uint32_t key_low = static_cast<uint32_t>(pos.key);
  TTEntry* bucket = bucket_of(pos);
  TTEntry* e = entry_for(bucket, key_low);
  if (!e) return 0;

  uint32_t check = read(e->check);
  Move move = read(e->move);
  int score = read(e->score);
  int depth = read(e->depth);
  int flags = read(e->flags);
  int bound = flags >> 5;
  int age = current_age();
  if ((flags & 31) != age) {
    depth -= 2;
    write(e->depth, depth);
    write(e->flags, bound * 32 + age);
  }
  if (check != check_word(score, move, pos.key)) return 0;
  if (int code = hash_move_problem(pos, move)) {
    report_bad_move(pos, move, code);
    write(e->move, 0);
    return 0;
  }
  if (score < kMateBandLow) score += ply;
  else if (score > kMateBandHigh) score -= ply;
  hit.score = score;
  hit.eval = read(e->eval);
  hit.depth = depth;
  hit.move = move;
  hit.bound = bound;
  return 1;
}

int hash_move_problem(const Position& pos, Move move) {
  int side = pos.side;
  int from = move_from(move), to = move_to(move);
  int type = type_of(pos.board[from]);
  if (type < kPawn || type > kKing) return 2;
  if (type == kKing && (move & kFlagMask)) {
    // Castling: the right must still exist and the move must be the generator's form.
    int index = 2 * side + ((move & kFlagKingSide) ? 0 : 1);
    int home_rank = side == kWhite ? 0 : 7;
    bool right = (pos.castle_rights & (1 << index)) && colour_of(pos.board[from]) == side &&
                 (pos.castle_pieces[index] & bit(from)) && to == make_square((move & kFlagKingSide) ? 6 : 2, home_rank) &&
                 !(pos.castle_path[index] & pos.occupancy());
    if (!right || rank_of(from) != home_rank) return 12;
    return move_is_legal(pos, side, move) ? 0 : 14;
  }
  if (from == to) return 1;
  if (type_of(pos.board[to]) == kKing) return 2;
  if (!(pos.pieces[side][type] & bit(from))) return 3;
  if (pos.pieces[side][0] & bit(to)) return 4;
  if (pos.pieces[side ^ 1][kKing] & bit(to)) return 5;
  int flags = move & kFlagMask;
  if (flags && (type != kPawn || popcount(flags) > 1)) return 6;
  Bitboard occupancy = pos.occupancy();
  int code = 0;
  switch (type) {
    case kPawn: code = pawn_move_problem(pos, side, from, to, move); break;
    case kKnight: code = (knight_attacks[from] & bit(to)) ? 0 : 8; break;
    case kBishop: code = (bishop_attacks(from, occupancy) & bit(to)) ? 0 : 9; break;
    case kRook: code = (rook_attacks(from, occupancy) & bit(to)) ? 0 : 10; break;
    case kQueen: code = ((bishop_attacks(from, occupancy) | rook_attacks(from, occupancy)) & bit(to)) ? 0 : 11; break;
    default: code = (king_attacks[from] & bit(to)) ? 0 : 13; break;
  }
  if (code) return code;
  return move_is_legal(pos, side, move) ? 0 : 14;
}

void tt_new_search() {
  int age = current_age();
  if (age <= 0) age_step = 1;
  if (age > 30) age_step = -1;
  control.tt_age = static_cast<int16_t>(age + age_step);
}

int hashfull_estimate() {
  hashfull = 0.0f;
  if (!storage || entry_count <= 2999) return 0;
  int count = 0, age = current_age();
  for (int side = 0; side < 2; ++side)
    for (int i = 0; i < 500; ++i)
      if ((read(sub_table[side][i].flags) & 31) == age) ++count;
  hashfull = static_cast<float>(count * 0.001);
  return static_cast<int>(1000 * hashfull + 0.5f);
}

void tt_variation(Position& pos, int index, Move* buffer) {
  if (index > 76) return;
  if (buffer[index] == kNoMove) {
    buffer[index + 1] = kNoMove;
    TTProbe hit;
    if (!tt_probe(pos, 0, hit) || !hit.move || is_draw(pos, 0)) return;
    buffer[index] = hit.move;
  }
  if (!is_legal_move(pos, buffer[index])) {
    buffer[index] = kNoMove;
    return;
  }
  make_move(pos, buffer[index]);
  tt_variation(pos, index + 1, buffer);
  unmake_move(pos);
}

}  // namespace search
