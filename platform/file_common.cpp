// The parts of the file service that need no operating-system call.
#include "platform/file.h"

#include <algorithm>
#include <cstring>

namespace qb::platform {

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset >= bytes_.size()) return 0;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, bytes_.size() - offset));
    std::memcpy(dst, bytes_.data() + offset, count);
    return count;
}

std::string JoinPath(std::string_view a, std::string_view b) {
    std::string out(a);
    if (!out.empty() && out.back() != '/' && out.back() != PathSeparator()) out += PathSeparator();
    out += b;
    return out;
}

}  // namespace qb::platform
