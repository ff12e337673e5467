// Tablebase probing speed: WDL and DTZ probes per second over the 200 positions of the
// shared expected list, with every file mapped before timing starts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/settings.h"
#include "position/bitboard.h"
#include "position/position.h"
#include "position/zobrist.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbsearch.h"

namespace {

using namespace tablebase;

const std::vector<TBPosition>& expected_positions() {
  static std::vector<TBPosition> positions = [] {
    position::init_tables();
    position::init_zobrist();
    std::string tables = std::string(NESK_TESTDATA) + "/syzygy";
    base::settings.syzygy_path = tables;
    tb_init();
    std::vector<TBPosition> list;
    std::ifstream in(tables + "/expected.epd");
    static position::Position pos{};
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || position::set_position(pos, line.substr(0, line.find(" wdl_table")).c_str())) continue;
      list.push_back(to_tb_position(pos, 0));
    }
    for (const TBPosition& t : list) {  // map every file now
      int success;
      probe_dtz(t, &success);
    }
    return list;
  }();
  return positions;
}

// Probes every expected position once per iteration with `probe`.
template <int (*probe)(const TBPosition&, int*)>
void probe_all(benchmark::State& state) {
  const std::vector<TBPosition>& positions = expected_positions();
  if (positions.empty()) return state.SkipWithError("shared tablebases not found");
  int64_t probes = 0;
  for (auto _ : state) {
    for (const TBPosition& t : positions) {
      int success;
      benchmark::DoNotOptimize(probe(t, &success));
    }
    probes += static_cast<int64_t>(positions.size());
  }
  state.counters["probes/s"] = benchmark::Counter(static_cast<double>(probes), benchmark::Counter::kIsRate);
}

void BM_ProbeWdl(benchmark::State& state) { probe_all<probe_wdl>(state); }
BENCHMARK(BM_ProbeWdl);

void BM_ProbeDtz(benchmark::State& state) { probe_all<probe_dtz>(state); }
BENCHMARK(BM_ProbeDtz);

}  // namespace
