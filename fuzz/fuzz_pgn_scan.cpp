// Feeds PGN files to the two readers of played games: "-scan_pgn", which turns every game
// into labelled EPD lines, and the console's "load", which finds a game by a header text
// and replays it on the board. The scan's output must be whole lines, each a position
// that sets up again with a result of 0, 0.5 or 1; after a load the board must be a
// position whose FEN sets up again into the same key.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "base/failure.h"
#include "position/zobrist.h"
#include "tools/pgn_scan.h"

namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void check_scan_output(const std::string& text) {
  if (text.empty() || text.back() != '\n') nesk_fuzz::fail("scan output does not end with a line end");
  std::istringstream lines(text);
  position::Position pos{};
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    size_t ce = line.find(" ce ");
    std::string fen = line.substr(0, ce);
    if (position::set_position(pos, fen.c_str()) != 0) nesk_fuzz::fail("scan wrote a position that does not set up:", line);
    if (ce == std::string::npos) continue;  // the Annotator's eval= form: the FEN alone
    int value = 0;
    double result = -1;
    if (std::sscanf(line.c_str() + ce, " ce %d; gr %lf;", &value, &result) != 2)
      nesk_fuzz::fail("scan wrote a line without its labels:", line);
    if (result != 0.0 && result != 0.5 && result != 1.0) nesk_fuzz::fail("result out of range:", line);
    if (value < -9900 || value > 9900) nesk_fuzz::fail("evaluation out of range:", line);
  }
}

// The tag "load" looks for: the text after the first "[" of the input, 3 to 8 characters
// up to a blank, or "Event" when there is none.
std::string tag_of(const std::string& bytes) {
  size_t open = bytes.find('[');
  std::string tag;
  for (size_t i = open == std::string::npos ? bytes.size() : open + 1; i < bytes.size() && tag.size() < 8; ++i) {
    char c = bytes[i];
    if (c <= ' ' || c > '~') break;
    tag += c;
  }
  return tag.size() >= 3 ? tag : "Event";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  position::init_zobrist();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(0);
  base::set_quiet();
  std::string pgn = nesk_fuzz::write_temp_file("games.pgn", data, size);
  std::string epd = pgn.substr(0, pgn.size() - 4) + ".epd";
  // Whatever the bytes, a readable file with proper names scans: only a fault fails.
  if (tools::scan_pgn_file({pgn, epd}) != base::kToolSucceeded) nesk_fuzz::fail("the scan failed");
  check_scan_output(read_all(epd));
  std::remove(epd.c_str());

  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string command = "load " + pgn + " " + tag_of(bytes);
  shell::console_command(command.c_str());
  position::Position& pos = shell::game_position();  // where "load" put the game
  char fen[128];
  position::write_fen(pos, fen, 0);
  position::Position again{};
  if (position::set_position(again, fen) != 0 || again.key != pos.key)
    nesk_fuzz::fail("the loaded board does not set up again from its FEN:", fen);
  std::remove(pgn.c_str());
  return 0;
}
