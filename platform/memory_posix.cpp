#include "platform/memory.h"

#include <sys/resource.h>

namespace qb::platform {

std::uint64_t PeakResidentBytes() {
    struct rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

}  // namespace qb::platform
