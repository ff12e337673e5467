// Feeds UCI sessions: the input, cut into lines as the input reader cuts it, is played
// line by line against one engine. A "go" is answered with a small search on this thread.
#include <string>

#include "fuzz_support.h"

namespace {

// The option a "setoption" line names, read the way the protocol handler reads it.
bool read_setoption(const std::string& line, std::string& name, std::string& value) {
  size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos || line.compare(start, 9, "setoption") != 0) return false;
  const char* arguments = line.c_str() + start + 9;
  if (*arguments) ++arguments;
  const char* name_at = std::strstr(arguments, "name");
  if (!name_at) return true;
  const char* value_at = std::strstr(name_at, "value");
  size_t length = value_at ? static_cast<size_t>(value_at - name_at) - 1 : std::strlen(name_at);
  if (length > 5) name.assign(name_at + 5, std::min<size_t>(length - 5, 128));
  if (value_at && std::strlen(value_at) > 6) value.assign(value_at + 6, std::min<size_t>(std::strlen(value_at) - 6, 200));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nesk_fuzz::start_engine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nesk_fuzz::reset_engine(1);
  int searches = 0;
  for (std::string line : nesk_fuzz::split_lines(data, size)) {
    std::string name, value;
    if (read_setoption(line, name, value)) {
      std::string kept = value;
      if (!nesk_fuzz::bounded_option(name, kept)) continue;
      if (kept != value) line = "setoption name " + name + " value " + kept;
    }
    shell::uci_command(line.c_str());
    nesk_fuzz::run_requested_search(searches);
    nesk_fuzz::after_line();
  }
  return 0;
}
