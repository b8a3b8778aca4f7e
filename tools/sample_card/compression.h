// Deflate streams for the sample builders, coded by zlib as the field's
// writers code them.
#pragma once

#include <cstdint>
#include <vector>

namespace qb::tools {

enum class DeflateWrapping {
    Raw,   // bare deflate blocks, as in ZIP entries
    Zlib,  // the two-byte zlib header and the Adler-32 trailer, as in PNG
};

// `data` compressed at zlib's default level; the same bytes on every run and
// every system with the same zlib.
std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data, DeflateWrapping wrapping);

}  // namespace qb::tools
