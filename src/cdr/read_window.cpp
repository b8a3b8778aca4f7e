#include "src/cdr/read_window.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace qb::cdr {
namespace {

constexpr std::uint64_t kSector = 512;
// Zero bytes kept after the bytes held, so that a signature compare at the
// very end never reads outside the buffer.
constexpr std::size_t kSlack = 64;
// After a read that failed part-way, this many bytes are read one sector at
// a time: a device may fail a whole request for one bad sector in it.
constexpr std::uint64_t kCarefulSpan = 65536;
constexpr std::size_t kGrowthUnit = 1 << 16;
constexpr std::uint64_t kFarBlock = 65536;
constexpr std::size_t kFarBlocksKept = 8;

std::uint64_t AlignDown(std::uint64_t v) { return v / kSector * kSector; }
std::uint64_t AlignUp(std::uint64_t v) { return v > UINT64_MAX - (kSector - 1) ? AlignDown(v) : AlignDown(v + kSector - 1); }

}  // namespace

std::uint64_t FarReadBudget(std::uint64_t diskSize) {
    constexpr std::uint64_t kBase = 16 * 1048576;
    return diskSize == 0 ? 4 * kBase : kBase + diskSize / 16;
}

ReadWindow::ReadWindow(const platform::ByteSource& disk, std::uint64_t diskEnd) : disk_(disk), diskEnd_(diskEnd) {}

bool ReadWindow::Cover(std::uint64_t from, std::uint64_t to) {
    from = AlignDown(from);
    if (from < begin_ || from > end() || length_ == 0) {
        // Nothing held can be kept.
        head_ = 0;
        length_ = 0;
        begin_ = from;
        ended_ = false;
    } else {
        const std::size_t drop = static_cast<std::size_t>(from - begin_);
        head_ += drop;
        length_ -= drop;
        begin_ = from;
    }
    return Extend(to);
}

bool ReadWindow::Extend(std::uint64_t to) {
    if (to <= end() || AtDiskEnd()) return true;
    std::uint64_t want = AlignUp(to);
    if (diskEnd_ != 0) want = std::min(want, AlignUp(diskEnd_));
    if (want <= end()) return true;
    const std::uint64_t span = want - begin_;
    if (span > SIZE_MAX - kSlack) return false;
    if (!Reserve(static_cast<std::size_t>(span) + kSlack)) return false;
    std::uint8_t* at = buffer_.get() + head_ + length_;
    const std::uint64_t got = Fill(end(), want, at);
    length_ += static_cast<std::size_t>(got);
    std::memset(buffer_.get() + head_ + length_, 0, kSlack);
    return true;
}

bool ReadWindow::Reserve(std::size_t bytes) {
    if (head_ + bytes <= capacity_) return true;
    if (bytes <= capacity_) {
        // Room enough once the bytes let go of are given back.
        std::memmove(buffer_.get(), buffer_.get() + head_, length_);
        head_ = 0;
        return true;
    }
    std::size_t grown = std::max(bytes, capacity_ + capacity_ / 2);
    grown = (grown + kGrowthUnit - 1) / kGrowthUnit * kGrowthUnit;
    // The old buffer is let go before the new one is taken when nothing in
    // it is kept, so that the two are never held at once for nothing.
    if (length_ == 0) {
        buffer_.reset();
        capacity_ = 0;
        head_ = 0;
    }
    std::unique_ptr<std::uint8_t[]> bigger(new (std::nothrow) std::uint8_t[grown]);
    if (!bigger) return false;
    if (length_ > 0) std::memcpy(bigger.get(), buffer_.get() + head_, length_);
    buffer_ = std::move(bigger);
    capacity_ = grown;
    head_ = 0;
    return true;
}

void ReadWindow::NoteUnreadable(std::uint64_t offset, std::uint64_t length) {
    if (!unreadable_.empty()) {
        ByteRange& last = unreadable_.back();
        if (last.offset + last.length == offset) {
            last.length += length;
            return;
        }
        if (offset < last.offset + last.length) return;  // read again, already listed
    }
    unreadable_.push_back({offset, length});
}

std::uint64_t ReadWindow::Fill(std::uint64_t from, std::uint64_t to, std::uint8_t* dst) {
    std::uint64_t pos = from;
    std::uint64_t careful = from;  // up to here, one sector at a time
    while (pos < to) {
        const std::uint64_t piece = pos < careful ? std::min(kSector, to - pos) : to - pos;
        const std::size_t asked = static_cast<std::size_t>(std::min<std::uint64_t>(piece, SIZE_MAX));
        const std::size_t got = std::min(disk_.ReadAt(pos, dst + (pos - from), asked), asked);
        bytesRead_ += got;
        pos += got;
        if (got == asked) continue;
        if (diskEnd_ == 0 || pos >= diskEnd_) {
            ended_ = true;
            break;
        }
        if (pos >= careful) {
            // A request failed somewhere in it: go through the next stretch
            // a sector at a time to find the sector that cannot be read.
            careful = std::min(to, AlignDown(pos) + kCarefulSpan);
            pos = std::max(AlignDown(pos), from);
            continue;
        }
        const std::uint64_t bad = AlignDown(pos);
        const std::uint64_t badEnd = std::min({bad + kSector, to, diskEnd_});
        std::memset(dst + (pos - from), 0, static_cast<std::size_t>(badEnd - pos));
        NoteUnreadable(bad, badEnd - bad);
        pos = badEnd;
    }
    const std::uint64_t last = diskEnd_ != 0 ? std::min(pos, diskEnd_) : pos;
    return last - from;
}

bool ReadWindow::ReadFar(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t n = out.size();
    if (n == 0) return true;
    if (offset > UINT64_MAX - n) return false;
    if (offset >= begin_ && offset + n <= end()) {
        std::memcpy(out.data(), buffer_.get() + head_ + (offset - begin_), out.size());
        return true;
    }
    if (diskEnd_ != 0 && offset + n > diskEnd_) return false;
    // Block by block, from the blocks kept or read now.
    std::uint64_t done = 0;
    while (done < n) {
        const std::uint64_t at = offset + done;
        const std::uint64_t block = at / kFarBlock * kFarBlock;
        auto kept = std::find_if(farBlocks_.begin(), farBlocks_.end(), [&](const FarBlock& b) { return b.offset == block; });
        if (kept == farBlocks_.end()) {
            if (farBytesRead_ + kFarBlock > FarReadBudget(diskEnd_)) return false;
            FarBlock fresh;
            fresh.offset = block;
            try {
                fresh.bytes.resize(kFarBlock);
            } catch (const std::bad_alloc&) {
                return false;
            }
            const std::size_t got = std::min<std::size_t>(disk_.ReadAt(block, fresh.bytes.data(), kFarBlock), kFarBlock);
            bytesRead_ += got;
            farBytesRead_ += got;
            // Short at the disk's end, or before a sector that cannot be
            // read (the bytes past it are then read sector by sector).
            fresh.bytes.resize(got);
            if (farBlocks_.size() >= kFarBlocksKept) farBlocks_.erase(farBlocks_.begin());
            farBlocks_.push_back(std::move(fresh));
            kept = farBlocks_.end() - 1;
        } else if (kept != farBlocks_.end() - 1) {
            std::rotate(kept, kept + 1, farBlocks_.end());
            kept = farBlocks_.end() - 1;
        }
        const std::uint64_t inBlock = at - block;
        if (inBlock >= kept->bytes.size()) return ReadFarSectors(at, out.subspan(static_cast<std::size_t>(done)));
        const std::uint64_t take = std::min<std::uint64_t>(n - done, kept->bytes.size() - inBlock);
        std::memcpy(out.data() + done, kept->bytes.data() + inBlock, static_cast<std::size_t>(take));
        done += take;
    }
    return true;
}

bool ReadWindow::ReadFarSectors(std::uint64_t offset, std::span<std::uint8_t> out) {
    const std::uint64_t first = AlignDown(offset);
    const std::uint64_t last = AlignUp(offset + out.size());
    if (last - first > kFarBlock || farBytesRead_ + (last - first) > FarReadBudget(diskEnd_)) return false;
    const std::size_t want = static_cast<std::size_t>(last - first);
    std::vector<std::uint8_t> sectors;
    try {
        sectors.resize(want);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::size_t got = std::min(disk_.ReadAt(first, sectors.data(), want), want);
    bytesRead_ += got;
    farBytesRead_ += got;
    if (got < offset + out.size() - first) return false;
    std::memcpy(out.data(), sectors.data() + (offset - first), out.size());
    return true;
}

}  // namespace qb::cdr
