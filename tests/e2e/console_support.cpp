#include "console_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace e2e {

namespace {

constexpr const char* kMarker = "sync";
constexpr const char* kMarkerReply = "invalid: sync";
constexpr int kReplyTimeoutMs = 20000;

}  // namespace

Lines diagram(const std::string& fen_with_counters) {
  std::istringstream fields(fen_with_counters);
  std::string placement, side;
  fields >> placement >> side;

  // One character per square, rank 8 first: the piece letter (black pawns as "o"), or
  // for an empty square "+" when rank and file have the same parity (a1 is "+").
  Lines lines{fen_with_counters};
  std::istringstream ranks(placement);
  std::string rank_text;
  for (int rank = 7; std::getline(ranks, rank_text, '/'); --rank) {
    std::string row(1, ' ');
    int file = 0;
    for (char c : rank_text) {
      int count = (c >= '1' && c <= '8') ? c - '0' : 1;
      for (; count > 0; --count, ++file) {
        row.push_back(' ');
        if (c >= '1' && c <= '8') row.push_back(rank % 2 == file % 2 ? '+' : '-');
        else row.push_back(c == 'p' ? 'o' : c);
      }
    }
    lines.push_back(row);
  }
  lines.push_back(side == "w" ? "white" : "black");
  lines.push_back("");
  return lines;
}

Lines start_diagram() { return diagram("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0"); }

Lines join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Lines moved(const std::string& announcement, const std::string& fen_with_counters) {
  return join({{announcement}, diagram(fen_with_counters)});
}

Console::Console() : engine_({"-c"}) { startup_ = collect(); }

Lines Console::run(const Lines& commands) {
  for (const std::string& command : commands) engine_.send(command);
  return collect();
}

Lines Console::run_raw(const std::string& bytes) {
  engine_.send_raw(bytes);
  return collect();
}

Lines Console::collect() {
  engine_.send(kMarker);
  Lines lines;
  while (auto line = engine_.read_line(kReplyTimeoutMs)) {
    if (*line == kMarkerReply) return lines;
    lines.push_back(*line);
  }
  std::string seen;
  for (const std::string& line : lines) seen += "\n  " + line;
  ADD_FAILURE() << "the engine stopped answering; lines seen before:" << seen;
  return lines;
}

}  // namespace e2e
