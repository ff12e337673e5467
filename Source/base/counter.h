// A statistic that one thread counts and others read while it runs (node counts, cache
// hits). Relaxed loads and stores keep the readers race-free at the cost of a plain
// increment: only the owning thread writes, so no update is lost.
#pragma once

#include <atomic>
#include <cstdint>

namespace base {

class Counter {
 public:
  Counter() = default;
  Counter(const Counter&) = delete;
  Counter& operator=(const Counter&) = delete;

  void operator++() { add(1); }
  void add(uint64_t n) { value_.store(value_.load(std::memory_order_relaxed) + n, std::memory_order_relaxed); }
  Counter& operator=(uint64_t n) {
    value_.store(n, std::memory_order_relaxed);
    return *this;
  }
  operator uint64_t() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> value_{0};
};

}  // namespace base
