// The read-ahead window between the carving engine and the disk: the bytes
// of one range of disk offsets, each read from the device once. The scan
// moves it forward a chunk at a time and stretches it when a file runs on
// past the chunk's end; the bytes taken in for that file are the next
// chunks' bytes, so they are not read again. Reads are whole sectors at
// sector offsets, as a raw device needs them. A sector the device cannot
// read is skipped: it reads as zeros, and its place is kept in a list.
//
// Far reads (the box headers of a long video, read where they lie ahead of
// the window) come in 64 KiB blocks, a few of them kept, so that a walk over
// many boxes costs one read per block. They are the only bytes that may be
// read twice (again when the window gets there), and they are limited to
// FarReadBudget of the disk's size: whatever the disk holds, the device is
// read little more than once over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"

namespace qb::cdr {

// A run of disk bytes, [offset, offset + length).
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The most bytes far reads may take from a disk of this size (0: unknown).
std::uint64_t FarReadBudget(std::uint64_t diskSize);

class ReadWindow {
public:
    // diskEnd: where the device ends (0: unknown; a short read is then taken
    // as the end rather than as a fault).
    ReadWindow(const platform::ByteSource& disk, std::uint64_t diskEnd);

    // Lets go of the bytes before `from` and holds [from, to), as far as the
    // disk reaches. False when the memory for it cannot be had.
    bool Cover(std::uint64_t from, std::uint64_t to);
    // Holds the bytes up to `to` as well, keeping those from begin() on.
    bool Extend(std::uint64_t to);

    std::uint64_t begin() const { return begin_; }
    std::uint64_t end() const { return begin_ + length_; }
    // True when the window reaches the disk's last byte.
    bool AtDiskEnd() const { return ended_ || (diskEnd_ != 0 && end() >= diskEnd_); }
    std::uint64_t diskEnd() const { return diskEnd_; }

    // The bytes held from `offset` (which lies in [begin(), end()]) on.
    std::span<const std::uint8_t> From(std::uint64_t offset) const {
        return {buffer_.get() + head_ + (offset - begin_), static_cast<std::size_t>(end() - offset)};
    }

    // Copies bytes anywhere on the disk without moving the window: from the
    // window where it holds them, else from the device in whole sectors.
    // False when any of them cannot be read.
    bool ReadFar(std::uint64_t offset, std::span<std::uint8_t> out);

    // Bytes the device delivered, every read counted.
    std::uint64_t bytesRead() const { return bytesRead_; }
    // Of those, the bytes far reads took.
    std::uint64_t farBytesRead() const { return farBytesRead_; }
    // The sectors that could not be read, in disk order, neighbours merged.
    const std::vector<ByteRange>& unreadable() const { return unreadable_; }

private:
    // Reads [from, to) of the disk into dst, skipping unreadable sectors;
    // returns how many bytes lie before the disk's end.
    std::uint64_t Fill(std::uint64_t from, std::uint64_t to, std::uint8_t* dst);
    bool Reserve(std::size_t bytes);
    // A far read inside a block that could not be read whole: just the
    // sectors it needs.
    bool ReadFarSectors(std::uint64_t offset, std::span<std::uint8_t> out);
    void NoteUnreadable(std::uint64_t offset, std::uint64_t length);

    const platform::ByteSource& disk_;
    const std::uint64_t diskEnd_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t head_ = 0;     // buffer index of begin_
    std::uint64_t begin_ = 0;  // disk offset of the first byte held
    std::size_t length_ = 0;   // bytes held
    bool ended_ = false;       // the device gave no more bytes after end()
    std::uint64_t bytesRead_ = 0;
    std::uint64_t farBytesRead_ = 0;
    std::vector<ByteRange> unreadable_;
    // Far blocks kept, the most recently used last.
    struct FarBlock {
        std::uint64_t offset = 0;
        std::vector<std::uint8_t> bytes;  // fewer than a block at the disk's end
    };
    std::vector<FarBlock> farBlocks_;
};

}  // namespace qb::cdr
