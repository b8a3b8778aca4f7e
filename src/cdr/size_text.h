// Byte counts as the lists and the device tree show them.
#pragma once

#include <cstdint>
#include <string>

namespace qb::cdr {

// "%.1f B", "%.1f KB", "%.1f MB" or "%.1f GB" (1024-based).
std::string FormatSize(std::uint64_t bytes);
// The same with "%.1f Byte" for the smallest unit; used for disks and
// partitions.
std::string FormatSizeLong(std::uint64_t bytes);

}  // namespace qb::cdr
