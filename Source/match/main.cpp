// nesk-match: plays two UCI engines against each other and reports the score, the Elo
// difference and, when asked, a sequential probability ratio test.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "base/settings.h"
#include "match/adjudication.h"
#include "match/config.h"
#include "match/openings.h"
#include "match/tournament.h"
#include "position/bitboard.h"
#include "position/zobrist.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty() || arguments[0] == "-help" || arguments[0] == "--help") {
    std::fputs(match::usage_text(), stdout);
    return arguments.empty() ? 1 : 0;
  }
  // A write to an engine that has died must fail, not end the runner.
  std::signal(SIGPIPE, SIG_IGN);
  position::init_tables();
  position::init_zobrist();
  base::set_default_settings(base::settings);

  match::MatchConfig config;
  std::string error;
  if (!match::parse_command_line(arguments, config, error)) {
    std::fprintf(stderr, "nesk-match: %s\n%s", error.c_str(), match::usage_text());
    return 1;
  }
  match::OpeningBook book;
  if (!book.load(config.openings, error)) {
    std::fprintf(stderr, "nesk-match: %s\n", error.c_str());
    return 1;
  }
  if (!config.tb_paths.empty()) {
    int men = match::load_tablebases(config.tb_paths);
    if (men == 0) {
      std::fprintf(stderr, "nesk-match: no tablebases in %s\n", config.tb_paths.c_str());
      return 1;
    }
    std::printf("Tablebases up to %d men\n", men);
  }
  return match::Tournament(config, book).run();
}
