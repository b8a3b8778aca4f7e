// What the process uses of the machine's memory.
#pragma once

#include <cstdint>

namespace qb::platform {

// The largest resident set the process has had since it started or since
// the last ResetPeakResidentBytes, in bytes; 0 when the system cannot tell.
std::uint64_t PeakResidentBytes();

// Starts a new peak from the present resident set, where the system allows
// it (the figure of a benchmark then leaves out what was used before).
void ResetPeakResidentBytes();

}  // namespace qb::platform
