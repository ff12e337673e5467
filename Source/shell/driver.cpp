#include "shell/driver.h"

#include <chrono>
#include <thread>

#include "position/display.h"
#include "position/position.h"
#include "search/thread.h"
#include "shell/control.h"
#include "shell/input.h"
#include "shell/settings.h"

namespace shell {

void game_driver() {
  position::Position& pos = search::main_thread->position;
  position::set_position(pos, position::kStartFen);
  if (settings.uci_mode == 0) position::display_board(pos);
  settings.quit = 0;
  control.abort = 0;
  control.state = 0;
  while (!settings.quit) {
    poll_input();
    if (settings.quit) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace shell
