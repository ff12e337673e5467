// Temporary files that a run stopped by SIGINT, SIGTERM or SIGHUP removes before it ends.
// A tool registers each while it writes it; the handler unlinks them (async-signal-safe)
// and ends the process by the same signal, so that a script still sees an interruption.
// The handler is set only over the default action: a signal the process ignores (SIGINT
// of a background job) stays ignored, and a tool's own handler is left alone.
#pragma once

namespace tools {

// Registers `path` for removal on interruption; returns its slot, or -1 when no slot is
// free or the path is too long (the file is then only left behind by an interruption).
int remove_on_interruption(const char* path);

// Forgets the registration of `slot` (nothing for -1).
void forget_on_interruption(int slot);

}  // namespace tools
