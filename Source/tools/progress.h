// Progress of a long tool run on standard error, at most once a second: items done, rate,
// and time left when the total is known. On a terminal one line rewrites itself and is
// cleared at the end; redirected, each report is a plain line. Standard output, where the
// tools write their own messages, is left alone.
#pragma once

#include <chrono>
#include <cstdint>

namespace tools {

// Set by "-quiet": no progress at all.
extern bool progress_quiet;

class Progress {
 public:
  // `items` names what is counted ("positions", "games"); `total` is 0 when unknown.
  explicit Progress(const char* items, uint64_t total = 0);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Cheap enough for every item of a fast loop: the clock is read only every so many
  // calls, a stride that adapts to keep about one reading in 50 ms whatever the speed.
  // `fraction` is the share of the work done, for tools whose total is in other units
  // (bytes read); negative to take done / total.
  void update(uint64_t done, double fraction = -1) {
    if (++calls_ >= next_check_) check(done, fraction);
  }

 private:
  void check(uint64_t done, double fraction);
  void report(uint64_t done, double fraction, double seconds);

  const char* items_;
  uint64_t total_;
  uint64_t calls_ = 0, next_check_ = 1, stride_ = 1;
  std::chrono::steady_clock::time_point start_, last_check_, last_report_;
  bool terminal_;
  bool shown_ = false;
};

// The wall-clock time as "hh:mm:ss" and a newline on standard output, for tools that mark
// when they started and ended.
void print_time_stamp();

}  // namespace tools
