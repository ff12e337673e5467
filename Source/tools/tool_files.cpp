#include "tools/tool_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "base/failure.h"

namespace tools {

OutputChoice choose_output(const ToolFiles& files, const std::string& usual) {
  if (files.named_output.empty()) return {usual, Existing::kRefuse};
  return {files.named_output, Existing::kReplace};
}

bool InputFile::open(const std::string& path) {
  close();
  path_ = path;
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    base::report_failure("cannot read %s: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  struct stat info;
  const char* refusal = nullptr;
  if (fstat(fileno(file_), &info) != 0) refusal = std::strerror(errno);
  else if (S_ISDIR(info.st_mode)) refusal = "it is a directory";
  else if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) refusal = "it is neither a regular file nor a pipe";
  if (refusal) {
    close();
    base::report_failure("cannot read %s: %s", path.c_str(), refusal);
    return false;
  }
  size_ = S_ISREG(info.st_mode) ? static_cast<long>(info.st_size) : -1;
  return true;
}

long InputFile::size() const { return size_; }

double InputFile::share(uint64_t bytes) const { return size_ > 0 ? static_cast<double>(bytes) / size_ : -1; }

bool InputFile::finish_reading() {
  bool failed = file_ && std::ferror(file_);
  close();
  if (failed) base::report_failure("cannot read %s: read error", path_.c_str());
  return !failed;
}

void InputFile::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = -1;
}

bool open_run_files(InputFile& in, const std::string& input, OutputFile& out, const OutputChoice& output) {
  if (!in.open(input)) return false;
  if (out.open(output, input)) return true;
  base::report_failure("%s", out.failure().c_str());
  return false;
}

}  // namespace tools
