#include "tools/output_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/interrupt_cleanup.h"

namespace tools {

namespace {

bool same_file(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// Renames without replacing a file that appeared after open() looked; a file system that
// cannot do that atomically gets the look again just before.
bool rename_without_replacing(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  struct stat there;
  if (lstat(to, &there) == 0) return errno = EEXIST, false;
  return std::rename(from, to) == 0;
}

}  // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::fail(const char* reason) { failure_ = "cannot write " + path_ + ": " + reason; }

bool OutputFile::refused_name(const std::string& input) {
  struct stat there;
  if (lstat(path_.c_str(), &there) != 0) return false;
  if (existing_ == Existing::kRefuse) failure_ = path_ + " exists: not replaced";
  else if (S_ISDIR(there.st_mode)) fail("it is a directory");
  else if (!input.empty() && same_file(path_, input)) fail("it is the input");
  else return false;
  return true;
}

bool OutputFile::open(const std::string& path, Existing existing, const std::string& input) {
  discard();
  path_ = path;
  existing_ = existing;
  failure_.clear();
  failed_ = false;
  write_error_ = 0;
  used_ = 0;
  if (refused_name(input)) return false;
  // The process id keeps two runs writing the same output from sharing a temporary file;
  // "x" keeps a file already under the temporary name (left by a crash) as it is.
  temporary_ = path + ".part" + std::to_string(getpid());
  // Named for removal before it exists: an interruption the moment after it is created
  // must not leave it behind.
  interruption_slot_ = remove_on_interruption(temporary_.c_str());
  file_ = std::fopen(temporary_.c_str(), "wbx");
  if (!file_) {
    const int error = errno;
    forget_on_interruption(interruption_slot_);
    interruption_slot_ = -1;
    fail(error == EEXIST ? (temporary_ + " is in the way").c_str() : std::strerror(error));
    return false;
  }
  return true;
}

void OutputFile::flush_buffer() {
  if (used_ && file_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_ && !failed_)
    failed_ = true, write_error_ = errno;
  used_ = 0;
}

void OutputFile::write_through(const void* data, size_t size) {
  if (file_ && std::fwrite(data, 1, size, file_) != size && !failed_) failed_ = true, write_error_ = errno;
}

bool OutputFile::give_final_name() {
  if (existing_ == Existing::kReplace) return std::rename(temporary_.c_str(), path_.c_str()) == 0;
  return rename_without_replacing(temporary_.c_str(), path_.c_str());
}

bool OutputFile::commit() {
  if (!file_) {
    if (failure_.empty()) fail("not open");
    return false;
  }
  flush_buffer();
  bool closed = std::fclose(file_) == 0;
  int close_error = errno;
  file_ = nullptr;
  bool named = !failed_ && closed && give_final_name();
  if (!named) {
    if (failed_) fail(std::strerror(write_error_));
    else if (!closed) fail(std::strerror(close_error));
    else if (errno == EEXIST) failure_ = path_ + " exists: not replaced";
    else fail(std::strerror(errno));
    std::remove(temporary_.c_str());
  }
  forget_on_interruption(interruption_slot_);
  interruption_slot_ = -1;
  return named;
}

void OutputFile::discard() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  std::remove(temporary_.c_str());
  forget_on_interruption(interruption_slot_);
  interruption_slot_ = -1;
}

}  // namespace tools
