// How many bytes a quick scan records for a sample that lies whole on the
// card, worked out from the sample's own structure by the rule its type's
// extractor follows. For most samples that is the whole file; it is less
// where the rule stops early (an HTML page ends at its first "</html>", a
// PDF without linearisation at its first "%%EOF" line, a QuickTime movie
// before the first top-level atom the walk does not know), and for an OLE
// compound file it is the size the rule computes from the header and the
// directory, which may differ from the file's length either way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qb::tools {

struct RecordedFile {
    std::uint64_t size = 0;
    std::string suffix;  // the extension the file is recorded with
};

// bytes: the sample from its first byte (for a QuickTime movie the first
// atom's size, 4 bytes before the "moov" header). Nothing when the rule does
// not delimit the sample from its own bytes (a structure the rule cannot
// walk, a footer missing or found too early, a field out of range).
std::optional<RecordedFile> RecordedFileOf(std::string_view group, std::span<const std::uint8_t> bytes);

}  // namespace qb::tools
