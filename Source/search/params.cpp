#include "search/params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/output.h"
#include "base/settings.h"

namespace search {

SearchTables tables;

namespace {

int8_t rounded(double value) { return static_cast<int8_t>(std::lround(value)); }

}  // namespace

void build_search_tables() {
  const base::EngineSettings& s = base::settings;
  int selectivity = std::clamp<int>(s.selectivity, 20, 200);
  tables.fp_depth = s.pruning_depth[base::kFpDepth];
  tables.sep_depth = s.pruning_depth[base::kSepDepth];
  tables.nmp_depth = s.pruning_depth[base::kNmpDepth];
  tables.lmp_depth = s.pruning_depth[base::kLmpDepth];
  tables.lmr_depth = s.pruning_depth[base::kLmrDepth];

  float k = static_cast<float>(1.5 / (0.01 * selectivity + 0.5));
  for (int d = 0; d < 8; ++d) {
    tables.fp_margins[d] = static_cast<int16_t>(d > tables.fp_depth ? 9000 : static_cast<int>(d * (k * 110.0f)));
    tables.sep_margins[d] = static_cast<int16_t>(d > tables.sep_depth ? 9000 : static_cast<int>(d * (k * 60.0f)));
  }
  for (int d = 0; d < 32; ++d) {
    for (int m = 0; m < 32; ++m) {
      if (d < 3 || m < 1) {
        tables.lmr_pv[d][m] = tables.lmr_non_pv[d][m] = 0;
        continue;
      }
      float x = static_cast<float>((std::sqrt(static_cast<double>(m)) + std::sqrt(static_cast<double>(d))) *
                                       0.6499999761581421 -
                                   2.3921682834625244);
      float y = static_cast<float>(x + 1.1);
      double a = std::min<double>(x, m) * selectivity;
      double b = std::min<double>(y, m) * selectivity;
      double pv = a * 0.01 < 0 ? 0.0 : a > 300 ? 3.0 : a * 0.01;
      double non_pv = b * 0.01 < 0 ? 0.0 : b > 500 ? 5.0 : b * 0.01;
      tables.lmr_pv[d][m] = rounded(pv);
      tables.lmr_non_pv[d][m] = rounded(non_pv);
    }
  }
}

void print_search_tables() {
  std::string text;
  char part[48];
  auto add = [&text, &part](const char* format, int value) {
    std::snprintf(part, sizeof(part), format, value);
    text += part;
  };
  text += "FP_margins= ";
  for (int d = 1; d < 8; ++d) add(" %d", tables.fp_margins[d]);
  text += "\nSEP_margins= ";
  for (int d = 1; d < 8; ++d) add(" %d", tables.sep_margins[d]);
  add("\nNMP_depth= %d\n", tables.nmp_depth);
  add("LMR_depth= %d\n", tables.lmr_depth);
  text += "LMR table:";
  for (auto* table : {&tables.lmr_pv, &tables.lmr_non_pv}) {
    for (int d = 3; d < 32; ++d) {
      add("\n%2d  ", d);
      for (int m = 0; m < 32; ++m) add("%d ", (*table)[d][m]);
    }
    text += "\n\n";
  }
  base::emit_line(text.c_str());
}

}  // namespace search
