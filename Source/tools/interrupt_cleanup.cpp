#include "tools/interrupt_cleanup.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace tools {

namespace {

constexpr int kSlots = 4;  // a tool writes at most two files at once
constexpr size_t kLongestPath = 4096;
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct Slot {
  std::atomic<bool> used{false};
  char path[kLongestPath];
};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler reads the flags");

Slot slots[kSlots];

extern "C" void remove_and_end(int signal_number) {
  for (Slot& slot : slots)
    if (slot.used.load(std::memory_order_acquire)) unlink(slot.path);
  // The action was reset to the default on entry: the signal, blocked while the handler
  // runs, ends the process when it returns.
  raise(signal_number);
}

void install_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal_number : kSignals) {
    struct sigaction current;
    if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

int remove_on_interruption(const char* path) {
  size_t length = std::strlen(path);
  if (length >= kLongestPath) return -1;
  install_handler();
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].used.load(std::memory_order_relaxed)) continue;
    std::memcpy(slots[i].path, path, length + 1);
    slots[i].used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void forget_on_interruption(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].used.store(false, std::memory_order_release);
}

}  // namespace tools
