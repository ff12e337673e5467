#include "match/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace match {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The program file for `name`: itself when it holds a slash, else the first executable
// of that name on PATH. Looked up before the fork, so the child only calls exec.
std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t at = 0;
  while (at <= dirs.size()) {
    size_t end = dirs.find(':', at);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = (end > at ? dirs.substr(at, end - at) : std::string(".")) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    at = end + 1;
  }
  return name;
}

std::string describe_status(int status) {
  if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "stopped";
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (running()) kill_now();
}

bool ChildProcess::start(const std::vector<std::string>& arguments, const std::string& directory, std::string& error) {
  if (arguments.empty()) {
    error = "no command";
    return false;
  }
  std::string program = find_program(arguments[0]);
  if (access(program.c_str(), X_OK) != 0) {
    error = "cannot run " + arguments[0];
    return false;
  }
  if (!directory.empty() && access(directory.c_str(), X_OK) != 0) {
    error = "no directory " + directory;
    return false;
  }
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // Close-on-exec ends, so that engines started by other threads never hold them open.
  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (pipe2(output, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    close(input[0]);
    close(input[1]);
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    error = std::strerror(errno);
    for (int fd : {input[0], input[1], output[0], output[1]}) close(fd);
    return false;
  }
  if (pid == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  pid_ = pid;
  to_child_ = input[1];
  from_child_ = output[0];
  buffer_.clear();
  return true;
}

bool ChildProcess::write_line(const std::string& line) {
  if (to_child_ < 0) return false;
  std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(to_child_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

ChildProcess::ReadStatus ChildProcess::read_line(std::string& line, int64_t timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    size_t newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return ReadStatus::kLine;
    }
    if (from_child_ < 0) return ReadStatus::kClosed;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    if (left <= 0) return ReadStatus::kTimeout;
    pollfd p{from_child_, POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left > 1000000 ? 1000000 : left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char chunk[4096];
    ssize_t n = read(from_child_, chunk, sizeof(chunk));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(from_child_);
      from_child_ = -1;
      if (!buffer_.empty()) {  // a last line without its newline
        buffer_ += '\n';
        continue;
      }
      return ReadStatus::kClosed;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::string ChildProcess::reap(bool block) {
  int status = 0;
  pid_t done;
  do {
    done = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return "";
  pid_ = -1;
  for (int* fd : {&to_child_, &from_child_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  return done < 0 ? "lost" : describe_status(status);
}

std::string ChildProcess::kill_now() {
  if (!running()) return "not running";
  std::string ended = reap(false);
  if (!ended.empty()) return ended;
  kill(pid_, SIGKILL);
  reap(true);
  return "killed";
}

std::string ChildProcess::finish(int64_t timeout_ms) {
  if (!running()) return "not running";
  if (to_child_ >= 0) {
    close(to_child_);
    to_child_ = -1;
  }
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  while (SteadyClock::now() < deadline) {
    std::string ended = reap(false);
    if (!ended.empty()) return ended;
    usleep(5000);
  }
  return kill_now();
}

}  // namespace match
