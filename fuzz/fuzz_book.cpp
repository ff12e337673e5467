// Feeds opening book files to the probe, from a handful of positions: first the bytes as
// they stand, then the same records re-keyed to the probed positions and sorted, so that
// the moves and weights of the input reach the choice and the move conversion (random
// keys almost never match a position). Every move a probe returns must be legal there.
#include <algorithm>
#include <string>
#include <vector>

#include "book/key.h"
#include "book/probe.h"
#include "fuzz_support.h"

namespace {

using namespace position;

// Start position, a Sicilian from the shared test book, both sides able to castle and to
// promote, and rooks and a queen on the squares that castling uses.
const char* const kFens[] = {
    kStartFen,
    "rnbqkbnr/pp1ppppp/8/2p5/4P3/2P5/PP1P1PPP/RNBQKBNR b KQkq - 0 2",
    "r3k2r/1P6/8/8/8/8/6p1/R3K2R w KQkq - 0 1",
    "r3k2r/1P6/8/8/8/8/6p1/R3K2R b KQkq - 0 1",
    "4q2k/8/8/8/8/8/8/K3R3 w - - 0 1",
};
constexpr int kPositions = sizeof(kFens) / sizeof(kFens[0]);

Position positions[kPositions];
uint64_t keys[kPositions];

void probe_all(const std::string& path) {
  for (int i = 0; i < kPositions; ++i) {
    Move move = book::book_probe(positions[i], path.c_str());
    if (move && !is_legal_move(positions[i], move)) {
      char text[80];
      std::snprintf(text, sizeof(text), "%s: move %04x", kFens[i], move);
      nesk_fuzz::fail("the book gave an illegal move", text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  for (int i = 0; i < kPositions; ++i) {
    if (set_position(positions[i], kFens[i]) != 0) std::abort();
    keys[i] = book::book_key(positions[i]);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  base::set_default_settings(base::settings);
  // Both reports: the UCI line on odd sizes, the console listing on even ones.
  base::settings.uci_mode = static_cast<uint8_t>(size & 1);
  base::settings.noise = 0;
  base::settings.book_variety = static_cast<uint8_t>(size ? data[size - 1] % 101 : 25);
  book::set_book_random_state(static_cast<uint32_t>(size));

  std::string path = nesk_fuzz::write_temp_file("book", data, size);
  probe_all(path);

  std::vector<std::string> records;
  for (size_t at = 0; at + book::kBookEntrySize <= size; at += book::kBookEntrySize) {
    std::string record(reinterpret_cast<const char*>(data + at), book::kBookEntrySize);
    uint64_t key = keys[static_cast<uint8_t>(record[7]) % kPositions];
    for (int b = 0; b < 8; ++b) record[b] = static_cast<char>(key >> (8 * (7 - b)));
    records.push_back(record);
  }
  if (!records.empty()) {
    std::stable_sort(records.begin(), records.end());  // byte order is key order, big-endian
    std::string keyed;
    for (const std::string& r : records) keyed += r;
    path = nesk_fuzz::write_temp_file("book", reinterpret_cast<const uint8_t*>(keyed.data()), keyed.size());
    probe_all(path);
  }
  std::remove(path.c_str());
  return 0;
}
