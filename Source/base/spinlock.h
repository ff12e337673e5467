// A small spin lock for short critical sections (one printed line, a few counters).
#pragma once

#include <atomic>
#include <thread>

namespace base {

class SpinLock {
 public:
  void lock() {
    while (flag_.exchange(true, std::memory_order_acquire)) {
      while (flag_.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
  }
  void unlock() { flag_.store(false, std::memory_order_release); }

 private:
  std::atomic<bool> flag_{false};
};

}  // namespace base
