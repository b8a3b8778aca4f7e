#include "platform/sector_reads.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace qb::platform {
namespace {

constexpr std::uint32_t kDefaultSector = 512;
// The bounce buffer's size, and the largest direct read asked for at once
// (ReadFile counts in 32 bits).
constexpr std::size_t kBounceBytes = 1u << 20;
constexpr std::size_t kDirectBytes = 1u << 26;

bool IsPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// An aligned scratch buffer for one call; readers on other threads have
// their own.
class Bounce {
public:
    Bounce(std::size_t bytes, std::size_t alignment)
        : storage_(new unsigned char[bytes + alignment]), bytes_(bytes) {
        void* at = storage_.get();
        std::size_t space = bytes + alignment;
        data_ = static_cast<unsigned char*>(std::align(alignment, bytes, at, space));
    }
    unsigned char* data() const { return data_; }
    std::size_t size() const { return bytes_; }

private:
    std::unique_ptr<unsigned char[]> storage_;
    std::size_t bytes_;
    unsigned char* data_ = nullptr;
};

}  // namespace

std::size_t ReadThroughSectors(std::uint64_t offset, void* dst, std::size_t n, std::uint32_t sectorSize,
                               std::uint64_t deviceSize, const SectorRead& readSectors) {
    const std::uint64_t sector = IsPowerOfTwo(sectorSize) && sectorSize <= kBounceBytes ? sectorSize : kDefaultSector;
    if (n == 0) return 0;
    if (offset > UINT64_MAX - n) n = static_cast<std::size_t>(UINT64_MAX - offset);
    // The device's end, rounded up to its last (possibly partial) sector.
    std::uint64_t limit = UINT64_MAX / sector * sector;
    if (deviceSize != 0) {
        if (offset >= deviceSize) return 0;
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, deviceSize - offset));
        limit = std::min(limit, (deviceSize + sector - 1) / sector * sector);
    }

    auto* out = static_cast<unsigned char*>(dst);
    std::unique_ptr<Bounce> bounce;
    std::size_t total = 0;
    while (total < n) {
        const std::uint64_t at = offset + total;
        const std::uint64_t lead = at % sector;
        const std::uint64_t base = at - lead;
        if (base >= limit) break;
        const std::size_t remaining = n - total;
        unsigned char* target = out + total;

        // Whole sectors into memory the device can fill directly.
        if (lead == 0 && remaining >= sector && reinterpret_cast<std::uintptr_t>(target) % sector == 0) {
            const std::uint64_t want =
                std::min<std::uint64_t>({remaining / sector * sector, kDirectBytes, limit - base});
            const std::size_t got = readSectors(base, target, static_cast<std::size_t>(want));
            total += std::min<std::size_t>(got, static_cast<std::size_t>(want));
            if (got < want) break;
            continue;
        }

        // Anything else passes through the bounce buffer, a whole number of
        // sectors at a time.
        if (!bounce) bounce = std::make_unique<Bounce>(kBounceBytes, static_cast<std::size_t>(sector));
        const std::uint64_t wanted = lead + std::min<std::uint64_t>(remaining, bounce->size());
        const std::uint64_t span =
            std::min<std::uint64_t>({(wanted + sector - 1) / sector * sector, bounce->size(), limit - base});
        const std::size_t got =
            std::min<std::size_t>(readSectors(base, bounce->data(), static_cast<std::size_t>(span)),
                                  static_cast<std::size_t>(span));
        if (got <= lead) break;
        const std::size_t take = std::min<std::size_t>(got - static_cast<std::size_t>(lead), remaining);
        std::memcpy(target, bounce->data() + lead, take);
        total += take;
        if (got < span) break;
    }
    return total;
}

}  // namespace qb::platform
