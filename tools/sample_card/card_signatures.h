// The header signatures of the fourteen carved types, as a quick scan looks
// for them at block boundaries, and the simple first checks with which each
// type's extractor turns a header down. The card generator uses them to know
// every header that lies at a block boundary of its image, planned or not.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qb::tools {

struct CardSignature {
    std::string_view group;   // the type group's name ("jpg", "rif", ...)
    std::string_view header;  // signature bytes
    std::uint64_t maxLength;  // largest file of the type
    bool ignoreCase;          // ASCII letters compare without regard to case
};

// The fourteen types in the scan's table order.
std::span<const CardSignature> CardSignatures();
const CardSignature* FindCardSignature(std::string_view group);

// The group whose header starts at bytes[at]; nothing when none does.
std::optional<std::string_view> HeaderGroupAt(std::span<const std::uint8_t> bytes, std::size_t at);

// True when the bytes at `at` carry the header of `group` but fail the first
// check of that type's extractor, so that the header is passed over without
// recording and without a look at the bytes far behind it: a JPEG without an
// APP0/APP1 segment, a GIF of an unknown version, a BMP whose fields are out
// of range, a RIFF of an unknown form, an MPEG pack without a system header,
// a PNG of an impossible size, an "MZ" without a PE header in range, an
// "<html" followed by binary bytes. Other types are never taken as
// turned down here. At least 512 bytes must follow `at` in the scanned chunk.
bool RejectedAtFirstCheck(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at);

}  // namespace qb::tools
