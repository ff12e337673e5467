// A tool's output file, written completely or not at all: the bytes go to a temporary name
// beside the final one, which is renamed to the final name only when every byte has been
// written and the file closed without error. A run that fails leaves nothing; one stopped
// by SIGINT, SIGTERM or SIGHUP removes its temporary file as it ends.
//
// A file already under the final name is kept unless the user named the output ("-o"):
// a name the tool makes up (a.epd -> a.bin, "filtered.bin") may be a file the user wants,
// even the input of another step. A named output may replace anything but the run's input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace tools {

// What may stand under the final name before the run.
enum class Existing {
  kRefuse,   // nothing: a file there makes open() fail, and commit() if it appears meanwhile
  kReplace,  // anything but the input: the user named this output
};

// Where a tool writes, and what may stand there before (tools/tool_files: choose_output).
struct OutputChoice {
  std::string path;
  Existing existing = Existing::kRefuse;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // without commit(), the temporary file is removed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Starts writing for `path`; `input` is the file the run reads, which is never replaced.
  // False, with the reason in failure(), when a file under `path` may not be replaced or
  // the temporary file cannot be made.
  bool open(const std::string& path, Existing existing, const std::string& input = "");
  bool open(const OutputChoice& choice, const std::string& input) { return open(choice.path, choice.existing, input); }
  void write(const void* data, size_t size) {
    if (size > buffer_.size() - used_) flush_buffer();
    if (size > buffer_.size()) return write_through(data, size);
    std::copy_n(static_cast<const char*>(data), size, buffer_.data() + used_);
    used_ += size;
  }
  void write(const std::string& text) { write(text.data(), text.size()); }
  // Closes the file and gives it its final name; false (and nothing under the final name
  // changed), with the reason in failure(), when any write, the close or the rename failed.
  bool commit();

  const std::string& path() const { return path_; }
  // Why open() or commit() failed: "cannot write NAME: reason" or "NAME exists: not replaced".
  const std::string& failure() const { return failure_; }

 private:
  void flush_buffer();
  void write_through(const void* data, size_t size);
  bool refused_name(const std::string& input);
  bool give_final_name();
  void fail(const char* reason);
  void discard();

  std::FILE* file_ = nullptr;
  std::string path_, temporary_, failure_;
  Existing existing_ = Existing::kRefuse;
  std::vector<char> buffer_ = std::vector<char>(size_t{1} << 20);
  size_t used_ = 0;
  bool failed_ = false;
  int write_error_ = 0;
  int interruption_slot_ = -1;
};

}  // namespace tools
