// Lays samples into a raw card image at chosen offsets, with filler between
// them, and keeps the ground truth of what a quick scan of the image finds.
//
// What a quick scan records, and how the layout keeps that exact:
//  - Headers are looked for at 512-byte block boundaries only. Every header
//    of the carved types that lies at a block boundary of the image is
//    planned (a block may carry the headers of several types: an FF that
//    starts a JPEG also starts no MP3 frame): the first byte of a recorded sample or of a decoy, a header
//    inside a recorded sample of the same type that the search steps over
//    (it continues after the file), or one that its type turns down at the
//    first check (RejectedAtFirstCheck). Filler that happens to hold a
//    header at a block boundary is changed; a sample that holds any other
//    is refused, and the generator takes another variant of it.
//  - A recorded sample that does not cross a 4 MiB chunk boundary ends at
//    least kChunkMargin bytes before the boundary, so every rule sees it
//    whole with room to spare, and is recorded from the chunk's bytes.
//  - A sample placed across a boundary has its header in the chunk before
//    and its end in a later chunk: its extractor cannot decide from the
//    chunk's bytes, the engine takes in the bytes after the chunk (once, as
//    the next chunks' bytes) and records the file from those. Nothing else
//    is placed after it in that chunk, and no same-type header lies at a
//    block boundary inside its part in the later chunks.
//  - Decoys lie at block boundaries and are turned down by their type's
//    rule without needing bytes past the chunk. Unaligned samples are whole
//    files whose header lies off a block boundary: never searched for.
//  - A QuickTime movie begins 4 bytes before its "moov" header, which lies
//    at a block boundary; at least 8 zero bytes follow it so the atom walk
//    ends at the movie's last atom.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/sample_card/card_truth.h"

namespace qb::tools {

inline constexpr std::uint64_t kCardBlockSize = 512;
inline constexpr std::uint64_t kCardChunkSize = 4194304;
// Room left between a file that does not cross a chunk boundary and the
// boundary.
inline constexpr std::uint64_t kChunkMargin = 65536;

enum class SampleRole {
    Recorded,   // the scan records it
    Decoy,      // its header lies at a block boundary; its type turns it down
    Unaligned,  // a whole file whose header lies off a block boundary
};

struct CardSample {
    std::string kind;                // what it is ("jpeg-exif", "bmp-height-2001", ...)
    std::string group;               // the type whose header it carries
    std::vector<std::uint8_t> bytes;
    std::uint64_t headerAt = 0;      // the header's position in bytes (4 for a QuickTime movie)
    SampleRole role = SampleRole::Recorded;
    // Recorded samples: what the scan records from the sample's first byte
    // (RecordedFileOf); bytes is padded with zeros when the size exceeds it.
    std::uint64_t recordedSize = 0;
    std::string suffix;
};

struct SampleCard {
    std::vector<std::uint8_t> image;
    CardTruth truth;
};

class CardLayout {
public:
    explicit CardLayout(std::uint64_t seed);

    // Where the next sample would start (a block boundary).
    std::uint64_t Cursor() const { return cursor_; }

    // Each placement returns false, and leaves the layout as it was, when the
    // sample holds a header at a block boundary that is not planned there
    // (*why says which); the caller then tries another variant.
    //
    // At the next block boundary after a short random gap; a recorded sample
    // that would come within kChunkMargin of a chunk boundary starts after
    // that boundary instead.
    bool Place(const CardSample& sample, std::string* why);
    // With the header `lead` bytes (a multiple of the block size, less than
    // the recorded size) before the first chunk boundary that leaves room.
    bool PlaceAcross(const CardSample& sample, std::uint64_t lead, std::string* why);
    // With the header `misalignment` bytes (1 to 511) past a block boundary.
    bool PlaceUnaligned(const CardSample& sample, std::uint64_t misalignment, std::string* why);
    // Like Place, with a filler sector right before the sample listed in the
    // truth as one a test's disk cannot read.
    bool PlaceBehindUnreadable(const CardSample& sample, std::string* why);

    // Trailing filler, the final check of every block boundary, and the
    // truth. Nothing when a block boundary holds an unplanned header that
    // cannot be removed (*why says where).
    std::optional<SampleCard> Finish(std::uint64_t seed, std::uint32_t scale, std::string* why);

private:
    struct Placed {
        std::uint64_t start = 0;  // first byte on the card
        std::uint64_t end = 0;    // past the last byte of the sample's bytes
        std::uint64_t header = 0;
        std::string group;
        SampleRole role = SampleRole::Recorded;
        std::uint64_t recordedEnd = 0;
        bool crosses = false;
    };

    bool PlaceAt(const CardSample& sample, std::uint64_t start, std::string* why);
    std::optional<std::string> UnplannedHeader(const CardSample& sample, std::uint64_t start) const;
    void FillTo(std::uint64_t offset);
    std::uint64_t RandomGap();
    // The filler interval that holds `offset`, if any.
    bool InFiller(std::uint64_t offset) const;

    std::mt19937_64 random_;
    std::vector<std::uint8_t> image_;
    std::uint64_t cursor_ = 0;
    std::vector<Placed> placed_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> filler_;  // [begin, end), ascending
    std::vector<std::uint64_t> zeroAfter_;                       // QuickTime ends: 8 zero bytes follow
    CardTruth truth_;
};

}  // namespace qb::tools
