// Damaged table files: a real table from the shared test data, chosen by the first input
// byte, optionally cut short, with the rest of the input applied as byte edits (three
// bytes of offset, one of XOR; offsets with the top bit set land in the first kilobyte,
// where the headers are). The 200 positions of the expected list are then probed: the
// damaged material must be refused or answer values in range, never read outside its file.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "tablebase/tbfiles.h"
#include "tablebase/tbprobe.h"
#include "tablebase/tbmoves.h"
#include "tablebase/tbsearch.h"

namespace {

using namespace tablebase;

const char* const kNames[] = {"KQvKR.rtbw", "KQvKR.rtbz", "KPvKP.rtbw", "KPvKP.rtbz", "KRPvK.rtbw",
                              "KRPvK.rtbz", "KBBvK.rtbw", "KBNvK.rtbz", "KRvK.rtbw",  "KNvKP.rtbz"};
constexpr int kFiles = sizeof(kNames) / sizeof(kNames[0]);

std::string originals[kFiles];
std::vector<TBPosition> positions[kFiles];  // of each file's material
std::string directory;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
  std::fclose(file);
}

uint64_t key_of_name(const char* name, bool flipped) {
  uint8_t counts[2][8] = {};
  int colour = 0;
  for (const char* p = name; *p && *p != '.'; ++p) {
    if (*p == 'v') colour = 1;
    else if (const char* at = std::strchr("PNBRQ", *p)) ++counts[colour][1 + (at - "PNBRQ")];
  }
  return material_key(counts, flipped);
}

bool same_material(const TBPosition& t, const char* name) {
  uint64_t key = material_key(t, false);
  return key == key_of_name(name, false) || key == key_of_name(name, true);
}

// Legal placements of the named material, both sides to move, from a fixed seed: they
// reach index entries and blocks all over the file.
void add_random_positions(const char* name, std::vector<TBPosition>& out) {
  uint32_t seed = 12345;
  auto next = [&seed]() { return seed = seed * 1103515245 + 12345, (seed >> 8) & 63; };
  for (int made = 0, tries = 0; made < 96 && tries < 100000; ++tries) {
    TBPosition t{};
    uint64_t occupied = 0;
    bool ok = true;
    int colour = 1;
    for (const char* p = name; *p != '.' && ok; ++p) {
      if (*p == 'v') {
        colour = 0;
        continue;
      }
      int square = static_cast<int>(next());
      uint64_t b = uint64_t{1} << square;
      if ((occupied & b) || (*p == 'P' && (square < 8 || square >= 56))) {
        ok = false;
        break;
      }
      occupied |= b;
      (colour ? t.white : t.black) |= b;
      switch (*p) {
        case 'K': t.kings |= b; break;
        case 'Q': t.queens |= b; break;
        case 'R': t.rooks |= b; break;
        case 'B': t.bishops |= b; break;
        case 'N': t.knights |= b; break;
        default: t.pawns |= b; break;
      }
    }
    if (!ok) continue;
    t.turn = static_cast<uint8_t>(made & 1);
    TBPosition other = t;
    other.turn ^= 1;
    if (tb_is_check(other)) continue;  // the side not to move may not be in check
    out.push_back(t);
    ++made;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  std::string tables = std::string(NESK_TESTDATA) + "/syzygy";
  for (int i = 0; i < kFiles; ++i) {
    originals[i] = read_file(tables + "/" + kNames[i]);
    if (originals[i].empty()) {
      std::fprintf(stderr, "fuzz_tablebase needs the shared tables in %s\n", tables.c_str());
      std::exit(1);
    }
  }
  std::ifstream in(tables + "/expected.epd");
  static position::Position pos{};
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    std::string fen = line.substr(0, line.find(" wdl_table"));
    if (position::set_position(pos, fen.c_str()) != 0) continue;
    TBPosition t = to_tb_position(pos, 0);
    for (int i = 0; i < kFiles; ++i)
      if (same_material(t, kNames[i])) positions[i].push_back(t);
  }
  for (int i = 0; i < kFiles; ++i) add_random_positions(kNames[i], positions[i]);
  directory = "/tmp/nesk_fuzz_tb_" + std::to_string(getpid());
  mkdir(directory.c_str(), 0755);
  // Both files of every material: a DTZ file is only found beside its WDL file.
  for (const char* name : kNames)
    for (const char* extension : {".rtbw", ".rtbz"}) {
      std::string base = std::string(name).substr(0, std::strlen(name) - 5);
      write_file(directory + "/" + base + extension, read_file(tables + "/" + base + extension));
    }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int which = data[0] % kFiles;
  std::string bytes = originals[which];
  if (data[1] & 1) {
    size_t keep = bytes.size() * data[1] / 256;
    bytes.resize(keep / 64 * 64 + 16);
  }
  for (size_t at = 2; at + 4 <= size; at += 4) {
    uint32_t offset = data[at] | data[at + 1] << 8 | (data[at + 2] & 0x7F) << 16;
    size_t span = (data[at + 2] & 0x80) ? std::min<size_t>(1024, bytes.size()) : bytes.size();
    bytes[offset % span] = static_cast<char>(bytes[offset % span] ^ data[at + 3]);
  }
  std::string path = directory + "/" + kNames[which];
  write_file(path, bytes);

  base::settings.syzygy_path = directory;
  tb_init();
  for (const TBPosition& p : positions[which]) {
    int success;
    int wdl = probe_wdl(p, &success);
    if (success && (wdl < -2 || wdl > 2)) nesk_fuzz::fail("WDL out of range", std::to_string(wdl));
    if (success) probe_dtz(p, &success);
  }
  write_file(path, originals[which]);
  return 0;
}
