#include "tools/progress.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace tools {

bool progress_quiet = false;

namespace {

// 1234567 as "1.23M": the figures change every second, so three digits are plenty.
void short_count(double value, char* out, size_t size) {
  if (value >= 1e9) std::snprintf(out, size, "%.2fG", value / 1e9);
  else if (value >= 1e6) std::snprintf(out, size, "%.2fM", value / 1e6);
  else if (value >= 1e4) std::snprintf(out, size, "%.1fk", value / 1e3);
  else std::snprintf(out, size, "%.0f", value);
}

}  // namespace

Progress::Progress(const char* items, uint64_t total)
    : items_(items), total_(total), start_(std::chrono::steady_clock::now()), last_check_(start_), last_report_(start_),
      terminal_(isatty(STDERR_FILENO) != 0) {}

Progress::~Progress() {
  if (shown_ && terminal_) std::fprintf(stderr, "\r\033[K");
}

void Progress::check(uint64_t done, double fraction) {
  using namespace std::chrono;
  auto now = steady_clock::now();
  auto since = now - last_check_;
  last_check_ = now;
  if (since < milliseconds(25) && stride_ < (1u << 16)) stride_ *= 2;
  else if (since > milliseconds(100) && stride_ > 1) stride_ /= 2;
  next_check_ = calls_ + stride_;
  if (progress_quiet || now - last_report_ < seconds(1)) return;
  last_report_ = now;
  report(done, fraction, duration<double>(now - start_).count());
}

void Progress::report(uint64_t done, double fraction, double seconds) {
  if (fraction < 0 && total_) fraction = static_cast<double>(done) / static_cast<double>(total_);

  char count[32], rate[32], line[160];
  short_count(static_cast<double>(done), count, sizeof count);
  short_count(done / seconds, rate, sizeof rate);
  int length = std::snprintf(line, sizeof line, "%s %s, %s/s", count, items_, rate);
  if (fraction > 0 && fraction <= 1) {
    long left = static_cast<long>(seconds * (1 - fraction) / fraction + 0.5);
    std::snprintf(line + length, sizeof line - length, ", %.0f%%, %ld:%02ld:%02ld left", 100 * fraction, left / 3600,
                  left / 60 % 60, left % 60);
  }
  std::fprintf(stderr, terminal_ ? "\r%s\033[K" : "%s\n", line);
  shown_ = true;
}

void print_time_stamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  std::printf("%s\n", text);
}

}  // namespace tools
