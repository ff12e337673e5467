// Engine options: the UCI option list, the option handler and the configuration file.
#pragma once

#include "position/notation.h"

namespace shell {

// The move text the engine speaks now: Chess960 castling when UCI_Chess960 (or the
// console's "set frc") is on, UCI promotion letters under UCI.
position::MoveStyle move_style();

// (Re)makes the transposition table at settings.hash_mb and says so, as GUIs have seen it
// since the first versions. False when the memory cannot be had: the table in force stays.
bool make_hash_table();

// Applies one option by its UCI name (case matters); unknown names are ignored. Does
// nothing while a search is requested or running.
void set_option(const char* name, const char* value);

// Reads the configuration file named by settings.config_file: name = value lines, '#'
// comments. A missing file is ignored.
void load_config_file();

// The "option name ..." lines of the "uci" reply, in protocol order.
void send_option_list();

}  // namespace shell
