// Feeds configuration files ("name = value" lines) to the loader, through a file as the
// engine reads it. Options the harness must not apply as given (a table of gigabytes,
// the log file, device files) are rewritten in the copy it writes, cut the way the
// loader cuts lines.
#include <string>

#include "fuzz_support.h"
#include "shell/options.h"

namespace {

constexpr size_t kLoaderLine = 254;  // the loader reads at most this much of a line at a time

std::string trimmed_end(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.pop_back();
  return text;
}

// One piece as the loader reads it, made safe; the line end (if any) is kept.
std::string bounded_piece(const std::string& piece) {
  std::string text = piece.substr(0, piece.find('\0'));
  text = text.substr(0, text.find('\n'));
  text = text.substr(0, text.find('#'));
  size_t equals = text.find('=');
  if (std::strlen(piece.c_str()) <= 3 || equals == std::string::npos) return piece;
  std::string name = trimmed_end(text.substr(0, std::min<size_t>(equals, 100)));
  size_t start = text.find_first_not_of(" \t", equals + 1);
  std::string value = trimmed_end(start == std::string::npos ? "" : text.substr(start, 200));
  std::string kept = value;
  bool newline = !piece.empty() && piece.back() == '\n';
  if (!nesk_fuzz::bounded_option(name, kept)) return newline ? "\n" : "";
  if (kept == value) return piece;
  return name + "=" + kept + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(1);
  std::string input(reinterpret_cast<const char*>(data), size), copy;
  for (size_t at = 0; at < input.size();) {
    size_t end = std::min(input.find('\n', at), std::min(input.size(), at + kLoaderLine) - 1);
    std::string piece = input.substr(at, end - at + 1);
    copy += bounded_piece(piece);
    at = end + 1;
  }
  std::string path = nesk_fuzz::write_temp_file("config", reinterpret_cast<const uint8_t*>(copy.data()), copy.size());
  base::settings.config_file = path.c_str();
  shell::load_config_file();
  std::remove(path.c_str());
  return 0;
}
