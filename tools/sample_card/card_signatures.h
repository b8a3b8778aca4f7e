// The header signatures of the carved types, as a quick scan looks for them
// at block boundaries, and the simple first checks with which each type's
// extractor turns a header down. The card generator uses them to know every
// header that lies at a block boundary of its image, planned or not.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qb::tools {

struct CardSignature {
    std::string_view group;   // the type group's name ("jpg", "rif", ...)
    std::string_view header;  // signature bytes; "?" matches any byte
    std::uint64_t maxLength;  // largest file of the type
    bool ignoreCase;          // ASCII letters compare without regard to case
};

// The types in the scan's table order; a type with several signatures (an
// MP3 starts with its tag or a frame, a page with "<html" or its doctype)
// has one entry for each, in a row.
std::span<const CardSignature> CardSignatures();
// The first signature of the group.
const CardSignature* FindCardSignature(std::string_view group);

// The first group whose header starts at bytes[at]; nothing when none does.
std::optional<std::string_view> HeaderGroupAt(std::span<const std::uint8_t> bytes, std::size_t at);
// Every group with a header at bytes[at], in table order.
std::vector<std::string_view> HeaderGroupsAt(std::span<const std::uint8_t> bytes, std::size_t at);
// The signature of the group that matches at bytes[at], if any.
const CardSignature* SignatureAt(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at);

// True when the bytes at `at` carry the header of `group` but fail the first
// check of that type's extractor, so that the header is passed over without
// recording and without a look at the bytes far behind it: a JPEG without an
// APP0/APP1 segment, a GIF of an unknown version, a BMP whose fields are out
// of range, a RIFF of an unknown form, an MPEG pack without a system header,
// a PNG of an impossible size, an "MZ" without a PE header in range, an
// "<html" followed by binary bytes, an FF that starts no MPEG audio frame,
// an "ftyp" box of an impossible size, a RIFF of form WEBP without a WebP
// chunk first. Other types are never taken as turned down here. At least
// 512 bytes must follow `at` in the scanned chunk.
bool RejectedAtFirstCheck(std::string_view group, std::span<const std::uint8_t> bytes, std::size_t at);

}  // namespace qb::tools
