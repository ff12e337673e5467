#include "engine_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace {

long long now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

EngineProcess::EngineProcess(const std::vector<std::string>& arguments, const std::string& directory) {
  signal(SIGPIPE, SIG_IGN);
  if (directory.empty()) {
    char pattern[] = "/tmp/nesk-e2e-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    directory_ = pattern;
    own_directory_ = true;
  } else {
    directory_ = directory;
  }
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    dup2(output[1], STDERR_FILENO);
    close(input[0]);
    close(input[1]);
    close(output[0]);
    close(output[1]);
    if (chdir(directory_.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(NESK_BINARY));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(NESK_BINARY, argv.data());
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  to_engine_ = input[1];
  from_engine_ = output[0];
}

EngineProcess::~EngineProcess() {
  close_input();
  if (exit_status_ == -2 && wait_exit(3000) == -1 && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (from_engine_ >= 0) close(from_engine_);
  if (own_directory_) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

void EngineProcess::send_raw(const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(to_engine_, bytes.data() + written, bytes.size() - written);
    if (n <= 0) return;
    written += static_cast<size_t>(n);
  }
}

void EngineProcess::close_input() {
  if (to_engine_ >= 0) close(to_engine_);
  to_engine_ = -1;
}

std::optional<std::string> EngineProcess::read_line(int timeout_ms) {
  long long deadline = now_ms() + timeout_ms;
  for (;;) {
    size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    long long left = deadline - now_ms();
    if (left <= 0 || from_engine_ < 0) return std::nullopt;
    pollfd request{from_engine_, POLLIN, 0};
    if (poll(&request, 1, static_cast<int>(left)) <= 0) continue;
    char chunk[4096];
    ssize_t n = read(from_engine_, chunk, sizeof(chunk));
    if (n <= 0) {
      if (!buffer_.empty()) {
        std::string line = buffer_;
        buffer_.clear();
        return line;
      }
      return std::nullopt;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::vector<std::string> EngineProcess::read_until(const std::string& last, int timeout_ms) {
  std::vector<std::string> lines;
  long long deadline = now_ms() + timeout_ms;
  while (auto line = read_line(static_cast<int>(std::max(1LL, deadline - now_ms())))) {
    lines.push_back(*line);
    if (*line == last) return lines;
  }
  lines.clear();
  return lines;
}

std::vector<std::string> EngineProcess::read_available(int quiet_ms) {
  std::vector<std::string> lines;
  while (auto line = read_line(quiet_ms)) lines.push_back(*line);
  return lines;
}

int EngineProcess::wait_exit(int timeout_ms) {
  if (exit_status_ != -2) return exit_status_;
  long long deadline = now_ms() + timeout_ms;
  while (now_ms() < deadline) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return exit_status_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

std::string testdata_directory() {
  std::string path = NESK_TESTDATA;
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? path : std::string();
}
