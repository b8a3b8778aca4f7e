#include "tests/cdr/extractor_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qb::cdr::extractortest {

TypeSpec SpecFor(int typeId, std::optional<std::uint64_t> maxLength) {
    int base = typeId;
    if (typeId == kTypeAvi || typeId == kTypeWav) base = kTypeRif;
    if (typeId == kTypeMovPnot) base = kTypeMov;
    if (typeId == kTypeDoc || typeId == kTypeXls || typeId == kTypePpt) base = kTypeOle;
    if (typeId == kTypeSxw || typeId == kTypeSxc || typeId == kTypeSxi) base = kTypeZip;
    for (TypeSpec& t : DefaultTypeTable()) {
        if (t.typeId != base) continue;
        t.typeId = typeId;
        switch (typeId) {
            case kTypeAvi: t.suffix = "avi"; break;
            case kTypeWav: t.suffix = "wav"; break;
            case kTypeMovPnot: t.header = MakePattern("pnot", true); break;
            case kTypeDoc: t.suffix = "doc"; break;
            case kTypeXls: t.suffix = "xls"; break;
            case kTypePpt: t.suffix = "ppt"; break;
            case kTypeSxw: t.suffix = "sxw"; break;
            case kTypeSxc: t.suffix = "sxc"; break;
            case kTypeSxi: t.suffix = "sxi"; break;
            default: break;
        }
        if (maxLength) t.maxLength = *maxLength;
        return t;
    }
    ADD_FAILURE() << "no type " << typeId;
    return {};
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Head(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

Bytes Filler(std::size_t n, std::uint8_t value) { return Bytes(n, value); }

Bytes WithTail(Bytes b, std::size_t n, std::uint8_t value) {
    b.insert(b.end(), n, value);
    return b;
}

std::size_t FindBytes(const Bytes& hay, const Bytes& needle, std::size_t from) {
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<std::ptrdiff_t>(i))) return i;
    ADD_FAILURE() << "not found";
    return hay.size();
}

std::size_t FindText(const Bytes& hay, std::string_view needle, std::size_t from) {
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (std::equal(needle.begin(), needle.end(), hay.begin() + static_cast<std::ptrdiff_t>(i),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
            return i;
    ADD_FAILURE() << "not found: " << needle;
    return hay.size();
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void SetLe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void SetLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void SetBe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v >> 8);
    b[at + 1] = static_cast<std::uint8_t>(v);
}

void SetBe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
}

void ExpectRecorded(const ExtractResult& r, std::uint64_t size, const std::string& suffix, std::int64_t resume) {
    ASSERT_TRUE(r.resume.has_value());
    ASSERT_TRUE(r.file.has_value());
    EXPECT_EQ(r.file->start, 0);
    EXPECT_EQ(r.file->size, size);
    EXPECT_EQ(r.file->suffix, suffix);
    EXPECT_EQ(*r.resume, resume);
}

void ExpectRecorded(const ExtractResult& r, std::uint64_t size, const std::string& suffix) {
    ExpectRecorded(r, size, suffix, static_cast<std::int64_t>(size));
}

void ExpectContinue(const ExtractResult& r, std::int64_t at) {
    ASSERT_TRUE(r.resume.has_value());
    EXPECT_EQ(*r.resume, at);
    EXPECT_FALSE(r.file.has_value());
}

void ExpectUndecided(const ExtractResult& r) {
    EXPECT_FALSE(r.resume.has_value());
    EXPECT_FALSE(r.file.has_value());
}

}  // namespace qb::cdr::extractortest
