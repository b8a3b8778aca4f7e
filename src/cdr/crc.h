// Checksums that file formats carry over their own structures; checking
// them tells a real header from bytes that only look like one.
#pragma once

#include <cstdint>
#include <span>

namespace qb::cdr {

// CRC-32 of ZIP, PNG and RAR 5 (polynomial 04C11DB7, reflected, initial and
// final value FFFFFFFF).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);
// CRC-32 of Ogg pages (polynomial 04C11DB7, not reflected, initial value 0,
// no final inversion); crc carries on a sum over earlier bytes.
std::uint32_t OggCrc32(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0);
// CRC-8 of FLAC frame headers (polynomial 07, initial value 0).
std::uint8_t Crc8(std::span<const std::uint8_t> bytes);

}  // namespace qb::cdr
