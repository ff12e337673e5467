// "-scoretraindata": labelled EPD positions scored again by the engine's own search. Each
// position is first carried through the capture sequences that a one-ply search finds
// (its labels turned to the new side to move), then searched at the configured depth,
// and kept only when it is quiet.
#pragma once

namespace tools {

// Scores settings.tool_input_file into the output named with -o, else
// settings.tool_output_file (both must contain ".epd"), with the tablebases the command
// line or configuration gave. Returns the run's exit code.
int score_training_file();

}  // namespace tools
