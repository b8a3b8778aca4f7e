// Byte-level writing for the sample builders: integers appended in either
// byte order, fields patched in place at an offset, the CRC-32 that ZIP,
// RAR and PNG carry, and a small deterministic generator for filler bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qb::tools {

// Appended at the end of `out`.
void Put8(std::vector<std::uint8_t>& out, unsigned v);
void PutBe16(std::vector<std::uint8_t>& out, unsigned v);
void PutBe32(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutLe16(std::vector<std::uint8_t>& out, unsigned v);
void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t v);
void PutLe64(std::vector<std::uint8_t>& out, std::uint64_t v);
void PutText(std::vector<std::uint8_t>& out, std::string_view text);
void PutBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more);
void PutZeros(std::vector<std::uint8_t>& out, std::size_t n);

// Written over the bytes at `at`, which must already exist.
void SetLe16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v);
void SetLe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v);
void SetLe64(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v);
void SetBe32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v);

// CRC-32 as ZIP, RAR and PNG use it (reflected, polynomial EDB88320), from zlib.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// One step of a 32-bit xorshift generator (shifts 13, 17, 5); a zero state
// stays zero.
std::uint32_t XorShift32(std::uint32_t& state);

}  // namespace qb::tools
