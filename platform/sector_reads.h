// Byte-range reads from a device that reads only whole sectors at sector
// offsets into sector-aligned memory (a physical drive opened without the
// system's cache). Callers may still ask for any offset and length: the
// partial sectors at either end, and whole sectors bound for memory that is
// not aligned, pass through an aligned buffer of the helper's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace qb::platform {

// Reads whole sectors: offset and n are multiples of the sector size and dst
// is aligned to it. Returns the bytes read, fewer than n at the end of the
// device or on a read error.
using SectorRead = std::function<std::size_t(std::uint64_t offset, void* dst, std::size_t n)>;

// Copies up to n bytes from offset into dst through readSectors and returns
// how many were copied. sectorSize is a power of two (anything else is taken
// as 512). deviceSize, when not 0, is where the device ends: nothing is asked
// for beyond its last sector, and the result stops at deviceSize.
std::size_t ReadThroughSectors(std::uint64_t offset, void* dst, std::size_t n, std::uint32_t sectorSize,
                               std::uint64_t deviceSize, const SectorRead& readSectors);

}  // namespace qb::platform
