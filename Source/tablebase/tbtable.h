// One table as the prober reads it: its material, its mapped files and the decoding
// records set up from a file's header when it is first probed.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tablebase {

enum TableKind : int { kWdl = 0, kDtm = 1, kDtz = 2 };

// Decodes the values of one stored side of one table file: a canonical Huffman code whose
// symbols expand, through a tree of symbol pairs, into runs of values.
struct PairsDecoder {
  const uint8_t* index_table = nullptr;  // 6 bytes an entry: block (u32), offset (u16)
  const uint8_t* size_table = nullptr;   // u16 an entry: values in the block minus one
  const uint8_t* data = nullptr;         // the blocks
  const uint8_t* offsets = nullptr;      // u16 per code length, from min_length
  const uint8_t* symbol_pairs = nullptr; // 3 bytes per symbol
  std::vector<uint64_t> base;            // per code length, from min_length
  std::vector<uint8_t> symbol_length;    // values in the symbol minus one
  uint64_t index_entries = 0;
  uint32_t blocks = 0;                   // real blocks
  uint32_t size_entries = 0;             // real plus extra blocks
  uint16_t symbols = 0;
  uint8_t flags = 0;
  uint8_t block_size = 0;                // log2 of a block's bytes
  uint8_t index_bits = 0;
  uint8_t min_length = 0;
  uint8_t max_length = 0;
  uint8_t single_value = 0;
  bool single = false;
};

struct DecodeRecord {
  uint8_t pieces[7] = {};   // piece codes in the stored order
  uint8_t norm[7] = {};     // size of each group, at the group's first position
  uint64_t factor[7] = {};
  uint64_t size = 0;        // positions indexed
  PairsDecoder pairs;
  bool present = false;
};

// Where a file's DTZ values are remapped, per WDL class.
struct DtzMaps {
  uint8_t flags = 0;
  uint32_t start[4] = {};   // first entry of each map, counted in map entries
  uint16_t count[4] = {};
};

struct TableEntry {
  uint64_t key = 0;
  const uint8_t* data[3] = {};
  size_t length[3] = {};
  // 0 unmapped, 1 ready, 2 unusable (missing or corrupt: the material was dropped).
  std::atomic<uint8_t> ready[3] = {};
  uint8_t pieces = 0;
  uint8_t symmetric = 0;
  uint8_t has_pawns = 0;
  uint8_t has_dtm = 0;
  uint8_t has_dtz = 0;
  uint8_t kk_enc = 0;
  uint8_t pawns[2] = {};        // leading colour's count first
  uint8_t counts[2][8] = {};    // [white, black][piece type], as the name gives them
  char name[16] = {};
  DecodeRecord wdl[4][2];       // [leading-pawn file][side]
  DecodeRecord dtz[4];
  DtzMaps dtz_maps[4];
  const uint8_t* dtz_map_data = nullptr;
};

// Sets up the decoding records of `kind` from a whole mapped file. Returns 0 when the
// file is not one the decoder can read safely: every offset, size and count it takes from
// the file is checked against `length` here, so that probing needs no checks.
int setup_table(TableEntry& entry, int kind, const uint8_t* data, size_t length);
// Drops the records of `kind` (before the file is unmapped).
void clear_records(TableEntry& entry, int kind);

// The stored value at `index`, 12 bits; -1 when the index lies outside the table.
int decode_value(const DecodeRecord& record, uint64_t index);

}  // namespace tablebase
