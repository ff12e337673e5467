// The UCI command set.
#pragma once

namespace shell {

inline constexpr const char* kEngineName = "Nesk 7.07";
inline constexpr const char* kEngineAuthor = "Drennick";

// Executes one line received in UCI mode.
void uci_command(const char* line);

}  // namespace shell
