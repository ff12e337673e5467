#include "tools/input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/failure.h"

namespace tools {

std::FILE* open_input(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    base::report_failure("cannot read %s: %s", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  struct stat info;
  const char* refusal = nullptr;
  if (fstat(fileno(file), &info) != 0) refusal = std::strerror(errno);
  else if (S_ISDIR(info.st_mode)) refusal = "it is a directory";
  else if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) refusal = "it is neither a regular file nor a pipe";
  if (refusal) {
    std::fclose(file);
    base::report_failure("cannot read %s: %s", path.c_str(), refusal);
    return nullptr;
  }
  return file;
}

long file_size(std::FILE* file) {
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<long>(info.st_size);
}

bool read_failed(std::FILE* file, const std::string& path) {
  if (!std::ferror(file)) return false;
  base::report_failure("cannot read %s: read error", path.c_str());
  return true;
}

}  // namespace tools
