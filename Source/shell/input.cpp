#include "shell/input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "shell/console.h"
#include "base/output.h"
#include "base/settings.h"
#include "shell/uci.h"

namespace shell {

using namespace base;

namespace {

constexpr int kPendingSize = 5000;
constexpr char kLineEnd = '@';  // NUL, LF and CR all become this, and it ends a line
constexpr int kIdleWaitMs = 1000;

char pending[kPendingSize];
int pending_length = 0;
bool end_of_input = false;
bool discarding = false;  // the rest of an overlong line is being skipped

// Moves whatever waits on standard input into the pending text, without blocking.
void fill_pending() {
  if (end_of_input || pending_length == kPendingSize) return;
  pollfd request{STDIN_FILENO, POLLIN, 0};
  if (poll(&request, 1, 0) <= 0) return;
  if (request.revents & POLLNVAL) {
    end_of_input = true;
    return;
  }
  ssize_t count = read(STDIN_FILENO, pending + pending_length, kPendingSize - pending_length);
  if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
    end_of_input = true;
    return;
  }
  if (count < 0) return;
  for (ssize_t i = 0; i < count; ++i) {
    char& c = pending[pending_length + i];
    if (c == 0 || c == '\n' || c == '\r') c = kLineEnd;
  }
  pending_length += static_cast<int>(count);
}

void drop_front(int count) {
  while (count < pending_length && pending[count] == kLineEnd) ++count;
  std::memmove(pending, pending + count, pending_length - count);
  pending_length -= count;
}

void report_overlong() { report("input line too long, ignored"); }

}  // namespace

void report(const char* text) {
  char line[320];
  std::snprintf(line, sizeof(line), "%s%s", settings.uci_mode == 1 ? "info string " : "", text);
  emit_line(line);
}

int read_line(char* line) {
  line[0] = 0;
  for (;;) {
    fill_pending();
    char* end = static_cast<char*>(std::memchr(pending, kLineEnd, pending_length));
    if (!end) {
      if (pending_length == kPendingSize) {
        if (!discarding) report_overlong();
        discarding = true;
        pending_length = 0;
        continue;
      }
      if (!end_of_input || pending_length == 0) return 0;
      end = pending + pending_length;  // a last line without its line end
    }
    int length = static_cast<int>(end - pending);
    if (discarding || length > kMaxLineLength) {
      if (!discarding) report_overlong();
      discarding = false;
      drop_front(length);
      continue;
    }
    std::memcpy(line, pending, length);
    line[length] = 0;
    drop_front(length);
    return 1;
  }
}

int wait_for_line(char* line) {
  while (!read_line(line)) {
    if (input_finished()) return 0;
    wait_for_input(kIdleWaitMs);
  }
  return 1;
}

void wait_for_input(int timeout_ms) {
  if (end_of_input || std::memchr(pending, kLineEnd, pending_length)) return;
  pollfd request{STDIN_FILENO, POLLIN, 0};
  poll(&request, 1, timeout_ms);
}

int input_finished() { return end_of_input && pending_length == 0 ? 1 : 0; }

bool quit_at_end_of_input = false;

namespace {

// Takes at most one line and hands it to the UCI or the console command set.
void take_one_line(void (*uci)(const char*), void (*console)(const char*)) {
  char line[kMaxLineLength + 1];
  if (!read_line(line)) {
    if (input_finished() && quit_at_end_of_input) settings.quit = 1;
    return;
  }
  if (!line[0]) return;
  if (settings.uci_mode != 1 && std::strcmp(line, "uci") != 0) {
    if (settings.uci_mode == 0) console(line);
    return;
  }
  uci(line);
}

}  // namespace

void poll_input() { take_one_line(uci_command, console_command); }

void poll_input_while_searching() { take_one_line(uci_command_while_searching, console_command_while_searching); }

}  // namespace shell
