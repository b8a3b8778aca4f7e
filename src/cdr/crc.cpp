#include "src/cdr/crc.h"

#include <array>

namespace qb::cdr {
namespace {

constexpr std::array<std::uint32_t, 256> ReflectedTable() {
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> DirectTable() {
    std::array<std::uint32_t, 256> table {};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kReflected = ReflectedTable();
constexpr std::array<std::uint32_t, 256> kDirect = DirectTable();

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) c = kReflected[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t OggCrc32(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
    std::uint32_t c = crc;
    for (std::uint8_t b : bytes) c = (c << 8) ^ kDirect[((c >> 24) ^ b) & 0xFF];
    return c;
}

std::uint8_t Crc8(std::span<const std::uint8_t> bytes) {
    std::uint8_t c = 0;
    for (std::uint8_t b : bytes) {
        c ^= b;
        for (int k = 0; k < 8; ++k) c = static_cast<std::uint8_t>((c & 0x80) ? (c << 1) ^ 0x07 : c << 1);
    }
    return c;
}

}  // namespace qb::cdr
