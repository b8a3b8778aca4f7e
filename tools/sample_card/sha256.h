// SHA-256 of a byte string, as lower-case hexadecimal text: the fingerprint
// the card's ground truth keeps of every file it holds. The digest is the
// system's (platform/sha256.h), as in the reports.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qb::tools {

std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace qb::tools
