// The score values the evaluation answers in and the layers above it compare with.
#pragma once

namespace eval {

// Centipawns, side to move's view: every evaluation lies within -kEvalLimit .. kEvalLimit,
// well inside the mate scores, so a search can tell an evaluation from a mate.
constexpr int kEvalLimit = 3000;

// No score (no network loaded, no buffers for it): below every real score, so that the
// larger of it and any score is that score.
constexpr int kNoScore = -10001;

}  // namespace eval
