#include "tests/app/gdi_count.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace qb::app::testsupport {
namespace {

constexpr std::size_t kEntrySize = 24;
constexpr std::size_t kEntries = 0x10000;

const std::uint8_t* SharedHandleTable() {
    const std::uint8_t* peb = nullptr;
#if defined(__i386__)
    __asm__("movl %%fs:0x30, %0" : "=r"(peb));
    return peb != nullptr ? *reinterpret_cast<const std::uint8_t* const*>(peb + 0x94) : nullptr;
#else
    return nullptr;
#endif
}

}  // namespace

std::size_t GdiObjectCount() {
    const DWORD reported = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return reported;
    const std::uint8_t* table = SharedHandleTable();
    if (table == nullptr) return 0;
    MEMORY_BASIC_INFORMATION region {};
    if (::VirtualQuery(table, &region, sizeof region) == 0) return 0;
    const std::size_t readable =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize - table);
    const std::size_t entries = readable / kEntrySize < kEntries ? readable / kEntrySize : kEntries;
    std::size_t used = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        std::uint64_t object = 0;
        std::memcpy(&object, table + i * kEntrySize, sizeof object);
        if (object != 0 && table[i * kEntrySize + 14] != 0) ++used;
    }
    return used;
}

}  // namespace qb::app::testsupport
