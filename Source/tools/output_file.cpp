#include "tools/output_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace tools {

OutputFile::~OutputFile() { discard(); }

bool OutputFile::open(const std::string& path) {
  discard();
  path_ = path;
  // The process id keeps two runs writing the same output from sharing a temporary file.
  temporary_ = path + ".part" + std::to_string(getpid());
  file_ = std::fopen(temporary_.c_str(), "wb");
  failed_ = false;
  used_ = 0;
  return file_ != nullptr;
}

void OutputFile::flush_buffer() {
  if (used_ && file_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed_ = true;
  used_ = 0;
}

void OutputFile::write_through(const void* data, size_t size) {
  if (file_ && std::fwrite(data, 1, size, file_) != size) failed_ = true;
}

bool OutputFile::commit() {
  if (!file_) return false;
  flush_buffer();
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (failed_ || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    std::remove(temporary_.c_str());
    return false;
  }
  return true;
}

void OutputFile::discard() {
  if (!file_) return;
  std::fclose(file_);
  file_ = nullptr;
  std::remove(temporary_.c_str());
}

}  // namespace tools
