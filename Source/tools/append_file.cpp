#include "tools/append_file.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tools {

namespace {

// The error number of a failed call; EIO where the library set none (a short write).
int failure() { return errno ? errno : EIO; }

}  // namespace

int append_whole(const std::string& path, const std::string& text) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return failure();
  // Unbuffered, so that every byte is written (or fails) here and the close has nothing
  // left to write after the file was cut back.
  std::setvbuf(file, nullptr, _IONBF, 0);
  int error = 0;
  const off_t length = fseeko(file, 0, SEEK_END) == 0 ? ftello(file) : -1;
  if (length < 0) error = failure();
  if (!error && std::fwrite(text.data(), 1, text.size(), file) != text.size()) error = failure();
  errno = 0;
  if (std::fclose(file) != 0 && !error) error = failure();
  if (error && length >= 0) {
    // The failure that made the cut is the one to report, not one of the cut itself (a
    // device such as /dev/full has no length to cut back to).
    [[maybe_unused]] int cut = truncate(path.c_str(), length);
  }
  return error;
}

}  // namespace tools
