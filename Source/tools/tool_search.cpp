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

bool limit_given(const search::StandingLimits& standing) {
  const search::StandingLimits none;
  // "-t" sets depth 79: a time per move, which the tools replace by their own.
  return standing.depth < 79 || standing.nodes != none.nodes || standing.node_depth_cap != none.node_depth_cap;
}

search::Reporter silent_reporter;
search::Reporter* reporter = &silent_reporter;
// The variation of the last tool search.
Move last_pv[kMaxPly];

}  // namespace

void set_search_reporter(search::Reporter& tool_reporter) { reporter = &tool_reporter; }

search::Limits prepare_tool_searches(const search::StandingLimits& standing, int tt_below) {
  search::Limits limits = standing.search_limits();
  if (!limit_given(standing)) limits.depth = kDefaultToolDepth;
  limits.move_time = limits.time_left = kUnboundedMoveTime;
  limits.increment = settings.increment;
  if (limits.depth < tt_below) search::control.tt_enabled = 0;
  return limits;
}

ToolSearchResult tool_search(const Position& pos, const search::Limits& limits) {
  ToolSearchResult r;
  static_cast<search::Result&>(r) =
      search::think(search::kFixedSearch, pos, limits, *reporter, settings.threads > 1 ? 1 : 0);
  search::control.state = 0;
  std::memcpy(last_pv, r.pv, sizeof(last_pv));
  r.root_eval = search::thread_blocks[0]->stack[1].static_eval;
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
