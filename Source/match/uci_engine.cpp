#include "match/uci_engine.h"

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace match {

namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t since(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

bool first_word_is(const std::string& line, const std::string& word) {
  std::istringstream in(line);
  std::string first;
  in >> first;
  return first == word;
}

}  // namespace

void read_info_line(const std::string& line, EngineScore& score) {
  std::istringstream in(line);
  std::string word;
  if (!(in >> word) || word != "info") return;
  EngineScore found = score;
  bool bound = false;
  while (in >> word) {
    if (word == "depth") {
      in >> found.depth;
    } else if (word == "score") {
      std::string kind;
      int value = 0;
      if (!(in >> kind >> value)) break;
      if (kind != "cp" && kind != "mate") continue;
      found.known = true;
      found.mate = kind == "mate";
      found.value = value;
    } else if (word == "lowerbound" || word == "upperbound") {
      bound = true;
    } else if (word == "pv" || word == "string") {
      break;
    }
  }
  // A bound from a failed window search says less than the last exact score.
  if (bound && score.known) found.value = score.value, found.mate = score.mate;
  score = found;
}

bool UciEngine::wait_for(const std::string& token, int64_t timeout_ms) {
  auto start = SteadyClock::now();
  std::string line;
  for (;;) {
    int64_t left = timeout_ms - since(start);
    if (left <= 0) return false;
    if (process_.read_line(line, left) != ChildProcess::ReadStatus::kLine) return false;
    if (first_word_is(line, token)) return true;
  }
}

bool UciEngine::start(int64_t timeout_ms, std::string& error) {
  if (!process_.start(setup_.command, setup_.directory, error)) return false;
  if (!process_.write_line("uci") || !wait_for("uciok", timeout_ms)) {
    error = "no uciok from " + setup_.name + " (" + process_.kill_now() + ")";
    return false;
  }
  for (const auto& [name, value] : setup_.options) process_.write_line("setoption name " + name + " value " + value);
  if (!process_.write_line("isready") || !wait_for("readyok", timeout_ms)) {
    error = "no readyok from " + setup_.name + " (" + process_.kill_now() + ")";
    return false;
  }
  return true;
}

bool UciEngine::new_game(int64_t timeout_ms) {
  return process_.write_line("ucinewgame") && process_.write_line("isready") && wait_for("readyok", timeout_ms);
}

MoveReply UciEngine::go(const std::string& position_command, const std::string& go_command, int64_t timeout_ms) {
  MoveReply reply;
  process_.write_line(position_command);
  auto start = SteadyClock::now();
  // A failed write shows as the closed output below.
  process_.write_line(go_command);
  std::string line;
  for (;;) {
    int64_t left = timeout_ms - since(start);
    auto status = left > 0 ? process_.read_line(line, left) : ChildProcess::ReadStatus::kTimeout;
    if (status == ChildProcess::ReadStatus::kTimeout) {
      reply.status = MoveReply::Status::kHang;
      reply.elapsed_ms = since(start);
      reply.detail = process_.kill_now();
      return reply;
    }
    if (status == ChildProcess::ReadStatus::kClosed) {
      reply.status = MoveReply::Status::kCrash;
      reply.elapsed_ms = since(start);
      reply.detail = process_.finish(500);
      return reply;
    }
    if (first_word_is(line, "info")) {
      read_info_line(line, reply.score);
    } else if (first_word_is(line, "bestmove")) {
      reply.elapsed_ms = since(start);
      std::istringstream in(line);
      std::string word;
      in >> word >> reply.move;
      reply.status = MoveReply::Status::kMove;
      return reply;
    }
  }
}

void UciEngine::quit() {
  if (!process_.running()) return;
  process_.write_line("quit");
  process_.finish(1000);
}

}  // namespace match
