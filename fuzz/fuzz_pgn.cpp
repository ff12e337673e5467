// Feeds PGN files to the book builder ("-mkbook"), in a directory of the harness's own so
// that its "tmp_book.bin" lands nowhere else, and checks the book it writes: whole 16-byte
// entries sorted by key, one entry per move of a position, best weight first, every weight
// positive, every move from one square to another.
#include <unistd.h>

#include <filesystem>
#include <set>

#include "book/build.h"
#include "fuzz_support.h"

namespace {

std::string work_directory, home_directory;

void remove_work_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(work_directory, ignored);
}

void check_book(const std::string& bytes) {
  if (bytes.size() % 16) nesk_fuzz::fail("book size not a multiple of 16:", std::to_string(bytes.size()));
  auto field = [&](size_t at, int length) {
    uint64_t value = 0;
    for (int i = 0; i < length; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
  };
  std::set<uint16_t> moves_of_key;
  for (size_t at = 0; at < bytes.size(); at += 16) {
    uint64_t key = field(at, 8);
    uint16_t move = static_cast<uint16_t>(field(at + 8, 2)), weight = static_cast<uint16_t>(field(at + 10, 2));
    std::string where = "entry " + std::to_string(at / 16);
    if (weight == 0) nesk_fuzz::fail("weight 0 at", where);
    if (field(at + 12, 4) != 0) nesk_fuzz::fail("learn field set at", where);
    if ((move & 63) == ((move >> 6) & 63) || (move >> 12) > 4) nesk_fuzz::fail("no such move at", where);
    if (at == 0 || field(at - 16, 8) != key) {
      if (at > 0 && field(at - 16, 8) > key) nesk_fuzz::fail("keys out of order at", where);
      moves_of_key.clear();
    } else if (field(at - 6, 2) < weight) {
      nesk_fuzz::fail("weights of a position out of order at", where);
    }
    if (!moves_of_key.insert(move).second) nesk_fuzz::fail("move twice for one position at", where);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  nesk_fuzz::start_engine();
  home_directory = std::filesystem::current_path().string();
  char pattern[] = "/tmp/nesk_fuzz_pgn_XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  work_directory = pattern;
  std::atexit(remove_work_directory);
  // The builder runs in the work directory: a crash there must still leave its input
  // where libFuzzer would otherwise put it, unless the command line says where.
  static std::vector<char*> arguments(*argv, *argv + *argc);
  static std::string prefix = "-artifact_prefix=" + home_directory + "/";
  bool given = false;
  for (char* a : arguments) given = given || std::strncmp(a, "-artifact_prefix=", 17) == 0;
  if (!given && !arguments.empty()) {
    arguments.insert(arguments.begin() + 1, prefix.data());
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (chdir(work_directory.c_str())) std::abort();
  std::FILE* pgn = std::fopen("games.pgn", "wb");
  if (!pgn) std::abort();
  if (size && std::fwrite(data, 1, size, pgn) != size) std::abort();
  std::fclose(pgn);
  if (book::build_book("games.pgn") != 0) nesk_fuzz::fail("the build failed");

  std::string bytes;
  if (std::FILE* book = std::fopen(book::kBuiltBookFile, "rb")) {
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, book)) > 0;) bytes.append(chunk, n);
    std::fclose(book);
  } else {
    nesk_fuzz::fail("no book written");
  }
  std::remove("games.pgn");
  std::remove(book::kBuiltBookFile);
  if (chdir(home_directory.c_str())) std::abort();
  check_book(bytes);
  return 0;
}
