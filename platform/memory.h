// What the process uses of the machine's memory.
#pragma once

#include <cstdint>

namespace qb::platform {

// The largest resident set the process has had so far, in bytes; 0 when the
// system cannot tell.
std::uint64_t PeakResidentBytes();

}  // namespace qb::platform
