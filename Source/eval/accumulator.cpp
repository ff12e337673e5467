#include "eval/accumulator.h"

#include <cstdlib>
#include <cstring>

#include "eval/network.h"
#include "position/bitboard.h"
#include "position/position.h"

#ifdef __AVX2__
#include <immintrin.h>
#endif

namespace eval {

bool vector_path_available() {
#ifdef __AVX2__
  return true;
#else
  return false;
#endif
}

bool use_vector_path = vector_path_available();

namespace {

using position::Bitboard;

// Zero-filled, 64-byte aligned room for `count` values; null for a count of 0.
int16_t* zeroed(int count) {
  if (count <= 0) return nullptr;
  size_t bytes = (static_cast<size_t>(count) * sizeof(int16_t) + 63) / 64 * 64;
  auto* memory = static_cast<int16_t*>(std::aligned_alloc(64, bytes));
  if (memory) std::memset(memory, 0, bytes);
  return memory;
}

// King buckets of the three-bucket networks, by the king's square after the mirror.
constexpr uint8_t kThreeBuckets[64] = {
    0, 0, 0, 0, 1, 0, 0, 0,  //
    0, 0, 0, 0, 1, 1, 0, 0,  //
    0, 0, 0, 0, 1, 1, 1, 0,  //
    0, 0, 0, 0, 2, 1, 1, 1,  //
    0, 0, 0, 0, 2, 2, 1, 1,  //
    0, 0, 0, 0, 2, 2, 2, 1,  //
    0, 0, 0, 0, 2, 2, 2, 2,  //
    0, 0, 0, 0, 2, 2, 2, 2,
};

// Rows to add to or take from both halves, in the order they are applied. A position has
// at most 64 pieces before and 64 after, so 256 entries always suffice.
constexpr int kMaxChanges = 256;

struct Changes {
  const int16_t* white_rows[kMaxChanges];
  const int16_t* black_rows[kMaxChanges];
  uint8_t adds[kMaxChanges];
  int count = 0;
};

struct RowFinder {
  const int16_t* weights;
  size_t half;
  Perspective white, black;

  // Appends the rows of every piece of `colour` and `type` on `squares`, lowest first.
  void append(Changes& changes, Bitboard squares, int colour, int type, bool add) const {
    while (squares) {
      int s = position::pop_lsb(squares);
      size_t fw = static_cast<size_t>(feature_index(white, position::kWhite, colour, type, s));
      size_t fb = static_cast<size_t>(feature_index(black, position::kBlack, colour, type, s));
      changes.white_rows[changes.count] = weights + fw * half;
      changes.black_rows[changes.count] = weights + fb * half;
      changes.adds[changes.count] = add;
      ++changes.count;
    }
  }
};

int16_t saturate(int value) { return static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value); }

// Negative values are divided by 64 (toward zero); others stay.
int16_t activate(int16_t value) { return value < 0 ? static_cast<int16_t>(value / 64) : value; }

int32_t dot_scalar(const int16_t* a, const int16_t* b, int n) {
  uint32_t sum = 0;
  for (int j = 0; j < n; ++j) sum += static_cast<uint32_t>(a[j] * b[j]);
  return static_cast<int32_t>(sum);
}

// One half: starts from `base`, applies the rows with saturating 16-bit steps, keeps the
// sums in `sums` (which may be `base` itself) and their activation in `out`. Returns the
// dot product of `out` with `output_row`, or 0 without one.
int32_t apply_scalar(const int16_t* base, int16_t* sums, int16_t* out, const int16_t* const* rows,
                     const uint8_t* adds, int count, int lanes, const int16_t* output_row) {
  if (sums != base) std::memcpy(sums, base, static_cast<size_t>(lanes) * sizeof(int16_t));
  for (int i = 0; i < count; ++i) {
    const int16_t* row = rows[i];
    if (adds[i]) {
      for (int j = 0; j < lanes; ++j) sums[j] = saturate(sums[j] + row[j]);
    } else {
      for (int j = 0; j < lanes; ++j) sums[j] = saturate(sums[j] - row[j]);
    }
  }
  for (int j = 0; j < lanes; ++j) out[j] = activate(sums[j]);
  return output_row ? dot_scalar(out, output_row, lanes) : 0;
}

#ifdef __AVX2__
int32_t horizontal_sum(__m256i v) {
  __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(x);
}

__m256i load(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
void store(int16_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

// n is a multiple of 64.
int32_t dot_vector(const int16_t* a, const int16_t* b, int n) {
  __m256i sums[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  for (int j = 0; j < n; j += 64)
    for (int r = 0; r < 4; ++r) sums[r] = _mm256_add_epi32(sums[r], _mm256_madd_epi16(load(a + j + 16 * r), load(b + j + 16 * r)));
  return horizontal_sum(_mm256_add_epi32(_mm256_add_epi32(sums[0], sums[1]), _mm256_add_epi32(sums[2], sums[3])));
}

// The same as apply_scalar, 128 lanes at a time held in registers; `lanes` is a multiple
// of 128.
template <bool kWithDot>
int32_t apply_vector(const int16_t* base, int16_t* sums, int16_t* out, const int16_t* const* rows,
                     const uint8_t* adds, int count, int lanes, const int16_t* output_row) {
  constexpr int kRegisters = 8;
  const __m256i round = _mm256_set1_epi16(63);
  __m256i dot = _mm256_setzero_si256();
  for (int start = 0; start < lanes; start += 16 * kRegisters) {
    __m256i v[kRegisters];
    for (int r = 0; r < kRegisters; ++r) v[r] = load(base + start + 16 * r);
    for (int i = 0; i < count; ++i) {
      const int16_t* row = rows[i] + start;
      if (adds[i]) {
        for (int r = 0; r < kRegisters; ++r) v[r] = _mm256_adds_epi16(v[r], load(row + 16 * r));
      } else {
        for (int r = 0; r < kRegisters; ++r) v[r] = _mm256_subs_epi16(v[r], load(row + 16 * r));
      }
    }
    for (int r = 0; r < kRegisters; ++r) {
      store(sums + start + 16 * r, v[r]);
      // (v + 63) >> 6 is v / 64 toward zero for negative v, and at most v otherwise
      // (where v + 63 wraps, it is negative and still below v).
      __m256i active = _mm256_max_epi16(v[r], _mm256_srai_epi16(_mm256_add_epi16(v[r], round), 6));
      store(out + start + 16 * r, active);
      if constexpr (kWithDot) dot = _mm256_add_epi32(dot, _mm256_madd_epi16(active, load(output_row + start + 16 * r)));
    }
  }
  return kWithDot ? horizontal_sum(dot) : 0;
}
#endif

int32_t apply(const int16_t* base, int16_t* sums, int16_t* out, const int16_t* const* rows, const uint8_t* adds,
              int count, int lanes, const int16_t* output_row) {
#ifdef __AVX2__
  if (use_vector_path) {
    return output_row ? apply_vector<true>(base, sums, out, rows, adds, count, lanes, output_row)
                      : apply_vector<false>(base, sums, out, rows, adds, count, lanes, output_row);
  }
#endif
  return apply_scalar(base, sums, out, rows, adds, count, lanes, output_row);
}

}  // namespace

Perspective perspective_of(int colour, int king, int buckets) {
  king &= 63;
  uint16_t mirror = static_cast<uint16_t>((king & 4 ? 0 : 7) + (colour == position::kWhite ? 0 : 56));
  int32_t bucket = 0;
  if (buckets == 2) {
    bucket = colour == position::kWhite ? (king > 23 ? kFeaturesPerBucket : 0)
                                        : (7 - position::rank_of(king) > 2 ? kFeaturesPerBucket : 0);
  } else if (buckets == 3) {
    bucket = kFeaturesPerBucket * kThreeBuckets[king ^ mirror];
  }
  return {mirror, bucket};
}

void free_accumulators(Accumulator& accumulator) {
  std::free(accumulator.work);
  std::free(accumulator.hidden1_out);
  std::free(accumulator.hidden2_out);
  if (accumulator.snapshot) {
    std::free(accumulator.snapshot->white_half);
    std::free(accumulator.snapshot->black_half);
    std::free(accumulator.snapshot);
  }
  accumulator.work = accumulator.white_half = accumulator.black_half = nullptr;
  accumulator.hidden1_out = accumulator.hidden2_out = nullptr;
  accumulator.snapshot = nullptr;
  accumulator.white_output_row = accumulator.black_output_row = nullptr;
}

int allocate_accumulators(Accumulator& accumulator) {
  free_accumulators(accumulator);
  const NetHeader& header = network.header;
  int width = header.width, half = header.width / 2;
  accumulator.work = zeroed(width);
  accumulator.hidden1_out = zeroed(header.hidden1);
  accumulator.hidden2_out = zeroed(header.hidden2);
  accumulator.snapshot = static_cast<AccumulatorSnapshot*>(std::calloc(1, sizeof(AccumulatorSnapshot)));
  if (accumulator.snapshot) {
    accumulator.snapshot->white_half = zeroed(half);
    accumulator.snapshot->black_half = zeroed(half);
  }
  bool complete = accumulator.work && (header.hidden1 <= 0 || accumulator.hidden1_out) &&
                  (header.hidden2 <= 0 || accumulator.hidden2_out) && accumulator.snapshot &&
                  accumulator.snapshot->white_half && accumulator.snapshot->black_half;
  if (!complete) {
    free_accumulators(accumulator);
    return 0;
  }
  accumulator.white_half = accumulator.work;
  accumulator.black_half = accumulator.work + half;
  accumulator.generation = network.generation;
  return 1;
}

int32_t dot_product(const int16_t* a, const int16_t* b, int n) {
#ifdef __AVX2__
  if (use_vector_path && n % 64 == 0) return dot_vector(a, b, n);
#endif
  return dot_scalar(a, b, n);
}

int prepare_accumulators(Accumulator& accumulator) {
  if (accumulator.work && accumulator.generation == network.generation) return 1;
  return network_loaded() ? allocate_accumulators(accumulator) : 0;
}

void update_accumulator(Accumulator& accumulator) {
  const NetHeader& header = network.header;
  const position::Position& pos = *accumulator.position;
  AccumulatorSnapshot& snapshot = *accumulator.snapshot;
  const Bitboard* white = pos.pieces[position::kWhite];
  const Bitboard* black = pos.pieces[position::kBlack];
  int half = header.width / 2;

  RowFinder finder{network.feature_weights, static_cast<size_t>(half),
                   perspective_of(position::kWhite, pos.king_square[position::kWhite], header.king_buckets),
                   perspective_of(position::kBlack, pos.king_square[position::kBlack], header.king_buckets)};
  bool incremental = accumulator.ply > 2 && finder.white.mirror == snapshot.white_mirror &&
                     finder.black.mirror == snapshot.black_mirror && finder.white.bucket == snapshot.white_bucket &&
                     finder.black.bucket == snapshot.black_bucket &&
                     position::popcount(snapshot.white[0] ^ white[0]) <= 6 &&
                     position::popcount(snapshot.black[0] ^ black[0]) <= 6;

  Changes changes;
  for (int type = position::kPawn; type <= position::kKing; ++type) {
    if (incremental) {
      finder.append(changes, snapshot.white[type] & ~white[type], position::kWhite, type, false);
      finder.append(changes, white[type] & ~snapshot.white[type], position::kWhite, type, true);
      finder.append(changes, snapshot.black[type] & ~black[type], position::kBlack, type, false);
      finder.append(changes, black[type] & ~snapshot.black[type], position::kBlack, type, true);
    } else {
      finder.append(changes, white[type], position::kWhite, type, true);
      finder.append(changes, black[type], position::kBlack, type, true);
    }
  }

  const int16_t* white_base = incremental ? snapshot.white_half : network.biases;
  const int16_t* black_base = incremental ? snapshot.black_half : network.biases + half;
  accumulator.output_sums[0] = apply(white_base, snapshot.white_half, accumulator.white_half, changes.white_rows,
                                     changes.adds, changes.count, half, accumulator.white_output_row);
  accumulator.output_sums[1] = apply(black_base, snapshot.black_half, accumulator.black_half, changes.black_rows,
                                     changes.adds, changes.count, half, accumulator.black_output_row);

  std::memcpy(snapshot.white, white, sizeof snapshot.white);
  std::memcpy(snapshot.black, black, sizeof snapshot.black);
  snapshot.occupancy = white[0] | black[0];
  snapshot.ply = accumulator.ply;
  snapshot.white_mirror = finder.white.mirror;
  snapshot.black_mirror = finder.black.mirror;
  snapshot.white_bucket = finder.white.bucket;
  snapshot.black_bucket = finder.black.bucket;
}

}  // namespace eval
