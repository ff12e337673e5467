#include "position/zobrist.h"

#include "position/bitboard.h"
#include "base/output.h"

namespace position {

uint64_t zobrist[1024];

namespace {

// Two 16-bit multiply-with-carry generators.
struct KeyGenerator {
  uint32_t z = 1;
  uint32_t w = 1;
  uint32_t step_z() { return z = 36969 * (z & 0xFFFF) + (z >> 16); }
  uint32_t step_w() { return w = 18000 * (w & 0xFFFF) + (w >> 16); }
  uint64_t next_key() {
    uint32_t z1 = step_z(), w1 = step_w();
    uint32_t z2 = step_z(), w2 = step_w();
    uint32_t high = (z1 << 16) + w1;
    uint32_t low = (z2 << 16) + w2;
    return (uint64_t{high} << 32) | low;
  }
};

}  // namespace

void init_zobrist() {
  static bool done = false;
  if (done) return;
  done = true;
  KeyGenerator generator;
  for (int i = 0; i < 1024; ++i) {
    uint64_t key;
    do {
      key = generator.next_key();
    } while (popcount(key) < 20 || popcount(key) > 44);
    for (int j = 0; j < i; ++j) {
      if (popcount(key ^ zobrist[j]) < 6) {
        base::emit_line("bad hashcode");
        break;
      }
    }
    zobrist[i] = key;
  }
}

}  // namespace position
