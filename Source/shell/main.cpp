// Start-up, one run mode, clean-up.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "position/bitboard.h"
#include "position/zobrist.h"
#include "search/thread.h"
#include "shell/commandline.h"
#include "shell/control.h"
#include "shell/driver.h"
#include "shell/output.h"
#include "shell/settings.h"
#include "shell/uci.h"

int main(int argc, char** argv) {
  using namespace shell;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  timespec now;
  std::timespec_get(&now, TIME_UTC);
  std::srand(static_cast<unsigned>(now.tv_nsec));

  search::main_thread = search::allocate_thread(0);
  if (!search::main_thread) return 1;
  position::init_tables();

  set_default_settings(settings);
  set_default_control(control);
  settings_snapshot = settings;

  int mode = read_command_line(argc, argv);
  if (mode < 0) return 1;

  if (settings.noise < 99999) {
    char line[64];
    std::snprintf(line, sizeof(line), "info string Hello from %s", kEngineName);
    emit_line(line);
  }
  position::init_zobrist();
  if (settings.log) open_log();

  if (mode == kModeEngine) game_driver();

  close_log();
  search::free_thread(search::main_thread);
  search::main_thread = nullptr;
  for (search::SearchThread*& block : search::thread_blocks) {
    search::free_thread(block);
    block = nullptr;
  }
  return 0;
}
