// A tool's output file, written completely or not at all: the bytes go to a temporary name
// beside the final one, which is renamed over the final name only when every byte has been
// written and the file closed without error. A run that is interrupted or fails leaves
// at most the temporary file, never a half file under the final name.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace tools {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // without commit(), the temporary file is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Starts writing for `path`; false when the temporary file cannot be made.
  bool open(const std::string& path);
  void write(const void* data, size_t size) {
    if (size > buffer_.size() - used_) flush_buffer();
    if (size > buffer_.size()) return write_through(data, size);
    std::copy_n(static_cast<const char*>(data), size, buffer_.data() + used_);
    used_ += size;
  }
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Closes the file and gives it its final name; false (and nothing under the final name
  // changed) when any write, the close or the rename failed.
  bool commit();

  const std::string& path() const { return path_; }

 private:
  void flush_buffer();
  void write_through(const void* data, size_t size);
  void discard();

  std::FILE* file_ = nullptr;
  std::string path_, temporary_;
  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 20);
  size_t used_ = 0;
  bool failed_ = false;
};

}  // namespace tools
