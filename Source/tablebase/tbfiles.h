// Finding the table files over the SyzygyPath directories, the registry of materials they
// cover, and mapping a file into memory the first time a probe needs it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tablebase/tbtable.h"

namespace tablebase {

// The most men a probe may have: 0 when no tables are loaded.
extern int TB_LARGEST;

// (Re)reads the directory list from the SyzygyPath setting and registers every table
// found; earlier mappings are released. Call only while no search runs.
void tb_init();
// 1 when the last tb_init read the path that SyzygyPath holds now.
int tb_path_is_current();
// 1 when name + extension exists in a listed directory with a size the format allows.
int tb_test_file(const char* name, const char* extension);
// An open read-only descriptor from the first directory that has the file, or -1.
int tb_open(const char* name, const char* extension);
void tb_unmap(const void* view, size_t length);

// The registry's key of a material: counts[colour][type] with colour 0 = white and the
// engine's piece types (pawn 1 .. queen 5). `flipped` exchanges the colours.
uint64_t material_key(const uint8_t counts[2][8], bool flipped);
// The entry registered under `key`, or null.
TableEntry* tb_find(uint64_t key);
// Makes `kind` of the entry ready on first use; 0 when the file is missing or damaged
// (the material is then dropped from the registry).
int tb_map_table(TableEntry& entry, int kind);

struct TableFileCounts {
  int wdl, dtm, dtz;
};
TableFileCounts tb_file_counts();

}  // namespace tablebase
