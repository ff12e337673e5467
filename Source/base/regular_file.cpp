#include "base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace base {

namespace {

std::FILE* refuse(int fd, std::string* why, const char* reason) {
  if (fd >= 0) close(fd);
  if (why) *why = reason;
  return nullptr;
}

}  // namespace

std::FILE* open_regular_file(const char* path, std::string* why) {
  // Without O_NONBLOCK, opening a pipe waits for a writer, for ever if none comes; the
  // flag changes nothing for a regular file, which is all that is read here.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return refuse(fd, why, std::strerror(errno));
  struct stat info;
  if (fstat(fd, &info) != 0) return refuse(fd, why, std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return refuse(fd, why, "not a regular file");
  std::FILE* file = fdopen(fd, "rb");
  return file ? file : refuse(fd, why, std::strerror(errno));
}

}  // namespace base
