#include "tools/printable.h"

#include <cstdio>

namespace tools {

std::string printable(std::string_view text) {
  std::string shown;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown.push_back(c);
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    }
  }
  return shown;
}

}  // namespace tools
