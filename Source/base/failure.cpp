#include "base/failure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace base {

namespace {

// True when standard output and standard error are one file (a terminal, or both sent to
// one place), where the reason needs saying only once.
bool one_destination() {
  struct stat out, err;
  if (fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0) return false;
  return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

}  // namespace

int report_failure(const char* format, ...) {
  // Measured first, so that a reason naming a long path is never cut.
  va_list values, copy;
  va_start(values, format);
  va_copy(copy, values);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string reason(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  std::vsnprintf(reason.data(), reason.size() + 1, format, values);
  va_end(values);
  std::fflush(stdout);
  std::printf("%s\n", reason.c_str());
  if (!one_destination()) std::fprintf(stderr, "nesk: %s\n", reason.c_str());
  return kToolFailed;
}

}  // namespace base
