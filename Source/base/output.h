// The one way out for protocol replies and reports: whole lines under a process-wide
// lock, copied to "nesk.log" when logging is on.
#pragma once

#include <string>

#include "base/spinlock.h"

namespace base {

extern SpinLock output_lock;

// Writes `text` and a newline to standard output, then to the log when logging is on.
void emit_line(const char* text);
// Writes `text` and a newline to the log, if one is open.
void log_line(const char* text);
// Opens "nesk.log", replacing an old one; turns logging off when that fails.
void open_log();
void close_log();

// printf-style text as a string of whatever length it needs (messages that name paths).
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf-style text written to standard output as it stands (no newline added, no log),
// for the console's diagnostic listings.
void print_plain(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace base
