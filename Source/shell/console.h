// The console command language for a person at a terminal (UCI mode off).
#pragma once

namespace shell {

// Executes one console line.
void console_command(const char* line);

}  // namespace shell
