// Drives the built engine through pipes, as a chess GUI does.
#pragma once

#include <optional>
#include <string>
#include <vector>

class EngineProcess {
 public:
  // Starts the engine with `arguments` in `directory` (a fresh temporary one when empty).
  explicit EngineProcess(const std::vector<std::string>& arguments = {}, const std::string& directory = "");
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Writes raw bytes to the engine's standard input.
  void send_raw(const std::string& bytes);
  // Writes a line and its newline.
  void send(const std::string& line) { send_raw(line + "\n"); }
  void close_input();

  // The next output line, or nothing when none arrives within the timeout.
  std::optional<std::string> read_line(int timeout_ms = 10000);
  // Lines up to and including the first one equal to `last`; empty if it never comes.
  std::vector<std::string> read_until(const std::string& last, int timeout_ms = 10000);
  // Every line that arrives within `quiet_ms` of the previous one.
  std::vector<std::string> read_available(int quiet_ms = 300);

  // Waits for the engine to end; returns its exit status, or -1 on timeout or signal.
  int wait_exit(int timeout_ms = 10000);

  const std::string& directory() const { return directory_; }

 private:
  int pid_ = -1;
  int to_engine_ = -1;
  int from_engine_ = -1;
  std::string buffer_;
  std::string directory_;
  bool own_directory_ = false;
  int exit_status_ = -2;
};

// Where the shared test data lives, or an empty text when it is not there.
std::string testdata_directory();
