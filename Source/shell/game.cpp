#include "shell/game.h"

namespace shell {

position::Game& game() {
  static position::Game the_game;
  return the_game;
}

}  // namespace shell
