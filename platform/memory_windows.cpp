#include "platform/memory.h"

#include <windows.h>
#include <psapi.h>

namespace qb::platform {

std::uint64_t PeakResidentBytes() {
    PROCESS_MEMORY_COUNTERS counters {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

// Windows keeps the peak working set for the life of the process and offers
// no way to restart it.
void ResetPeakResidentBytes() {}

}  // namespace qb::platform
