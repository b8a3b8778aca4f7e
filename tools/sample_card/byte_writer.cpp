#include "tools/sample_card/byte_writer.h"

#include <zlib.h>

namespace qb::tools {

void Put8(std::vector<std::uint8_t>& out, unsigned v) { out.push_back(static_cast<std::uint8_t>(v)); }

void PutBe16(std::vector<std::uint8_t>& out, unsigned v) {
    Put8(out, (v >> 8) & 0xFF);
    Put8(out, v & 0xFF);
}

void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutBe16(out, v >> 16);
    PutBe16(out, v & 0xFFFF);
}

void PutLe16(std::vector<std::uint8_t>& out, unsigned v) {
    Put8(out, v & 0xFF);
    Put8(out, (v >> 8) & 0xFF);
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    PutLe16(out, v & 0xFFFF);
    PutLe16(out, v >> 16);
}

void PutLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    PutLe32(out, static_cast<std::uint32_t>(v));
    PutLe32(out, static_cast<std::uint32_t>(v >> 32));
}

void PutText(std::vector<std::uint8_t>& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

void PutBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

void PutZeros(std::vector<std::uint8_t>& out, std::size_t n) { out.insert(out.end(), n, 0); }

void SetLe16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void SetLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void SetLe64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void SetBe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
    return static_cast<std::uint32_t>(crc32_z(crc, data, size));
}

std::uint32_t XorShift32(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

}  // namespace qb::tools
