#include "tools/sample_card/sha256.h"

#include "platform/sha256.h"

namespace qb::tools {

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.HexDigest();
}

}  // namespace qb::tools
