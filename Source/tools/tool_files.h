// The files of a tool run: the names the command line gives, the input opened only when
// it is something that can be read to an end (a regular file or a pipe, not a directory or
// a device), and the input and the output opened together, so that every tool refuses the
// same files with the same words.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/output_file.h"

namespace tools {

// The files of one tool run, as the command line names them.
struct ToolFiles {
  std::string input;
  std::string named_output;  // "-o"; empty when none was named
};

// What the tools that write EPD lines ("-anepd", "-scan_pgn", "-scoretraindata") write
// when no "-o" names another output.
inline constexpr const char* kUsualEpdOutput = "tmp0.epd";

// Where a tool writes: the output named with "-o", else `usual`, which may not replace a
// file already there.
OutputChoice choose_output(const ToolFiles& files, const std::string& usual);

// A tool's input, closed when it goes out of scope.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile() { close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading; false, with the reason reported as a tool failure, when it
  // cannot be opened or is neither a regular file nor a pipe.
  bool open(const std::string& path);
  std::FILE* get() const { return file_; }
  const std::string& path() const { return path_; }

  // Size in bytes, for progress and for sizing memory; -1 when it is not a regular file (a
  // pipe), whose size says nothing about what it will give.
  long size() const;
  // The share of the input that `bytes` read make, for progress; -1 when the size is unknown.
  double share(uint64_t bytes) const;

  // Closes the file once it has been read; false, with "cannot read PATH: read error"
  // reported as a tool failure, when a read failed: what was read is not the whole input.
  bool finish_reading();

 private:
  void close();

  std::FILE* file_ = nullptr;
  std::string path_;
  long size_ = -1;
};

// Opens the run's input and then its output: a run that cannot read writes nothing. False,
// with the reason reported as a tool failure, when either cannot be opened.
bool open_run_files(InputFile& in, const std::string& input, OutputFile& out, const OutputChoice& output);

}  // namespace tools
