// The searches the batch tools run: one fixed search of the main position, ended only by
// the depth or node limit, and what the tools read from it afterwards.
#pragma once

#include <cstdint>

#include "position/position.h"
#include "search/limits.h"
#include "search/report.h"
#include "search/think.h"

namespace tools {

// Depth the tools search to when the command line set neither a depth ("-d"), a node
// limit ("-n") nor a node depth cap ("-md"): their move time is unbounded, so without
// one of these a search would never end.
constexpr int kDefaultToolDepth = 8;

// Where the tool searches report; they are silent until the program names a reporter.
void set_search_reporter(search::Reporter& reporter);

// The limits every search of a tool shares: the `standing` ones the command line gave, a
// move time so long that only the depth or node limit ends a search, and the default depth
// when none was given. With `tt_below` the transposition table is switched off for depth
// limits below it (a table is no help to tiny searches and its clearing would cost more
// than they do).
search::Limits prepare_tool_searches(const search::StandingLimits& standing, int tt_below);

// What a search found, with the root's static evaluation beside its quiescence score
// (root_qscore), both from the mover's view; the quiescence score is meaningless when the
// root is in check.
struct ToolSearchResult : search::Result {
  int root_eval = 0;
};

// Searches `pos` as it stands (its game history included) within `limits`, on the calling
// thread, or on the configured threads when there are several.
ToolSearchResult tool_search(const position::Position& pos, const search::Limits& limits);

// The principal variation of the last search, ending with kNoMove.
const position::Move* last_principal_variation();

bool side_in_check(const position::Position& pos);
// True for a move that takes a man, en passant included.
bool is_capture(const position::Position& pos, position::Move move);

// A position a training set wants: the move found is no capture, the mover is not in
// check, and a capture sequence gains no more than half a pawn over the static value.
bool quiet_for_training(const position::Position& pos, const ToolSearchResult& result);

}  // namespace tools
