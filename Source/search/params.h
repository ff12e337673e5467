// The settings that steer forward pruning and reductions, and the tables derived from
// them at the start of every search.
#pragma once

#include <cstdint>

namespace search {

struct SearchTables {
  int16_t fp_margins[8];
  int16_t sep_margins[8];
  int8_t lmr_pv[32][32];
  int8_t lmr_non_pv[32][32];
  // The pruning depths in force for this search.
  int fp_depth, sep_depth, nmp_depth, lmp_depth, lmr_depth;
};

extern SearchTables tables;

// Rebuilds the tables from the settings (Selectivity and the pruning depths).
void build_search_tables();

// The listing of the "lmr" and "_show" commands.
void print_search_tables();

}  // namespace search
