#include "base/output.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "base/settings.h"

namespace base {

SpinLock output_lock;

namespace {

constexpr const char* kLogName = "nesk.log";
std::FILE* log_file = nullptr;

void write_all(std::FILE* file, const char* text) {
  std::fwrite(text, 1, std::strlen(text), file);
  std::fputc('\n', file);
  std::fflush(file);
}

}  // namespace

void emit_line(const char* text) {
  {
    std::lock_guard<SpinLock> guard(output_lock);
    write_all(stdout, text);
  }
  if (settings.log) log_line(text);
}

void log_line(const char* text) {
  if (!log_file) return;
  std::lock_guard<SpinLock> guard(output_lock);
  write_all(log_file, text);
}

void open_log() {
  if (log_file) return;
  std::FILE* existing = std::fopen(kLogName, "r");
  if (existing) {
    std::fclose(existing);
    if (std::remove(kLogName) != 0) {
      emit_line("log file in use.");
      settings.log = 0;
      return;
    }
  }
  log_file = std::fopen(kLogName, "w");
  if (!log_file) settings.log = 0;
}

void close_log() {
  if (log_file) std::fclose(log_file);
  log_file = nullptr;
}

std::string formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

void print_plain(const char* format, ...) {
  std::lock_guard<SpinLock> guard(output_lock);
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

}  // namespace base
