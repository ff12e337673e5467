// A child process joined by pipes to its standard input and output, read line by line
// with a deadline.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace match {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `arguments` (the first is the program, found on PATH without a slash) in
  // `directory` (the current one when empty). Returns false with `error` set on failure.
  bool start(const std::vector<std::string>& arguments, const std::string& directory, std::string& error);
  bool running() const { return pid_ > 0; }

  // Writes a line and its newline; false when the process no longer reads.
  bool write_line(const std::string& line);

  enum class ReadStatus { kLine, kTimeout, kClosed };
  // The next line within `timeout_ms` (carriage returns dropped).
  ReadStatus read_line(std::string& line, int64_t timeout_ms);

  // Ends the process at once and collects it. Returns how it ended ("exit code 3",
  // "signal 11"), or "killed" when this call ended it.
  std::string kill_now();
  // Closes its input, waits up to `timeout_ms` for the process to end by itself, then
  // kills it. Returns how it ended, as kill_now does.
  std::string finish(int64_t timeout_ms);

 private:
  std::string reap(bool block);

  pid_t pid_ = -1;
  int to_child_ = -1;
  int from_child_ = -1;
  std::string buffer_;
};

}  // namespace match
