#include "dbrecover/sqlite_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/file.h"

namespace qb::dbrecover {

Varint ReadVarint(std::span<const std::uint8_t> buffer, std::size_t position) {
    std::array<std::uint8_t, 9> bytes {};
    for (std::size_t i = 0; i < bytes.size() && position < buffer.size() && i < buffer.size() - position; ++i) {
        bytes[i] = buffer[position + i];
    }
    return ReadVarintPadded(bytes.data());
}

std::uint64_t ReadBigEndian(std::span<const std::uint8_t> buffer, std::size_t position, unsigned n) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < std::min(n, 8u); ++i) {
        const std::uint8_t b = position < buffer.size() && i < buffer.size() - position ? buffer[position + i] : 0;
        v = (v << 8) | b;
    }
    return v;
}

std::uint64_t ReadIntegerContent(const std::uint8_t* p, std::uint32_t serialType) {
    if (serialType == 8) return 0;
    if (serialType == 9) return 1;
    const auto n = static_cast<unsigned>(std::min<std::uint64_t>(SerialTypeSize(serialType), 8));
    std::uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 8) | p[i];
    return v;
}

bool IsValidUtf8Text(const std::uint8_t* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        // Most text is printable ASCII: take it eight bytes at a time while
        // every byte lies in 0x20..0x7E.
        while (n - i >= 8) {
            std::uint64_t w;
            std::memcpy(&w, s + i, 8);
            constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
            const bool belowSpace = ((w - 0x20 * kOnes) & ~w & kHigh) != 0;
            const bool highOrDel = ((w + 0x01 * kOnes) | w) & kHigh;
            if (belowSpace || highOrDel) break;
            i += 8;
        }
        if (i >= n) break;
        const std::uint8_t b = s[i];
        if (b >= 0x20 && b <= 0x7E) {
            ++i;
            continue;
        }
        if (b == 0x09 || b == 0x0A || b == 0x0D) {
            ++i;
            continue;
        }
        // Second-byte range and length of each multi-byte lead.
        std::uint8_t lo = 0x80, hi = 0xBF;
        std::size_t len;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
        } else if (b == 0xE0) {
            len = 3, lo = 0xA0;
        } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
            len = 3;
        } else if (b == 0xED) {
            len = 3, hi = 0x9F;
        } else if (b == 0xF0) {
            len = 4, lo = 0x90;
        } else if (b >= 0xF1 && b <= 0xF3) {
            len = 4;
        } else if (b == 0xF4) {
            len = 4, hi = 0x8F;
        } else {
            return false;
        }
        if (len > n - i) return false;
        if (s[i + 1] < lo || s[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k) {
            if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
        }
        i += len;
    }
    return true;
}

std::uint32_t ReadPageSize(const std::string& path) {
    auto file = platform::ReadOnlyFile::Open(path);
    if (!file) return 0;
    std::uint8_t b[2] = {0, 0};
    file->ReadAt(16, b, 2);
    return b[0] * 256u + b[1];
}

std::uint32_t PageSizeFromField(std::uint32_t field) {
    if (field == 1) return 65536;
    if (field < 512 || field > 65536 || (field & (field - 1)) != 0) return 0;
    return field;
}

}  // namespace qb::dbrecover
