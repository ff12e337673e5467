#include "book/probe.h"

#include <sys/types.h>

#include <cstdio>
#include <ctime>

#include "base/output.h"
#include "base/regular_file.h"
#include "base/settings.h"
#include "book/key.h"
#include "position/legality.h"
#include "position/notation.h"

namespace book {

using namespace position;

namespace {

constexpr int kE1 = 4, kE8 = 60;

// Promotion codes of the format, 1 knight .. 4 queen, against the engine's flags.
constexpr Move kPromotionFlags[5] = {0, kFlagKnight, kFlagBishop, kFlagRook, kFlagQueen};

uint32_t random_state = 0;
bool random_seeded = false;

bool read_big_endian(std::FILE* file, int bytes, uint64_t& value) {
  unsigned char buffer[8];
  if (std::fread(buffer, 1, bytes, file) != static_cast<size_t>(bytes)) return false;
  value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | buffer[i];
  return true;
}

bool read_entry_at(std::FILE* file, int64_t index, BookEntry& entry) {
  return fseeko(file, static_cast<off_t>(index * kBookEntrySize), SEEK_SET) == 0 && book_read_entry(file, entry) == 0;
}

int book_from(uint16_t book_move) { return (book_move >> 6) & 63; }
int book_to(uint16_t book_move) { return book_move & 63; }

// The first of the records with `key` (at most kMaxBookMoves of them) into `entries`;
// returns how many. A file that is not sorted may hide a position: never more than that.
int find_entries(std::FILE* file, uint64_t key, BookEntry* entries) {
  if (fseeko(file, 0, SEEK_END) != 0) return 0;
  off_t size = ftello(file);
  if (size < kBookEntrySize) return 0;
  int64_t low = 0, high = static_cast<int64_t>(size) / kBookEntrySize;
  BookEntry entry;
  while (low < high) {
    int64_t middle = low + (high - low) / 2;
    if (!read_entry_at(file, middle, entry)) return 0;
    if (entry.key < key) low = middle + 1;
    else high = middle;
  }
  if (!read_entry_at(file, low, entry) || entry.key != key) return 0;
  int count = 0;
  do entries[count++] = entry;
  while (count < kMaxBookMoves && book_read_entry(file, entry) == 0 && entry.key == key);
  return count;
}

void report(const BookEntry* entries, const int32_t* adjusted, int count, int32_t total, int32_t sum, int chosen) {
  const base::EngineSettings& s = base::settings;
  if (s.uci_mode == 1) {
    char line[64 + 5 * kMaxBookMoves];
    int length = std::snprintf(line, sizeof(line), "info string ( book moves are: ");
    for (int i = 0; i < count; ++i)
      if (entries[i].weight)
        length += std::snprintf(line + length, sizeof(line) - length, "%s%s ", kSquareNames[book_from(entries[i].move)],
                                kSquareNames[book_to(entries[i].move)]);
    std::snprintf(line + length, sizeof(line) - length, " )");
    base::emit_line(line);
    return;
  }
  if (base::quiet()) return;
  for (int i = 0; i < count; ++i) {
    if (!entries[i].weight) continue;
    char text[8];
    std::snprintf(text, sizeof(text), "%s%s", kSquareNames[book_from(entries[i].move)],
                  kSquareNames[book_to(entries[i].move)]);
    base::print_plain("  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%\n", text, entries[i].weight,
                      entries[i].weight * 100.0 / total, sum > 0 ? adjusted[i] * 100.0 / sum : 0.0);
  }
  base::print_plain("selecting %s%s\n", kSquareNames[book_from(entries[chosen].move)],
                    kSquareNames[book_to(entries[chosen].move)]);
}

}  // namespace

int book_read_entry(std::FILE* file, BookEntry& entry) {
  uint64_t key, move, weight, learn;
  if (!read_big_endian(file, 8, key) || !read_big_endian(file, 2, move) || !read_big_endian(file, 2, weight) ||
      !read_big_endian(file, 4, learn))
    return 1;
  entry = {key, static_cast<uint16_t>(move), static_cast<uint16_t>(weight), static_cast<uint32_t>(learn)};
  return 0;
}

Move book_move_to_move(uint16_t book_move, const Position& pos) {
  int from = book_from(book_move), to = book_to(book_move), promotion = (book_move >> 12) & 7;
  // Only a king on its home square castles this way: a rook or queen going e1-h1 is an
  // ordinary move. A king move cannot promote, so whatever a tool put in the promotion
  // field of a castling (some write 4 or 1) says nothing.
  int colour = from == kE1 ? kWhite : kBlack;
  if ((from == kE1 || from == kE8) && pos.board[from] == piece_code(colour, kKing) && rank_of(to) == rank_of(from) &&
      (file_of(to) == 7 || file_of(to) == 0)) {
    bool king_side = file_of(to) == 7;
    return make_move_code(from, make_square(king_side ? 6 : 2, rank_of(from)), king_side ? kFlagKingSide : kFlagQueenSide);
  }
  if (promotion > 4) return kNoMove;
  return make_move_code(from, to, kPromotionFlags[promotion]);
}

uint16_t move_to_book_move(const Position& pos, Move move) {
  int from = move_from(move), to = move_to(move), type = type_of(pos.board[from]);
  int promotion = 0;
  if (type == kKing && (move & kFlagMask)) {
    to = make_square((move & kFlagKingSide) ? 7 : 0, rank_of(from));
  } else if (type == kPawn && ((move & kFlagMask) || relative_rank(colour_of(pos.board[from]), to) == 7)) {
    static constexpr int kCodes[7] = {0, 0, 1, 2, 3, 4, 0};
    promotion = kCodes[promotion_type(move)];
  }
  return static_cast<uint16_t>((promotion << 12) | (from << 6) | to);
}

int32_t book_shares(const BookEntry* entries, int count, int variety, int32_t* adjusted) {
  int64_t total = 0;
  for (int i = 0; i < count; ++i) total += entries[i].weight;
  if (total == 0) return -1;
  // Above 25 every move gains a part of the favourite's weight, which evens the choice
  // out; below 25 every move loses it, and the rarer moves fall to nothing.
  int bias = static_cast<int>((variety - 25) * entries[0].weight * 0.01);
  int32_t sum = 0;
  for (int i = 0; i < count; ++i) {
    int64_t share = (static_cast<int64_t>(entries[i].weight) + bias) * 10000 / total;
    adjusted[i] = share < 0 ? 0 : static_cast<int32_t>(share);
    sum += adjusted[i];
  }
  return sum;
}

int book_pick(const BookEntry* entries, const int32_t* adjusted, int count, int32_t r) {
  // A draw of 0 passes no entry: it takes the first move of any weight, never one of
  // weight 0 that happens to be listed first.
  int chosen = 0;
  while (chosen < count - 1 && !entries[chosen].weight) ++chosen;
  int64_t before = 0;
  for (int i = 0; i < count; ++i) {
    if (entries[i].weight && before < r) chosen = i;
    before += adjusted[i];
  }
  return chosen;
}

Move book_probe(const Position& pos, const char* file) {
  if (!random_seeded) set_book_random_state(static_cast<uint32_t>(std::time(nullptr)));
  if (!file || !*file) return kNoMove;
  std::FILE* stream = base::open_regular_file(file);
  if (!stream) return kNoMove;
  BookEntry entries[kMaxBookMoves];
  int count = find_entries(stream, book_key(pos), entries);
  std::fclose(stream);

  int32_t adjusted[kMaxBookMoves];
  int64_t total = 0;
  for (int i = 0; i < count; ++i) total += entries[i].weight;
  int32_t sum = book_shares(entries, count, base::settings.book_variety, adjusted);
  if (sum < 0) return kNoMove;
  random_state = random_state * 12345 + 76543;
  int32_t r = static_cast<int32_t>((random_state % 1000) * 0.001 * sum);
  int chosen = book_pick(entries, adjusted, count, r);
  report(entries, adjusted, count, static_cast<int32_t>(total), sum, chosen);

  Move move = book_move_to_move(entries[chosen].move, pos);
  return is_legal_move(pos, move) ? move : kNoMove;
}

void set_book_random_state(uint32_t state) {
  random_state = state;
  random_seeded = true;
}

}  // namespace book
