// The UCI command set.
#pragma once

namespace shell {

inline constexpr const char* kEngineName = "Nesk 7.07";
inline constexpr const char* kEngineAuthor = "Drennick";

// Executes one line received in UCI mode. "position", "go", "setoption" and "ucinewgame"
// during a search stop it and wait: they run once its "bestmove" has been given.
void uci_command(const char* line);

// The same while a search runs: only the commands that answer at once or set a flag of
// the search are carried out; those that change the game stop the search and wait.
void uci_command_while_searching(const char* line);

// Runs the command that a search was stopped for, if any; the driver calls it after
// reporting the result.
void run_deferred_command();

}  // namespace shell
