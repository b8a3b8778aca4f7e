// Pictures that carry more than one image: a motion photo (a JPEG with the
// video of the moments around it appended, Google's Motion Photo format and
// the older MicroVideo form), an Ultra HDR photo (a JPEG with its gain-map
// JPEG appended), and camera JPEGs with a large preview appended. The
// primary image's metadata says what follows it: the Multi-Picture Format
// index (APP2 "MPF") gives each image's offset and size, the XMP container
// directory (APP1 XMP, Container:Directory) each item's length. The JPEG
// extractor feeds the segments it walks through, and once it has found the
// end of the primary image asks where the whole file ends.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qb::cdr {

class JpegAppendedImages {
public:
    // One marker segment of the primary image: its marker code and the
    // segment's data (after the length field), which starts at dataOffset
    // in the file.
    void Segment(std::uint8_t marker, std::uint64_t dataOffset, std::span<const std::uint8_t> data);

    // Where the file ends when the metadata names images or a video after
    // the primary image, which ends at primaryEnd; nothing when it names
    // none. The end is only given when what the metadata says lies there
    // starts with the signature of its kind (FF D8 FF for a JPEG, "ftyp"
    // for a video) in `file`, the bytes from the file's start; when those
    // bytes stop short of it, *needMore is set and nothing is returned.
    std::optional<std::uint64_t> FileEnd(std::uint64_t primaryEnd, std::span<const std::uint8_t> file,
                                         bool* needMore) const;

private:
    struct Item {
        std::uint64_t start = 0;   // relative to the file start
        std::uint64_t length = 0;
        bool video = false;
    };
    void ReadMpf(std::uint64_t dataOffset, std::span<const std::uint8_t> data);
    void ReadXmp(std::span<const std::uint8_t> text);

    std::vector<Item> mpfImages_;  // the images after the first, by the MPF index
    // The XMP container directory's items after the primary, in order: the
    // primary's padding and each item's length.
    std::uint64_t primaryPadding_ = 0;
    struct Entry {
        std::uint64_t length = 0;
        std::uint64_t padding = 0;
        bool video = false;
    };
    std::vector<Entry> directory_;
    std::uint64_t microVideoLength_ = 0;  // GCamera:MicroVideoOffset: the video's length
};

}  // namespace qb::cdr
