// "-scoretraindata": labelled EPD positions scored again by the engine's own search. Each
// position is first carried through the capture sequences that a one-ply search finds
// (its labels turned to the new side to move), then searched at the configured depth,
// and kept only when it is quiet.
#pragma once

#include "search/limits.h"
#include "tools/tool_files.h"

namespace tools {

// Scores the input into the output named with -o, else kUsualEpdOutput (both must contain
// ".epd"), with the tablebases the command line or configuration gave. Returns the run's
// exit code.
int score_training_file(const ToolFiles& files, const search::StandingLimits& standing);

}  // namespace tools
