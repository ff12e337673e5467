#include "book/build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "base/failure.h"
#include "base/regular_file.h"
#include "base/settings.h"
#include "book/key.h"
#include "book/pgn_reader.h"
#include "position/makemove.h"
#include "position/notation.h"

namespace book {

using position::Move;
using position::Position;

namespace {

constexpr int64_t kMaxWeight = 60000;
constexpr int kGamesPerDot = 1024;

enum Result { kWhiteWon = 0, kBlackWon = 1, kDrawn = 2, kSkipped = 3 };

// Every (position, move) pair seen, in the order first seen, found again through an
// open-addressed index. The file wants them by key with first-seen order among equal
// keys: one stable sort at the end gives that.
class MoveTable {
 public:
  MoveRecord& find_or_add(uint64_t key, uint16_t move) {
    if (2 * (records_.size() + 1) > slots_.size()) grow();
    size_t mask = slots_.size() - 1;
    for (size_t i = slot_of(key, move, mask);; i = (i + 1) & mask) {
      uint32_t index = slots_[i];
      if (index == 0) {
        records_.push_back(MoveRecord{key, 0, 0, 0, move});
        slots_[i] = static_cast<uint32_t>(records_.size());
        return records_.back();
      }
      MoveRecord& r = records_[index - 1];
      if (r.key == key && r.move == move) return r;
    }
  }

  std::vector<MoveRecord> sorted_by_key() {
    std::vector<uint32_t>().swap(slots_);
    std::vector<MoveRecord> sorted = std::move(records_);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const MoveRecord& a, const MoveRecord& b) { return a.key < b.key; });
    return sorted;
  }

  size_t size() const { return records_.size(); }

 private:
  static size_t slot_of(uint64_t key, uint16_t move, size_t mask) {
    uint64_t h = (key ^ (uint64_t{move} * 0x9E3779B97F4A7C15ULL)) * 0xFF51AFD7ED558CCDULL;
    return static_cast<size_t>(h >> 32) & mask;
  }

  void grow() {
    size_t capacity = slots_.empty() ? size_t{1} << 16 : 2 * slots_.size();
    std::vector<uint32_t> slots(capacity, 0);
    for (uint32_t index = 1; index <= records_.size(); ++index) {
      const MoveRecord& r = records_[index - 1];
      size_t i = slot_of(r.key, r.move, capacity - 1);
      while (slots[i]) i = (i + 1) & (capacity - 1);
      slots[i] = index;
    }
    slots_.swap(slots);
  }

  std::vector<MoveRecord> records_;
  std::vector<uint32_t> slots_;  // record index + 1; 0 is a free slot
};

// The reader's state in the game at hand.
struct Game {
  int result = kSkipped;
  bool set_up = false;       // a FEN tag: the game did not start from the start position
  bool movetext = false;     // a line after its tags has been seen
  bool in_comment = false;
  int variations = 0;
  int plies = 0;
  bool stopped = false;      // a move did not read: the rest of the game says nothing
};

int result_of(const char* line) {
  if (std::strstr(line, "1-0")) return kWhiteWon;
  if (std::strstr(line, "0-1")) return kBlackWon;
  if (std::strstr(line, "1/2")) return kDrawn;
  return kSkipped;
}

class Builder {
 public:
  Builder() : history_(std::make_unique<position::GameHistory>()) {
    start_.game = history_.get();
    position::set_position(start_, position::kStartFen);
    pos_ = start_;
  }

  void read_line(const char* line) {
    if (std::strncmp(line, "\xEF\xBB\xBF", 3) == 0) line += 3;
    const char* first = line;
    while (*first == ' ' || *first == '\t') ++first;
    bool result_tag = std::strstr(line, "[Result ") != nullptr;
    bool tag = !game_.in_comment && *first == '[';
    // Tags after moves belong to the next game, even where its Result tag is missing or
    // comes late: nothing of it is read before that tag says how it ended.
    if ((tag || result_tag) && game_.movetext) game_ = Game{};
    if (result_tag) start_game(result_of(line));
    if (std::strstr(line, "[FEN ")) {
      game_.set_up = true;
      game_.result = kSkipped;
    }
    if (tag || result_tag || *first == 0) return;
    if (*first == ';' && !game_.in_comment) return;
    game_.movetext = true;
    if (game_.result == kSkipped || game_.plies > kBuildPlies || game_.stopped) return;
    for (const char* token = pgn_token(line); token; token = pgn_token(nullptr))
      if (!read_token(token)) break;
  }

  int games() const { return games_; }
  MoveTable& table() { return table_; }

 private:
  void start_game(int result) {
    if (++games_ % kGamesPerDot == 0) std::printf(".");
    bool set_up = game_.set_up;
    game_ = Game{};
    game_.set_up = set_up;
    game_.result = set_up ? kSkipped : result;
    pos_ = start_;
  }

  // False when the rest of the line says nothing.
  bool read_token(const char* token) {
    char c = token[0];
    if (game_.in_comment) {
      game_.in_comment = c != '}';
      return true;
    }
    if (c == ';') return false;  // comment to the line end
    if (c == '{') game_.in_comment = true;
    if (c == '(') ++game_.variations;
    if (c == ')' && game_.variations > 0) --game_.variations;
    if (c == '$' || game_.variations > 0 || c == '{' || c == '}' || c == ')') return true;
    char text[24];
    if (!pgn_move_text(token, text)) return true;

    Move move;
    uint64_t key = book_key(pos_);
    const position::MoveStyle style{base::settings.chess960 != 0, base::settings.uci_mode != 0};
    if (!position::text_to_move(pos_, text, move, style)) {
      game_.stopped = true;
      return false;
    }
    uint16_t encoded = move_to_book_move(pos_, move);
    int mover = pos_.side;
    ++game_.plies;
    // Only the key matters here, never the way back: the undo records start again.
    pos_.game->undo_index = 0;
    pos_.game->ply = 1;
    position::make_move(pos_, move);

    MoveRecord& record = table_.find_or_add(key, encoded);
    if (game_.result == kDrawn) ++record.draws;
    else if ((game_.result == kWhiteWon) == (mover == position::kWhite)) ++record.wins;
    else ++record.losses;
    return true;
  }

  std::unique_ptr<position::GameHistory> history_;
  Position start_{};
  Position pos_{};
  Game game_;
  int games_ = 0;
  MoveTable table_;
};

void put_big_endian(unsigned char* out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[i] = static_cast<unsigned char>(value & 0xFF);
}

// A failed build says why on both outputs: a script that runs "-mkbook" may look at
// either, and the exit status tells it that something failed.
std::string system_error() { return std::strerror(errno); }

// The book is written to a file of its own beside kBuiltBookFile and renamed over it only
// once complete, so a failed build leaves an older book as it was.
struct BookOutput {
  std::string temporary;
  std::FILE* file = nullptr;
};

// Something other than a file of ours under the book's name (a directory, a pipe, a link,
// a file we may not write) is left alone: the build refuses instead.
bool may_replace_book(std::string& why) {
  struct stat info;
  if (lstat(kBuiltBookFile, &info) != 0) {
    if (errno == ENOENT) return true;
    why = system_error();
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    why = "not a regular file, left as it is";
    return false;
  }
  if (access(kBuiltBookFile, W_OK) != 0) {
    why = system_error();
    return false;
  }
  return true;
}

bool open_book_output(BookOutput& out, std::string& why) {
  if (!may_replace_book(why)) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    out.temporary = std::string(kBuiltBookFile) + "." + std::to_string(getpid()) + "-" + std::to_string(attempt);
    int fd = open(out.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd >= 0 && (out.file = fdopen(fd, "wb"))) return true;
    why = system_error();
    if (fd >= 0) {
      close(fd);
      unlink(out.temporary.c_str());
    }
    return false;
  }
  why = "no free name for a temporary file";
  return false;
}

void discard_book_output(BookOutput& out) {
  if (out.file) std::fclose(out.file);
  out.file = nullptr;
  unlink(out.temporary.c_str());
}

// Closes the finished file and puts it in the book's place; on failure the temporary file
// is left for discard_book_output.
bool finish_book_output(BookOutput& out, std::string& why) {
  std::FILE* file = std::exchange(out.file, nullptr);
  bool flushed = std::fflush(file) == 0;
  if (!flushed) why = system_error();
  if (std::fclose(file) != 0 && flushed) {
    why = system_error();
    return false;
  }
  if (flushed && rename(out.temporary.c_str(), kBuiltBookFile) != 0) {
    why = system_error();
    return false;
  }
  return flushed;
}

// Writes the book's entries; returns how many, or -1 when a write fails.
long write_entries(const std::vector<MoveRecord>& records, std::FILE* file) {
  long written = 0;
  for (size_t begin = 0, end; begin < records.size(); begin = end) {
    for (end = begin + 1; end < records.size() && records[end].key == records[begin].key;) ++end;
    for (const BookEntry& e : entries_for_position(&records[begin], end - begin)) {
      unsigned char bytes[kBookEntrySize];
      put_big_endian(bytes, e.key, 8);
      put_big_endian(bytes + 8, e.move, 2);
      put_big_endian(bytes + 10, e.weight, 2);
      put_big_endian(bytes + 12, e.learn, 4);
      if (std::fwrite(bytes, 1, sizeof bytes, file) != sizeof bytes) return -1;
      ++written;
    }
  }
  return written;
}

}  // namespace

bool keeps_move(const MoveRecord& r) {
  return std::max<int64_t>(r.losses, 4) < int64_t{r.wins} + r.draws;
}

int64_t move_score(const MoveRecord& r) { return 4 * int64_t{r.wins} - 2 * int64_t{r.losses} + r.draws; }

std::vector<BookEntry> entries_for_position(const MoveRecord* records, size_t count) {
  std::vector<BookEntry> entries;
  int64_t best = 0;
  for (size_t i = 0; i < count; ++i)
    if (keeps_move(records[i])) best = std::max(best, move_score(records[i]));
  if (best <= 0) return entries;
  for (size_t i = 0; i < count; ++i) {
    int64_t score = move_score(records[i]);
    if (!keeps_move(records[i]) || score <= 0) continue;
    // Scaled exactly; a weight that comes out 0 would never be played and is left out.
    int64_t weight = best > kMaxWeight ? score * kMaxWeight / best : score;
    if (weight > 0) entries.push_back(BookEntry{records[i].key, records[i].move, static_cast<uint16_t>(weight), 0});
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const BookEntry& a, const BookEntry& b) { return a.weight > b.weight; });
  return entries;
}

int build_book(const std::string& path) {
  std::string why;
  std::FILE* pgn = base::open_regular_file(path.c_str(), &why);
  if (!pgn) return base::report_failure("cannot read %s: %s; no book written", path.c_str(), why.c_str());
  BookOutput out;
  if (!open_book_output(out, why)) {
    std::fclose(pgn);
    return base::report_failure("cannot write %s: %s", kBuiltBookFile, why.c_str());
  }
  std::printf(" Creating file %s from games in %s\n", kBuiltBookFile, path.c_str());
  try {
    Builder builder;
    {
      auto lines = std::make_unique<PgnLines>(pgn);
      std::string line;
      while (lines->next(line)) builder.read_line(line.c_str());
    }
    bool unread = std::ferror(pgn) != 0;
    if (unread) why = system_error();
    std::fclose(pgn);
    pgn = nullptr;
    if (unread) {
      discard_book_output(out);
      std::printf("\n");
      return base::report_failure("cannot read %s: %s; no book written", path.c_str(), why.c_str());
    }
    size_t created = builder.table().size();
    std::vector<MoveRecord> records = builder.table().sorted_by_key();
    std::printf("\nwriting book file ...\n");
    long written = write_entries(records, out.file);
    if (written < 0) why = system_error();
    if (written < 0 || !finish_book_output(out, why)) {
      discard_book_output(out);
      return base::report_failure("cannot write %s: %s", kBuiltBookFile, why.c_str());
    }
    std::printf("\nngames= %d, nmoves= %zu\n", builder.games(), created);
    std::printf("book contains %ld moves\n", written);
    std::printf("done\n");
    return base::kToolSucceeded;
  } catch (const std::bad_alloc&) {
    if (pgn) std::fclose(pgn);
    discard_book_output(out);
    std::printf("\n");
    return base::report_failure("out of memory: no book written");
  }
}

}  // namespace book
