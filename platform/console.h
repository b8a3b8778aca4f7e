// The console the command line writes to.
#pragma once

namespace qb::platform {

// True when the standard error stream is a terminal, so that a progress
// line that rewrites itself can be shown there.
bool StderrIsTerminal();

}  // namespace qb::platform
