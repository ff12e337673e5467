// Text from an input file shown in a message: what is not printable ASCII (terminal
// control bytes, which could rewrite the screen, and bytes of other encodings) is shown
// as \xHH, so that a report line is always one plain line.
#pragma once

#include <string>
#include <string_view>

namespace tools {

std::string printable(std::string_view text);

}  // namespace tools
