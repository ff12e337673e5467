// How a tool (a command-line run mode) says that it failed. The reason goes to standard
// output, where the tool's other report lines go, and to standard error, so that a
// pipeline that keeps only one of them still sees it (once when both go to the same place,
// as on a terminal). The run then ends with kToolFailed, so that the next step of a script
// can tell.
#pragma once

namespace base {

inline constexpr int kToolSucceeded = 0;
inline constexpr int kToolFailed = 1;

// Reports the reason, a printf-style line without its newline; returns kToolFailed.
int report_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base
