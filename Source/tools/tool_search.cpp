#include "tools/tool_search.h"

#include <cstring>

#include "base/settings.h"
#include "position/exchange.h"
#include "search/control.h"
#include "search/think.h"
#include "search/thread.h"

namespace tools {

using base::settings;
using namespace position;

namespace {

constexpr float kUnboundedMoveTime = 10000000.0f;
constexpr int kQuietMargin = 50;

bool limit_given() {
  base::EngineSettings defaults;
  base::set_default_settings(defaults);
  // "-t" sets depth 79: a time per move, which the tools replace by their own.
  return settings.depth_limit < 79 || settings.node_limit != defaults.node_limit ||
         settings.node_depth_cap != defaults.node_depth_cap;
}

search::Reporter silent_reporter;
search::Reporter* reporter = &silent_reporter;
// The variation of the last tool search.
Move last_pv[kMaxPly];

// The standing limits the tools keep in the settings record, with a fixed move time.
search::Limits tool_limits() {
  search::Limits limits;
  limits.depth = settings.depth_limit;
  limits.nodes = settings.node_limit;
  limits.min_nodes = settings.min_nodes;
  limits.node_depth_cap = settings.node_depth_cap;
  limits.move_time = limits.time_left = settings.base_time;
  limits.increment = settings.increment;
  return limits;
}

}  // namespace

void set_search_reporter(search::Reporter& tool_reporter) { reporter = &tool_reporter; }

void prepare_tool_searches(int tt_below) {
  if (!limit_given()) settings.depth_limit = kDefaultToolDepth;
  settings.base_time = kUnboundedMoveTime;
  settings.moves_per_control = 1;
  if (settings.depth_limit < tt_below) search::control.tt_enabled = 0;
}

ToolSearchResult tool_search(const Position& pos) {
  search::Result found = search::think(search::kFixedSearch, pos, tool_limits(), *reporter, settings.threads > 1 ? 1 : 0);
  search::control.state = 0;
  std::memcpy(last_pv, found.pv, sizeof(last_pv));
  ToolSearchResult r;
  r.best_move = found.best_move;
  r.score = found.score;
  r.depth = found.depth;
  r.seconds = found.seconds;
  r.nodes = found.nodes;
  r.branching_factor = found.branching_factor;
  r.root_eval = search::thread_blocks[0]->stack[1].static_eval;
  r.root_qscore = found.root_qscore;
  return r;
}

const Move* last_principal_variation() { return last_pv; }

bool side_in_check(const Position& pos) {
  return least_valuable_attacker(pos, pos.king_square[pos.side], pos.side ^ 1, pos.occupancy()) != kNoSquare;
}

bool is_capture(const Position& pos, Move move) {
  int to = move_to(move);
  // A Chess960 king may castle onto its own rook's square.
  if (pos.board[to]) return colour_of(pos.board[to]) != pos.side;
  return to == pos.ep_square && type_of(pos.board[move_from(move)]) == kPawn;
}

bool quiet_for_training(const Position& pos, const ToolSearchResult& result) {
  return !is_capture(pos, result.best_move) && !side_in_check(pos) &&
         result.root_qscore <= result.root_eval + kQuietMargin;
}

}  // namespace tools
