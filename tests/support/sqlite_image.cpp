#include "tests/support/sqlite_image.h"

#include <algorithm>
#include <stdexcept>

namespace qb::testsupport {
namespace {

std::size_t IntegerContentSize(std::uint32_t serialType) {
    switch (serialType) {
    case 1: return 1;
    case 2: return 2;
    case 3: return 3;
    case 4: return 4;
    case 5: return 6;
    case 6: return 8;
    case 7: return 8;
    case 8:
    case 9: return 0;
    default: throw std::invalid_argument("not an integer serial type: " + std::to_string(serialType));
    }
}

std::string SerialTypeBytes(const Field& f) {
    return f.typeLength == 0 ? Varint(f.serialType) : VarintOfLength(f.serialType, f.typeLength);
}

}  // namespace

std::string Varint(std::uint64_t value) {
    if (value >> 56 != 0) return VarintOfLength(value, 9);
    std::string groups;
    do {
        groups.insert(groups.begin(), static_cast<char>(value & 0x7F));
        value >>= 7;
    } while (value != 0);
    for (std::size_t i = 0; i + 1 < groups.size(); ++i) groups[i] = static_cast<char>(groups[i] | 0x80);
    return groups;
}

std::string VarintOfLength(std::uint64_t value, std::size_t length) {
    if (length < 1 || length > 9) throw std::invalid_argument("a varint has 1 to 9 bytes");
    std::string out(length, '\0');
    std::uint64_t rest = value;
    std::size_t i = length;
    if (length == 9) {
        out[8] = static_cast<char>(rest & 0xFF);
        rest >>= 8;
        i = 8;
    }
    while (i > 0) {
        --i;
        out[i] = static_cast<char>(rest & 0x7F);
        rest >>= 7;
    }
    if (rest != 0) throw std::invalid_argument("value does not fit a varint of that length");
    const std::size_t continued = length == 9 ? 8 : length - 1;
    for (std::size_t k = 0; k < continued; ++k) out[k] = static_cast<char>(out[k] | 0x80);
    return out;
}

std::string BigEndian(std::uint64_t value, std::size_t width) {
    if (width > 8) throw std::invalid_argument("at most 8 bytes");
    std::string out(width, '\0');
    for (std::size_t i = width; i > 0; --i) {
        out[i - 1] = static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

Field Field::Null() { return Field {}; }

Field Field::Int(std::int64_t value) {
    struct Limit {
        std::uint32_t type;
        std::int64_t max;
    };
    static constexpr Limit kLimits[] = {
        {1, 0x7F}, {2, 0x7FFF}, {3, 0x7FFFFF}, {4, 0x7FFFFFFF}, {5, 0x7FFFFFFFFFFF},
    };
    for (const Limit& l : kLimits) {
        if (value <= l.max && value >= -l.max - 1) return IntOfType(l.type, static_cast<std::uint64_t>(value));
    }
    return IntOfType(6, static_cast<std::uint64_t>(value));
}

Field Field::IntOfType(std::uint32_t serialType, std::uint64_t value) {
    Field f;
    f.serialType = serialType;
    f.content = BigEndian(value, IntegerContentSize(serialType));
    return f;
}

Field Field::Zero() { return IntOfType(8, 0); }
Field Field::One() { return IntOfType(9, 1); }

Field Field::Text(std::string_view bytes) { return Raw(13 + 2 * static_cast<std::uint64_t>(bytes.size()), bytes); }
Field Field::Blob(std::string_view bytes) { return Raw(12 + 2 * static_cast<std::uint64_t>(bytes.size()), bytes); }

Field Field::Raw(std::uint64_t serialType, std::string_view content) {
    Field f;
    f.serialType = serialType;
    f.content.assign(content);
    return f;
}

Field Field::WithTypeLength(std::size_t length) const {
    Field f = *this;
    f.typeLength = length;
    return f;
}

std::string TypesAndBody(const std::vector<Field>& fields) {
    std::string types;
    std::string body;
    for (const Field& f : fields) {
        types += SerialTypeBytes(f);
        body += f.content;
    }
    return types + body;
}

std::string Record(const std::vector<Field>& fields) {
    std::string types;
    std::string body;
    for (const Field& f : fields) {
        types += SerialTypeBytes(f);
        body += f.content;
    }
    // The header length counts its own varint.
    std::uint64_t headerLength = types.size() + 1;
    while (Varint(headerLength).size() + types.size() != headerLength) {
        headerLength = Varint(headerLength).size() + types.size();
    }
    return Varint(headerLength) + types + body;
}

std::string LeafCell(std::int64_t rowid, const std::vector<Field>& fields) {
    const std::string payload = Record(fields);
    return Varint(payload.size()) + Varint(static_cast<std::uint64_t>(rowid)) + payload;
}

TablePage::TablePage(std::uint32_t pageSize) : bytes_(pageSize, '\0') {}

TablePage TablePage::Leaf(std::uint32_t pageSize) {
    TablePage page(pageSize);
    page.SetType(kLeafTable);
    page.SetContentStart(static_cast<std::uint16_t>(pageSize & 0xFFFF));
    return page;
}

TablePage TablePage::Interior(std::uint32_t pageSize, std::uint32_t rightChild) {
    TablePage page(pageSize);
    page.SetType(kInteriorTable);
    page.SetContentStart(static_cast<std::uint16_t>(pageSize & 0xFFFF));
    page.SetRightChild(rightChild);
    return page;
}

TablePage TablePage::Blank(std::uint32_t pageSize) { return TablePage(pageSize); }

TablePage& TablePage::SetType(std::uint8_t type) { return Put(0, std::string(1, static_cast<char>(type))); }
TablePage& TablePage::SetFirstFreeblock(std::uint16_t offset) { return Put16(1, offset); }
TablePage& TablePage::SetCellCount(std::uint16_t count) { return Put16(3, count); }
TablePage& TablePage::SetContentStart(std::uint16_t field) { return Put16(5, field); }
TablePage& TablePage::SetRightChild(std::uint32_t page) { return Put32(8, page); }

std::uint16_t TablePage::Get16(std::size_t offset) const {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes_[offset]) << 8 |
                                      static_cast<unsigned char>(bytes_[offset + 1]));
}

std::uint16_t TablePage::cellCount() const { return Get16(3); }

std::size_t TablePage::contentStart() const {
    const std::size_t field = Get16(5);
    return field == 0 && bytes_.size() == 65536 ? 65536 : field;
}

std::size_t TablePage::headerSize() const {
    return static_cast<unsigned char>(bytes_[0]) == kInteriorTable ? 12 : 8;
}

std::size_t TablePage::GapStart() const { return headerSize() + 2 * std::size_t {cellCount()}; }

TablePage& TablePage::Put(std::size_t offset, std::string_view bytes) {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) {
        throw std::out_of_range("write past the end of the page");
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

TablePage& TablePage::Put16(std::size_t offset, std::uint16_t value) { return Put(offset, BigEndian(value, 2)); }
TablePage& TablePage::Put32(std::size_t offset, std::uint32_t value) { return Put(offset, BigEndian(value, 4)); }

std::uint16_t TablePage::AddCell(std::string_view cell) {
    const std::size_t end = contentStart();
    const std::size_t pointerAt = GapStart();
    if (cell.size() > end || end - cell.size() < pointerAt + 2) throw std::out_of_range("the page has no room for the cell");
    const auto offset = static_cast<std::uint16_t>(end - cell.size());
    Put(offset, cell);
    Put16(pointerAt, offset);
    SetCellCount(static_cast<std::uint16_t>(cellCount() + 1));
    SetContentStart(offset);
    return offset;
}

std::uint16_t TablePage::AddChild(std::uint32_t leftChild, std::int64_t key) {
    return AddCell(BigEndian(leftChild, 4) + Varint(static_cast<std::uint64_t>(key)));
}

TablePage& TablePage::AddFreeblock(std::uint16_t offset, std::uint16_t size, std::string_view rest) {
    Put16(offset, 0);
    Put16(std::size_t {offset} + 2, size);
    Put(std::size_t {offset} + 4, rest);
    if (lastFreeblock_ == 0) {
        SetFirstFreeblock(offset);
    } else {
        Put16(lastFreeblock_, offset);
    }
    lastFreeblock_ = offset;
    if (offset < contentStart()) SetContentStart(offset);
    return *this;
}

TablePage& TablePage::PutInGap(std::string_view bytes, std::size_t at) {
    const std::size_t start = GapStart() + at;
    if (start + bytes.size() > contentStart()) throw std::out_of_range("write past the end of the gap");
    return Put(start, bytes);
}

DatabaseImage::DatabaseImage(std::uint32_t pageSize) : pageSize_(pageSize), header_(pageSize, '\0') {
    if (pageSize < 512) throw std::invalid_argument("a page holds at least 512 bytes");
    static constexpr char kMagic[] = "SQLite format 3";  // with its terminating zero: 16 bytes
    std::copy(kMagic, kMagic + sizeof kMagic, header_.begin());
    SetPageSizeField(static_cast<std::uint16_t>(pageSize == 65536 ? 1 : pageSize));
    header_[18] = 1;  // write version: legacy
    header_[19] = 1;  // read version: legacy
    header_[21] = 64;
    header_[22] = 32;
    header_[23] = 32;
    header_[47] = 4;  // schema format number
    header_[56 + 3] = 1;  // text encoding: UTF-8
    // Page 1's own B-tree page: an empty leaf table page (the schema table).
    header_[100] = static_cast<char>(TablePage::kLeafTable);
    const std::string contentStart = BigEndian(pageSize & 0xFFFF, 2);
    header_[105] = contentStart[0];
    header_[106] = contentStart[1];
}

std::uint64_t DatabaseImage::PageOffset(std::uint32_t n) const { return (std::uint64_t {n} - 1) * pageSize_; }

DatabaseImage& DatabaseImage::SetPage(std::uint32_t number, const TablePage& page) {
    if (number < 2) throw std::invalid_argument("page 1 holds the database header");
    if (page.size() != pageSize_) throw std::invalid_argument("the page does not have the database's page size");
    if (pages_.size() < number - 1) pages_.resize(number - 1, std::string(pageSize_, '\0'));
    pages_[number - 2] = page.bytes();
    return *this;
}

DatabaseImage& DatabaseImage::SetPageSizeField(std::uint16_t field) {
    header_[16] = static_cast<char>(field >> 8);
    header_[17] = static_cast<char>(field & 0xFF);
    return *this;
}

std::string DatabaseImage::Bytes() const {
    std::string out = header_;
    const std::string count = BigEndian(pageCount(), 4);
    std::copy(count.begin(), count.end(), out.begin() + 28);
    out.reserve(std::size_t {pageSize_} * pageCount());
    for (const std::string& page : pages_) out += page;
    return out;
}

}  // namespace qb::testsupport
