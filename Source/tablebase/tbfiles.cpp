#include "tablebase/tbfiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "tablebase/tbindex.h"

namespace tablebase {

int TB_LARGEST = 0;

namespace {

constexpr int kPieceTables = 650;
constexpr int kPawnTables = 861;
constexpr int kHashSlots = 4096;
constexpr const char* kExtension[3] = {".rtbw", ".rtbm", ".rtbz"};

// Primes per [colour][type], engine piece types: pawn 1, knight 2, bishop 3, rook 4, queen 5.
constexpr uint64_t kPrime[2][6] = {
    {0, 0xEC0ADE190C0F6003, 0xD2FB81862830191F, 0xAADC1A2BE446234D, 0x985DEB9FC49333F9, 0xA3EC1ABC71E90863},
    {0, 0xA24F0F571BB202E7, 0xBAEB854CD3259441, 0xD5A4C95928F2FBE3, 0xFD7866B439B94495, 0xD6E4E47D24962951}};

struct HashSlot {
  uint64_t key;
  std::atomic<TableEntry*> entry;
};

std::vector<std::string> directories;
std::vector<std::unordered_set<std::string>> listings;  // table files per directory
std::unique_ptr<TableEntry[]> piece_entries;
std::unique_ptr<TableEntry[]> pawn_entries;
int piece_count = 0, pawn_count = 0;
HashSlot hash[kHashSlots];
std::mutex map_mutex;
TableFileCounts file_counts{};
int largest = 0, largest_dtm = 0;
bool index_tables_ready = false;
std::string initialised_path;
bool initialised = false;

std::string file_path(const std::string& directory, const char* name, const char* extension) {
  return directory + "/" + name + extension;
}

void say(const char* format, const char* a, const char* b) {
  base::print_plain("%s\n", base::formatted(format, a, b).c_str());
}

// A message while searching: a whole line through the output lock, logged as well.
void report(const char* format, const char* a, const char* b) {
  base::emit_line(base::formatted(format, a, b).c_str());
}

void unmap_all() {
  auto release = [](TableEntry* entries, int count) {
    for (int i = 0; i < count; ++i) {
      TableEntry& e = entries[i];
      for (int kind = 0; kind < 3; ++kind) {
        if (e.data[kind]) tb_unmap(e.data[kind], e.length[kind]);
        clear_records(e, kind);
        e.data[kind] = nullptr;
        e.length[kind] = 0;
        e.ready[kind].store(0, std::memory_order_relaxed);
      }
    }
  };
  if (piece_entries) release(piece_entries.get(), piece_count);
  if (pawn_entries) release(pawn_entries.get(), pawn_count);
  piece_count = pawn_count = 0;
  for (HashSlot& slot : hash) {
    slot.key = 0;
    slot.entry.store(nullptr, std::memory_order_relaxed);
  }
}

// The table file names in a directory: one listing spares a failed look-up for each of the
// thousands of materials that have no file.
std::unordered_set<std::string> table_files_in(const std::string& directory) {
  std::unordered_set<std::string> names;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return names;
  while (dirent* item = readdir(dir)) {
    const char* dot = std::strrchr(item->d_name, '.');
    if (dot && (!std::strcmp(dot, ".rtbw") || !std::strcmp(dot, ".rtbz") || !std::strcmp(dot, ".rtbm")))
      names.insert(item->d_name);
  }
  closedir(dir);
  return names;
}

// Splits the path at ';' (and ':', the separator of path lists here), keeping directories
// that exist and hold table files; each other one is reported once.
void read_directories(const char* path) {
  directories.clear();
  listings.clear();
  std::string current;
  auto finish = [&]() {
    if (current.empty()) return;
    struct stat info;
    if (stat(current.c_str(), &info) != 0) {
      say("info string Tablebase directory %s%s not found", current.c_str(), "");
    } else if (!S_ISDIR(info.st_mode)) {
      say("info string Tablebase path %s%s is not a directory", current.c_str(), "");
    } else {
      std::unordered_set<std::string> names = table_files_in(current);
      if (names.empty()) {
        say("info string No tablebase files in %s%s", current.c_str(), "");
      } else {
        directories.push_back(current);
        listings.push_back(std::move(names));
      }
    }
    current.clear();
  };
  for (const char* p = path; *p; ++p) {
    if (*p == ';' || *p == ':') finish();
    else current += *p;
  }
  finish();
}

void add_to_hash(uint64_t key, TableEntry* entry) {
  int slot = static_cast<int>(key >> 52);
  for (int tries = 0; tries < kHashSlots; ++tries) {
    if (hash[slot].key == 0 || hash[slot].key == key) {
      hash[slot].key = key;
      hash[slot].entry.store(entry, std::memory_order_relaxed);
      return;
    }
    slot = (slot + 1) & (kHashSlots - 1);
  }
}

int type_of_letter(char c) {
  switch (c) {
    case 'P': return 1;
    case 'N': return 2;
    case 'B': return 3;
    case 'R': return 4;
    case 'Q': return 5;
    case 'K': return 6;
    default: return 0;
  }
}

void register_table(const char* name) {
  if (!tb_test_file(name, ".rtbw")) return;
  uint8_t counts[2][8] = {};
  int colour = 0;
  for (const char* p = name; *p; ++p) {
    if (*p == 'v') colour = 1;
    else ++counts[colour][type_of_letter(*p)];
  }
  bool pawns = counts[0][1] + counts[1][1] > 0;
  if (pawns ? pawn_count >= kPawnTables : piece_count >= kPieceTables) return;
  TableEntry& e = pawns ? pawn_entries[pawn_count++] : piece_entries[piece_count++];
  e.key = material_key(counts, false);
  uint64_t flipped = material_key(counts, true);
  e.symmetric = e.key == flipped;
  e.has_pawns = pawns;
  std::memcpy(e.counts, counts, sizeof(counts));
  std::snprintf(e.name, sizeof(e.name), "%s", name);
  int men = 0;
  for (int c = 0; c < 2; ++c)
    for (int t = 1; t <= 6; ++t) men += counts[c][t];
  e.pieces = static_cast<uint8_t>(men);
  ++file_counts.wdl;
  e.has_dtm = static_cast<uint8_t>(tb_test_file(name, ".rtbm"));
  e.has_dtz = static_cast<uint8_t>(tb_test_file(name, ".rtbz"));
  file_counts.dtm += e.has_dtm;
  file_counts.dtz += e.has_dtz;
  if (men > largest) largest = men;
  if (e.has_dtm && men > largest_dtm) largest_dtm = men;
  for (auto& flag : e.ready) flag.store(0, std::memory_order_relaxed);
  if (pawns) {
    int white = counts[0][1], black = counts[1][1];
    bool white_leads = black == 0 || (white > 0 && white <= black);
    e.pawns[0] = static_cast<uint8_t>(white_leads ? white : black);
    e.pawns[1] = static_cast<uint8_t>(white_leads ? black : white);
    e.kk_enc = 0;
  } else {
    int unique = 0;
    for (int c = 0; c < 2; ++c)
      for (int t = 1; t <= 5; ++t) unique += counts[c][t] == 1;
    e.kk_enc = unique == 0;
    e.pawns[0] = e.pawns[1] = 0;
  }
  add_to_hash(e.key, &e);
  if (!e.symmetric) add_to_hash(flipped, &e);
}

// Every material of up to seven men, letters in the order Q R B N P on each side.
void enumerate_tables() {
  const char letters[] = "QRBNP";
  char name[16];
  auto reg = [&](const std::string& white, const std::string& black) {
    std::snprintf(name, sizeof(name), "K%svK%s", white.c_str(), black.c_str());
    register_table(name);
  };
  // All non-increasing-in-strength letter runs of a given length.
  std::vector<std::string> runs[6];
  runs[0].push_back("");
  for (int length = 1; length <= 5; ++length)
    for (const std::string& shorter : runs[length - 1]) {
      int from = shorter.empty() ? 0 : static_cast<int>(std::strchr(letters, shorter.back()) - letters);
      for (int i = from; i < 5; ++i) runs[length].push_back(shorter + letters[i]);
    }
  auto position_of = [&](char c) { return std::strchr(letters, c) - letters; };
  for (const std::string& w : runs[1]) reg(w, "");
  for (const std::string& w : runs[1])
    for (const std::string& b : runs[1])
      if (position_of(w[0]) <= position_of(b[0])) reg(w, b);
  for (const std::string& w : runs[2]) reg(w, "");
  for (const std::string& w : runs[2])
    for (const std::string& b : runs[1]) reg(w, b);
  for (const std::string& w : runs[3]) reg(w, "");
  for (const std::string& w : runs[2])
    for (const std::string& b : runs[2])
      if (position_of(w[0]) < position_of(b[0]) ||
          (w[0] == b[0] && position_of(w[1]) <= position_of(b[1])))
        reg(w, b);
  for (const std::string& w : runs[3])
    for (const std::string& b : runs[1]) reg(w, b);
  for (const std::string& w : runs[4]) reg(w, "");
  for (const std::string& w : runs[5]) reg(w, "");
  for (const std::string& w : runs[4])
    for (const std::string& b : runs[1]) reg(w, b);
  for (const std::string& w : runs[3])
    for (const std::string& b : runs[2]) reg(w, b);
}

// Removes the entry from the registry so that later probes of its material fail at once.
void drop_entry(TableEntry& entry) {
  for (HashSlot& slot : hash)
    if (slot.entry.load(std::memory_order_relaxed) == &entry) slot.entry.store(nullptr, std::memory_order_release);
}

}  // namespace

uint64_t material_key(const uint8_t counts[2][8], bool flipped) {
  uint64_t key = 0;
  for (int colour = 0; colour < 2; ++colour)
    for (int type = 1; type <= 5; ++type) key += counts[colour][type] * kPrime[colour ^ (flipped ? 1 : 0)][type];
  return key;
}

int tb_test_file(const char* name, const char* extension) {
  std::string file = std::string(name) + extension;
  for (size_t d = 0; d < directories.size(); ++d) {
    if (!listings[d].count(file)) continue;
    struct stat info;
    if (stat(file_path(directories[d], name, extension).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (info.st_size % 64 == 16) return 1;
    std::fprintf(stderr, "Incomplete tablebase file %s.%s\n", name, extension + 1);
    say("info string Incomplete tablebase file %s.%s", name, extension + 1);
    return 0;
  }
  return 0;
}

int tb_open(const char* name, const char* extension) {
  for (const std::string& directory : directories) {
    int fd = open(file_path(directory, name, extension).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return fd;
  }
  return -1;
}

void tb_unmap(const void* view, size_t length) {
  if (munmap(const_cast<void*>(view), length) != 0)
    std::fprintf(stderr, "unmap failed, error code %d\n", errno);
}

void tb_init() {
  if (!index_tables_ready) {
    init_index_tables();
    index_tables_ready = true;
  }
  unmap_all();
  directories.clear();
  listings.clear();
  file_counts = TableFileCounts{};
  largest = largest_dtm = 0;
  TB_LARGEST = 0;
  const char* path = base::settings.syzygy_path.c_str();
  initialised_path = path;
  initialised = true;
  if (!path[0] || !std::strcmp(path, "<empty>")) return;
  read_directories(path);
  if (!piece_entries) {
    piece_entries.reset(new (std::nothrow) TableEntry[kPieceTables]);
    pawn_entries.reset(new (std::nothrow) TableEntry[kPawnTables]);
    if (!piece_entries || !pawn_entries) {
      std::fprintf(stderr, "Out of memory.\n");
      std::exit(1);
    }
  }
  if (!directories.empty()) enumerate_tables();
  TB_LARGEST = largest > largest_dtm ? largest : largest_dtm;
  base::print_plain("info string Found %d WDL, %d DTM and %d DTZ tablebase files. Largest %d-men\n", file_counts.wdl,
                    file_counts.dtm, file_counts.dtz, TB_LARGEST);
}

int tb_path_is_current() { return initialised && initialised_path == base::settings.syzygy_path; }

TableFileCounts tb_file_counts() { return file_counts; }

TableEntry* tb_find(uint64_t key) {
  int slot = static_cast<int>(key >> 52);
  for (int tries = 0; tries < kHashSlots; ++tries) {
    if (hash[slot].key == key) return hash[slot].entry.load(std::memory_order_acquire);
    if (hash[slot].key == 0) return nullptr;
    slot = (slot + 1) & (kHashSlots - 1);
  }
  return nullptr;
}

int tb_map_table(TableEntry& entry, int kind) {
  uint8_t state = entry.ready[kind].load(std::memory_order_acquire);
  if (state) return state == 1;
  std::lock_guard<std::mutex> guard(map_mutex);
  state = entry.ready[kind].load(std::memory_order_acquire);
  if (state) return state == 1;
  const char* extension = kExtension[kind];
  int fd = tb_open(entry.name, extension);
  const uint8_t* view = nullptr;
  size_t length = 0;
  if (fd >= 0) {
    struct stat info;
    if (fstat(fd, &info) == 0 && info.st_size > 0) {
      length = static_cast<size_t>(info.st_size);
      void* mapped = mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, 0);
      if (mapped != MAP_FAILED) view = static_cast<const uint8_t*>(mapped);
    }
    close(fd);
  }
  if (!view) {
    std::fprintf(stderr, "Could not map %s%s into memory.\n", entry.name, extension);
    report("info string Could not map %s%s into memory", entry.name, extension);
  } else if (!setup_table(entry, kind, view, length)) {
    std::fprintf(stderr, "Corrupted table.\n");
    report("info string Corrupted table %s%s", entry.name, extension);
    tb_unmap(view, length);
    view = nullptr;
  }
  if (!view) {
    drop_entry(entry);
    entry.ready[kind].store(2, std::memory_order_release);
    return 0;
  }
  entry.data[kind] = view;
  entry.length[kind] = length;
  entry.ready[kind].store(1, std::memory_order_release);
  return 1;
}

}  // namespace tablebase
