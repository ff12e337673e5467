// Splitting a tool's work over a few threads: the trainers' one way of running in parallel.
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

namespace tools {

// Runs `work(t)` for t < threads, t = 0 on the calling thread.
template <typename Work>
void on_threads(int threads, Work work) {
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(work, t);
  work(0);
  for (std::thread& thread : pool) thread.join();
}

// Where the share of thread t of `threads` begins among n items (n for t = threads);
// with `align`, shares start on multiples of it.
inline size_t share_start(size_t n, int t, int threads, size_t align = 1) {
  if (t >= threads) return n;
  return std::min(n, n * static_cast<size_t>(t) / static_cast<size_t>(threads) / align * align);
}

// Runs `work(t, begin, end)` over [0, n) cut into `threads` shares.
template <typename Work>
void in_parallel(size_t n, int threads, Work work) {
  threads = std::max(1, std::min<int>(threads, static_cast<int>(n ? n : 1)));
  on_threads(threads, [&](int t) { work(t, share_start(n, t, threads), share_start(n, t + 1, threads)); });
}

}  // namespace tools
