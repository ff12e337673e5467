// The console command language for a person at a terminal (UCI mode off).
#pragma once

namespace shell {

// Executes one console line.
void console_command(const char* line);

// While a search runs only "quit" and "." (stop the search) are taken; the rest is ignored.
void console_command_while_searching(const char* line);

}  // namespace shell
