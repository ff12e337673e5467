#include "shell/uci.h"

#include <cstdio>
#include <cstring>

#include "shell/output.h"
#include "shell/settings.h"

namespace shell {

namespace {

bool command_echo = true;

void send_identification() {
  char line[64];
  std::snprintf(line, sizeof(line), "id name %s", kEngineName);
  emit_line(line);
  std::snprintf(line, sizeof(line), "id author %s", kEngineAuthor);
  emit_line(line);
  emit_line("uciok");
}

}  // namespace

void uci_command(const char* line) {
  char text[5000];
  std::snprintf(text, sizeof(text), "%s", line);
  if (char* newline = std::strchr(text, '\n')) *newline = 0;
  if (!text[0]) return;
  if (command_echo && settings.log) {
    char echo[5008];
    std::snprintf(echo, sizeof(echo), "CMD: %s", text);
    log_line(echo);
  }
  char word[128];
  if (std::sscanf(text, "%127s", word) != 1) return;
  if (!std::strcmp(word, "uci")) {
    settings.uci_mode = 1;
    send_identification();
  }
  if (!std::strcmp(word, "isready")) emit_line("readyok");
  if (!std::strcmp(word, "debug")) command_echo = true;
  if (!std::strcmp(word, "quit")) settings.quit = 1;
}

}  // namespace shell
