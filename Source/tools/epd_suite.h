// "-anepd": a test suite of EPD positions searched one by one, the answers counted
// against their "bm" (best move) or "am" (avoid move) operations, a "c0" move key totalled,
// and each position written back annotated with the move found and its score.
#pragma once

#include <string>

#include "position/position.h"
#include "search/limits.h"
#include "tools/epd.h"
#include "tools/tool_files.h"

namespace tools {

// The output of the runs that collect the positions after the good moves ("-mkbook2") when
// no "-o" names another; what they are for is kSuiteLinesFile.
inline constexpr const char* kSuiteScratchOutput = "junk.epd";
// Where the runs that collect the positions after the good moves write them.
inline constexpr const char* kSuiteLinesFile = "tmp_0.epd";

// True when `best` answers the position: it is one of the "bm" moves (separated by
// commas; moves run together without one name no move), or, without "bm", it differs
// from the "am" move when that move can be read.
bool answer_is_correct(const position::Position& pos, const EpdLine& epd, position::Move best);

// What a "c0" key of move=value pairs ("e4=10,d4=8") gives `best`: the value of its pair
// (0 when it has none) and the largest value of the key (at least 0). Both 0 for a key
// without "=".
struct MoveKeyScore {
  int score = 0;
  int maximum = 0;
};
MoveKeyScore move_key_score(const position::Position& pos, const char* c0, position::Move best);

// Searches every position of the input within the `standing` limits, writing the annotated positions to the output
// named with -o, else `usual_output`, and,
// with `write_lines`, the position after each root move that scores within a pawn of the
// best (up to the multipv setting) to kSuiteLinesFile. Prints the totals; returns the
// run's exit code.
int run_epd_suite(const ToolFiles& files, const std::string& usual_output, bool write_lines,
                  const search::StandingLimits& standing);

}  // namespace tools
