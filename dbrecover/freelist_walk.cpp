#include "dbrecover/freelist_walk.h"
#include "dbrecover/sqlite_file.h"

#include <algorithm>
#include <unordered_set>

namespace qb::dbrecover {

Freelist WalkFreelist(std::uint32_t firstTrunk, std::uint32_t pageCount, std::uint32_t pageSize,
                      std::uint32_t usableSize, const ReadPageFn& readPage) {
    Freelist list;
    if (pageSize < 512 || usableSize < 480 || usableSize > pageSize) return list;
    std::unordered_set<std::uint32_t> seen;
    std::vector<std::uint8_t> page(pageSize);
    const std::uint32_t maxLeaves = usableSize / 4 - 2;
    std::uint32_t trunk = firstTrunk;
    while (trunk != 0 && trunk <= pageCount && seen.size() < pageCount && seen.insert(trunk).second) {
        std::fill(page.begin(), page.end(), 0);
        if (readPage(trunk, page.data()) < 8) break;
        list.trunks.push_back(trunk);
        const std::uint32_t count = std::min(Get32(page.data() + 4), maxLeaves);
        list.trunkCounts.push_back(static_cast<std::uint16_t>(count));
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t leaf = Get32(page.data() + 8 + 4 * i);
            if (leaf == 0 || leaf > pageCount || !seen.insert(leaf).second) continue;
            list.leaves.push_back(leaf);
        }
        trunk = Get32(page.data());
    }
    return list;
}

}  // namespace qb::dbrecover
