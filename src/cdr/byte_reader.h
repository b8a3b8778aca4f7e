// Bounded integer reads for the extractors: every read names its offset and
// is refused (nothing) when the field does not lie wholly inside the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace qb::cdr {

class ByteView {
public:
    explicit ByteView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    const std::uint8_t* data() const { return bytes_.data(); }
    std::span<const std::uint8_t> span() const { return bytes_; }

    // True when [offset, offset + length) lies inside the bytes (no overflow).
    bool Has(std::uint64_t offset, std::uint64_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    // The bytes from offset on, at most length of them; empty past the end.
    std::span<const std::uint8_t> Sub(std::uint64_t offset, std::uint64_t length = UINT64_MAX) const {
        if (offset >= bytes_.size()) return {};
        const std::uint64_t left = bytes_.size() - offset;
        return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length < left ? length : left));
    }

    std::optional<std::uint8_t> U8(std::uint64_t at) const {
        if (!Has(at, 1)) return std::nullopt;
        return bytes_[static_cast<std::size_t>(at)];
    }
    std::optional<std::uint16_t> Le16(std::uint64_t at) const { return Read<std::uint16_t, 2, false>(at); }
    std::optional<std::uint32_t> Le32(std::uint64_t at) const { return Read<std::uint32_t, 4, false>(at); }
    std::optional<std::uint64_t> Le64(std::uint64_t at) const { return Read<std::uint64_t, 8, false>(at); }
    std::optional<std::uint16_t> Be16(std::uint64_t at) const { return Read<std::uint16_t, 2, true>(at); }
    std::optional<std::uint32_t> Be32(std::uint64_t at) const { return Read<std::uint32_t, 4, true>(at); }

    // True when the bytes at offset equal text (and lie inside).
    bool Equals(std::uint64_t at, std::span<const std::uint8_t> text) const;
    bool Equals(std::uint64_t at, const char* text) const;

private:
    template <typename T, int N, bool BigEndian>
    std::optional<T> Read(std::uint64_t at) const {
        if (!Has(at, N)) return std::nullopt;
        const std::uint8_t* p = bytes_.data() + at;
        T v = 0;
        for (int i = 0; i < N; ++i) {
            const int shift = BigEndian ? 8 * (N - 1 - i) : 8 * i;
            v = static_cast<T>(v | static_cast<T>(static_cast<T>(p[i]) << shift));
        }
        return v;
    }

    std::span<const std::uint8_t> bytes_;
};

inline bool ByteView::Equals(std::uint64_t at, std::span<const std::uint8_t> text) const {
    if (!Has(at, text.size())) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (bytes_[static_cast<std::size_t>(at) + i] != text[i]) return false;
    return true;
}

inline bool ByteView::Equals(std::uint64_t at, const char* text) const {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return Equals(at, std::span(reinterpret_cast<const std::uint8_t*>(text), n));
}

// Bytes of the disk beyond those an extractor was given, read where they
// lie: the boxes of a long video are far apart, and only their headers are
// needed, not the megabytes between them.
class FarBytes {
public:
    virtual ~FarBytes() = default;
    // Copies out.size() bytes that lie `offset` bytes after the header;
    // false when they cannot be had (past the disk's end, beyond the type's
    // maxLength, or unreadable).
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// The bytes from a header on as far as they reach: those given, then those
// the far reader fetches (none without one).
class ReachView {
public:
    ReachView(std::span<const std::uint8_t> near, const FarBytes* far) : near_(near), far_(far) {}

    std::uint64_t nearSize() const { return near_.size(); }
    bool Read(std::uint64_t at, std::span<std::uint8_t> out) const {
        if (at <= near_.size() && out.size() <= near_.size() - at) {
            for (std::size_t i = 0; i < out.size(); ++i) out[i] = near_[static_cast<std::size_t>(at) + i];
            return true;
        }
        return far_ != nullptr && far_->Read(at, out);
    }
    std::optional<std::uint8_t> U8(std::uint64_t at) const { return Get<std::uint8_t, 1>(at); }
    std::optional<std::uint32_t> Be32(std::uint64_t at) const { return Get<std::uint32_t, 4>(at); }
    std::optional<std::uint64_t> Be64(std::uint64_t at) const { return Get<std::uint64_t, 8>(at); }

private:
    template <typename T, int N>
    std::optional<T> Get(std::uint64_t at) const {
        std::uint8_t raw[N];
        if (!Read(at, std::span<std::uint8_t>(raw, N))) return std::nullopt;
        T v = 0;
        for (int i = 0; i < N; ++i) v = static_cast<T>((v << 8) | raw[i]);
        return v;
    }

    std::span<const std::uint8_t> near_;
    const FarBytes* far_;
};

}  // namespace qb::cdr
