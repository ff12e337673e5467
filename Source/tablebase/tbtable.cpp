#include "tablebase/tbtable.h"

#include <algorithm>

#include "tablebase/tbindex.h"

namespace tablebase {

namespace {

constexpr uint32_t kMagic[3] = {0x5D23E871, 0x88AC504B, 0xA50C66D7};
constexpr int kMaxSymbols = 4096;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint32_t read_be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
         static_cast<uint32_t>(p[3]);
}
uint64_t read_be64(const uint8_t* p) { return static_cast<uint64_t>(read_be32(p)) << 32 | read_be32(p + 4); }

// A cursor over the mapped file that never steps outside it.
struct Reader {
  const uint8_t* data;
  size_t length;
  size_t at;
  bool has(uint64_t n) const { return at <= length && n <= length - at; }
  const uint8_t* here() const { return data + at; }
  void align(size_t to) { at = (at + to - 1) / to * to; }
};

// Bytes of the sparse index, the size table and the blocks of one record.
struct Sizes {
  uint64_t index = 0, size = 0, data = 0;
};

// Which stored colour leads: the smaller non-zero pawn count, white on a tie.
int leading_colour(const TableEntry& entry) {
  int white = entry.counts[0][1], black = entry.counts[1][1];
  if (white == 0) return 1;
  if (black == 0 || white <= black) return 0;
  return 1;
}

bool valid_piece_code(int code) { return (code >= 1 && code <= 6) || (code >= 9 && code <= 14); }

// The record's piece list must be the entry's material, each kind of piece in one run, and
// the pieces the index places first must be what that encoding expects.
bool check_pieces(const TableEntry& entry, const DecodeRecord& record) {
  int n = entry.pieces;
  uint8_t seen[16] = {};
  for (int i = 0; i < n; ++i) {
    int code = record.pieces[i];
    if (!valid_piece_code(code)) return false;
    if (i > 0 && record.pieces[i - 1] != code && seen[code]) return false;
    ++seen[code];
  }
  for (int colour = 0; colour < 2; ++colour)
    for (int type = 1; type <= 6; ++type)
      if (seen[colour * 8 + type] != entry.counts[colour][type]) return false;
  if (!entry.has_pawns) {
    int first = entry.kk_enc ? 2 : 3;
    for (int i = 0; i < first; ++i)
      if (seen[record.pieces[i]] != 1) return false;
    return true;
  }
  int lead = leading_colour(entry);
  for (int i = 0; i < entry.pawns[0]; ++i)
    if (record.pieces[i] != lead * 8 + 1) return false;
  for (int i = 0; i < entry.pawns[1]; ++i)
    if (record.pieces[entry.pawns[0] + i] != (lead ^ 1) * 8 + 1) return false;
  return true;
}

// Group sizes and the factor of each group: the position index is a mixed-radix number
// whose digit order the file's order bytes give.
bool set_norm_and_factors(const TableEntry& entry, DecodeRecord& record, int order, int order2, int file) {
  int n = entry.pieces;
  std::fill(std::begin(record.norm), std::end(record.norm), 0);
  int i;
  if (!entry.has_pawns) {
    record.norm[0] = entry.kk_enc ? 2 : 3;
    i = record.norm[0];
  } else {
    record.norm[0] = entry.pawns[0];
    i = record.norm[0];
    if (entry.pawns[1]) {
      record.norm[i] = entry.pawns[1];
      i += entry.pawns[1];
    }
  }
  int placed = i;
  while (i < n) {
    int j = i + 1;
    while (j < n && record.pieces[j] == record.pieces[i]) ++j;
    record.norm[i] = static_cast<uint8_t>(j - i);
    i = j;
  }
  if (entry.has_pawns && entry.pawns[1] == 0) order2 = 15;
  if (entry.has_pawns && entry.pawns[1] != 0 && (order2 == 15 || order2 == order)) return false;
  uint64_t f = 1;
  int free_squares = 64 - placed;
  i = placed;
  for (int k = 0; i < n || k == order || k == order2; ++k) {
    if (k > 8) return false;
    if (k == order) {
      record.factor[0] = f;
      if (!entry.has_pawns) f *= entry.kk_enc ? 462 : 31332;
      else f *= PawnFactorFile[record.norm[0] - 1][file];
    } else if (entry.has_pawns && k == order2) {
      record.factor[record.norm[0]] = f;
      f *= Binomial[record.norm[record.norm[0]]][48 - record.norm[0]];
    } else {
      if (i >= n) return false;
      record.factor[i] = f;
      f *= Binomial[record.norm[i]][free_squares];
      free_squares -= record.norm[i];
      i += record.norm[i];
    }
  }
  record.size = f;
  return f > 0;
}

// Symbol lengths from the pair tree, refusing references out of range and cycles.
bool set_symbol_lengths(PairsDecoder& d) {
  d.symbol_length.assign(d.symbols, 0);
  std::vector<uint8_t> state(d.symbols, 0);  // 0 new, 1 open, 2 done
  std::vector<int> stack;
  for (int s = 0; s < d.symbols; ++s) {
    if (state[s] == 2) continue;
    stack.push_back(s);
    while (!stack.empty()) {
      int t = stack.back();
      const uint8_t* w = d.symbol_pairs + 3 * t;
      int left = ((w[1] & 15) << 8) | w[0];
      int right = (w[2] << 4) | (w[1] >> 4);
      if (right == 0xFFF) {
        state[t] = 2;
        stack.pop_back();
        continue;
      }
      if (left >= d.symbols || right >= d.symbols) return false;
      state[t] = 1;
      bool pushed = false;
      for (int child : {left, right}) {
        if (state[child] == 1) return false;
        if (state[child] == 0) {
          stack.push_back(child);
          pushed = true;
        }
      }
      if (pushed) continue;
      int length = d.symbol_length[left] + d.symbol_length[right] + 1;
      if (length > 255) return false;
      d.symbol_length[t] = static_cast<uint8_t>(length);
      state[t] = 2;
      stack.pop_back();
    }
  }
  return true;
}

// Code bases from the per-length symbol offsets; every code the decoder can meet must name
// an existing symbol.
bool set_code_bases(PairsDecoder& d) {
  int h = d.max_length - d.min_length + 1;
  std::vector<int64_t> base(h);
  base[h - 1] = 0;
  for (int i = h - 2; i >= 0; --i) {
    int64_t v = base[i + 1] + read16(d.offsets + 2 * i) - read16(d.offsets + 2 * (i + 1));
    if (v < 0) return false;
    base[i] = v / 2;
  }
  d.base.assign(h, 0);
  for (int i = 0; i < h; ++i) {
    int length = d.min_length + i;
    if (base[i] >= (int64_t{1} << length)) return false;
    d.base[i] = static_cast<uint64_t>(base[i]) << (64 - length);
  }
  for (int i = 0; i < h; ++i) {
    int length = d.min_length + i;
    uint64_t top = i == 0 ? ~uint64_t{0} : d.base[i - 1];
    if (i > 0 && top <= d.base[i]) continue;  // no code of this length can be read
    if (i > 0) --top;
    uint64_t largest = read16(d.offsets + 2 * i) + ((top - d.base[i]) >> (64 - length));
    if (largest >= d.symbols) return false;
  }
  return true;
}

bool setup_pairs(Reader& in, PairsDecoder& d, uint64_t positions, int kind, Sizes& sizes) {
  sizes = Sizes{};
  if (!in.has(2)) return false;
  const uint8_t* h = in.here();
  d.flags = h[0];
  if (h[0] & 0x80) {
    d.single = true;
    d.single_value = kind == kDtz ? 0 : h[1];
    in.at += 2;
    return kind != kWdl || d.single_value <= 4;
  }
  if (!in.has(12)) return false;
  d.single = false;
  d.block_size = h[1];
  d.index_bits = h[2];
  int extra = h[3];
  d.blocks = read32(h + 4);
  d.max_length = h[8];
  d.min_length = h[9];
  if (d.block_size < 3 || d.block_size > 30) return false;
  if (d.index_bits < 1 || d.index_bits > 40) return false;
  if (d.min_length < 1 || d.max_length < d.min_length || d.max_length > 32) return false;
  int lengths = d.max_length - d.min_length + 1;
  if (!in.has(12 + 2 * lengths)) return false;
  d.offsets = h + 10;
  d.symbols = read16(h + 10 + 2 * lengths);
  if (d.symbols == 0 || d.symbols >= kMaxSymbols) return false;
  if (!in.has(12 + 2 * lengths + 3 * uint64_t{d.symbols})) return false;
  d.symbol_pairs = h + 12 + 2 * lengths;
  if (!set_symbol_lengths(d) || !set_code_bases(d)) return false;
  if (kind == kWdl) {
    for (int s = 0; s < d.symbols; ++s)
      if (d.symbol_length[s] == 0 && (((d.symbol_pairs[3 * s + 1] & 15) << 8) | d.symbol_pairs[3 * s]) > 4)
        return false;
  }
  d.index_entries = (positions + (uint64_t{1} << d.index_bits) - 1) >> d.index_bits;
  d.size_entries = d.blocks + static_cast<uint32_t>(extra);
  sizes.index = 6 * d.index_entries;
  sizes.size = 2 * uint64_t{d.size_entries};
  sizes.data = uint64_t{d.blocks} << d.block_size;
  in.at += 12 + 2 * lengths + 3 * d.symbols + (d.symbols & 1);
  return true;
}

// Every sparse-index entry must lead the block walk to a value inside the real blocks
// for each position it covers.
bool check_index(const DecodeRecord& record) {
  const PairsDecoder& d = record.pairs;
  if (d.single) return true;
  // The last entries may point into the extra blocks past the real ones; the walk then
  // steps back through their sizes.
  std::vector<uint64_t> first(uint64_t{d.size_entries} + 1, 0);
  for (uint32_t b = 0; b < d.size_entries; ++b) first[b + 1] = first[b] + read16(d.size_table + 2 * b) + 1;
  uint64_t total = first[d.blocks];
  int64_t half = int64_t{1} << (d.index_bits - 1);
  for (uint64_t i = 0; i < d.index_entries; ++i) {
    const uint8_t* entry = d.index_table + 6 * i;
    uint32_t block = read32(entry);
    if (block >= d.size_entries) return false;
    int64_t centre = static_cast<int64_t>(first[block]) + read16(entry + 4);
    uint64_t low = i << d.index_bits;
    uint64_t high = std::min(low + (uint64_t{1} << d.index_bits), record.size) - 1;
    if (centre - half < 0) return false;
    if (centre - half + static_cast<int64_t>(high - low) >= static_cast<int64_t>(total)) return false;
  }
  return true;
}

// Reads the order bytes and piece lists of every encoding file into `records`
// ([file * 2 + side]); `sides` is 2 when the high nibbles describe a second side.
bool read_piece_lists(Reader& in, TableEntry& entry, DecodeRecord* records, int files, int sides) {
  int n = entry.pieces;
  bool second_order = entry.has_pawns && entry.pawns[1] != 0;
  for (int f = 0; f < files; ++f) {
    int bytes = 1 + (second_order ? 1 : 0) + n;
    if (!in.has(bytes)) return false;
    const uint8_t* p = in.here();
    for (int side = 0; side < sides; ++side) {
      DecodeRecord& r = records[f * 2 + side];
      int shift = side ? 4 : 0;
      int order = (p[0] >> shift) & 15;
      int order2 = second_order ? (p[1] >> shift) & 15 : 15;
      for (int i = 0; i < n; ++i) r.pieces[i] = static_cast<uint8_t>((p[1 + (second_order ? 1 : 0) + i] >> shift) & 15);
      if (!check_pieces(entry, r) || !set_norm_and_factors(entry, r, order, order2, f)) return false;
      r.present = true;
    }
    in.at += bytes;
  }
  in.align(2);
  return true;
}

// Lays out the sparse indexes, size tables and blocks of `count` records in file order.
bool place_data(Reader& in, DecodeRecord** records, const Sizes* sizes, int count) {
  for (int r = 0; r < count; ++r) {
    if (!in.has(sizes[r].index)) return false;
    records[r]->pairs.index_table = in.here();
    in.at += sizes[r].index;
  }
  for (int r = 0; r < count; ++r) {
    if (!in.has(sizes[r].size)) return false;
    records[r]->pairs.size_table = in.here();
    in.at += sizes[r].size;
  }
  for (int r = 0; r < count; ++r) {
    in.align(64);
    if (!in.has(sizes[r].data)) return false;
    records[r]->pairs.data = in.here();
    in.at += sizes[r].data;
  }
  for (int r = 0; r < count; ++r)
    if (!check_index(*records[r])) return false;
  return true;
}

bool setup_wdl(TableEntry& entry, Reader& in) {
  bool split = in.data[4] & 1;
  int files = entry.has_pawns ? 4 : 1;
  int sides = split ? 2 : 1;
  DecodeRecord flat[8];
  in.at = 5;
  if (!read_piece_lists(in, entry, flat, files, sides)) return false;
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides; ++side) entry.wdl[f][side] = flat[f * 2 + side];
  DecodeRecord* order[8];
  Sizes sizes[8];
  int count = 0;
  for (int f = 0; f < files; ++f)
    for (int side = 0; side < sides; ++side) {
      DecodeRecord& r = entry.wdl[f][side];
      if (!setup_pairs(in, r.pairs, r.size, kWdl, sizes[count])) return false;
      order[count++] = &r;
    }
  return place_data(in, order, sizes, count);
}

bool read_dtz_maps(Reader& in, TableEntry& entry, int files) {
  for (int f = 0; f < files; ++f) {
    DtzMaps& maps = entry.dtz_maps[f];
    maps.flags = entry.dtz[f].pairs.flags;
    if (!(maps.flags & 2)) continue;
    bool wide = maps.flags & 16;
    if (wide) in.align(2);
    for (int m = 0; m < 4; ++m) {
      int width = wide ? 2 : 1;
      if (!in.has(width)) return false;
      int count = wide ? read16(in.here()) : in.here()[0];
      in.at += width;
      if (!in.has(uint64_t(count) * width)) return false;
      maps.start[m] = static_cast<uint32_t>(in.at);
      maps.count[m] = static_cast<uint16_t>(count);
      in.at += uint64_t(count) * width;
    }
  }
  in.align(2);
  return true;
}

bool setup_dtz(TableEntry& entry, Reader& in) {
  int files = entry.has_pawns ? 4 : 1;
  DecodeRecord flat[8];
  in.at = 5;
  if (!read_piece_lists(in, entry, flat, files, 1)) return false;
  for (int f = 0; f < files; ++f) entry.dtz[f] = flat[f * 2];
  DecodeRecord* order[4];
  Sizes sizes[4];
  for (int f = 0; f < files; ++f) {
    if (!setup_pairs(in, entry.dtz[f].pairs, entry.dtz[f].size, kDtz, sizes[f])) return false;
    order[f] = &entry.dtz[f];
  }
  if (!read_dtz_maps(in, entry, files)) return false;
  entry.dtz_map_data = in.data;
  return place_data(in, order, sizes, files);
}

}  // namespace

int setup_table(TableEntry& entry, int kind, const uint8_t* data, size_t length) {
  if (kind != kWdl && kind != kDtz) return 0;
  if (length < 6 || read32(data) != kMagic[kind]) return 0;
  Reader in{data, length, 0};
  bool ok = kind == kWdl ? setup_wdl(entry, in) : setup_dtz(entry, in);
  if (!ok) clear_records(entry, kind);
  return ok;
}

void clear_records(TableEntry& entry, int kind) {
  if (kind == kWdl) {
    for (auto& file : entry.wdl)
      for (DecodeRecord& r : file) r = DecodeRecord{};
  } else if (kind == kDtz) {
    for (DecodeRecord& r : entry.dtz) r = DecodeRecord{};
    for (DtzMaps& m : entry.dtz_maps) m = DtzMaps{};
    entry.dtz_map_data = nullptr;
  }
}

int decode_value(const DecodeRecord& record, uint64_t index) {
  const PairsDecoder& d = record.pairs;
  if (index >= record.size) return -1;
  if (d.single) return d.single_value;
  uint64_t main = index >> d.index_bits;
  int64_t lit = static_cast<int64_t>(index & ((uint64_t{1} << d.index_bits) - 1)) - (int64_t{1} << (d.index_bits - 1));
  const uint8_t* entry = d.index_table + 6 * main;
  uint32_t block = read32(entry);
  lit += read16(entry + 4);
  while (lit < 0) {
    --block;
    lit += read16(d.size_table + 2 * block) + 1;
  }
  while (lit > read16(d.size_table + 2 * block)) {
    lit -= read16(d.size_table + 2 * block) + 1;
    ++block;
  }
  // The block is a big-endian bit stream of codes; bits past its end read as zeros, which
  // a sound block never needs and a damaged one cannot use to leave the mapping.
  const uint8_t* bytes = d.data + (uint64_t{block} << d.block_size);
  uint64_t block_bytes = uint64_t{1} << d.block_size;
  uint64_t next = 8;
  uint64_t code = read_be64(bytes);
  int consumed = 0;
  int symbol;
  for (;;) {
    int l = 0;
    while (code < d.base[l]) ++l;
    int length = d.min_length + l;
    symbol = read16(d.offsets + 2 * l) + static_cast<int>((code - d.base[l]) >> (64 - length));
    if (lit <= d.symbol_length[symbol]) break;
    lit -= d.symbol_length[symbol] + 1;
    code <<= length;
    consumed += length;
    if (consumed >= 32) {
      consumed -= 32;
      uint64_t word = next + 4 <= block_bytes ? read_be32(bytes + next) : 0;
      next += 4;
      code |= word << consumed;
    }
  }
  while (d.symbol_length[symbol]) {
    const uint8_t* w = d.symbol_pairs + 3 * symbol;
    int left = ((w[1] & 15) << 8) | w[0];
    if (lit <= d.symbol_length[left]) {
      symbol = left;
    } else {
      lit -= d.symbol_length[left] + 1;
      symbol = (w[2] << 4) | (w[1] >> 4);
    }
  }
  const uint8_t* w = d.symbol_pairs + 3 * symbol;
  return ((w[1] & 15) << 8) | w[0];
}

}  // namespace tablebase
