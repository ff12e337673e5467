#include "tools/tool_failure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

namespace tools {

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
  char reason[8192];
  va_list values;
  va_start(values, format);
  std::vsnprintf(reason, sizeof reason, format, values);
  va_end(values);
  std::fflush(stdout);
  std::printf("%s\n", reason);
  if (!one_destination()) std::fprintf(stderr, "nesk: %s\n", reason);
  return kToolFailed;
}

}  // namespace tools
