#include "tools/sample_phone/sql_value.h"

namespace qb::tools {
namespace {

std::uint64_t SerialType(const SqlValue& v) {
    switch (v.kind) {
    case SqlValue::Kind::Null: return 0;
    case SqlValue::Kind::Text: return 13 + 2 * static_cast<std::uint64_t>(v.bytes.size());
    case SqlValue::Kind::Blob: return 12 + 2 * static_cast<std::uint64_t>(v.bytes.size());
    case SqlValue::Kind::Integer: break;
    }
    const std::int64_t i = v.integer;
    if (i == 0) return 8;
    if (i == 1) return 9;
    if (i >= -128 && i <= 127) return 1;
    if (i >= -32768 && i <= 32767) return 2;
    if (i >= -8388608 && i <= 8388607) return 3;
    if (i >= -2147483648LL && i <= 2147483647LL) return 4;
    if (i >= -140737488355328LL && i <= 140737488355327LL) return 5;
    return 6;
}

std::string Varint(std::uint64_t v) {
    // Values up to 2^56 - 1 need no nine-byte form; serial types stay far below.
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>(v & 0x7F));
        v >>= 7;
    } while (v != 0);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) out[i] = static_cast<char>(out[i] | 0x80);
    return out;
}

std::string Content(const SqlValue& v) {
    if (v.kind == SqlValue::Kind::Text || v.kind == SqlValue::Kind::Blob) return v.bytes;
    if (v.kind == SqlValue::Kind::Null) return {};
    static constexpr int kBytes[] = {0, 1, 2, 3, 4, 6, 8};
    const auto type = SerialType(v);
    if (type >= 8) return {};
    std::string out;
    for (int k = kBytes[type] - 1; k >= 0; --k) out.push_back(static_cast<char>((v.integer >> (8 * k)) & 0xFF));
    return out;
}

}  // namespace

void BindRow(sqlite3_stmt* stmt, const SqlRow& row) {
    for (std::size_t i = 0; i < row.size(); ++i) {
        const int p = static_cast<int>(i) + 1;
        const SqlValue& v = row[i];
        switch (v.kind) {
        case SqlValue::Kind::Null: sqlite3_bind_null(stmt, p); break;
        case SqlValue::Kind::Integer: sqlite3_bind_int64(stmt, p, v.integer); break;
        case SqlValue::Kind::Text:
            sqlite3_bind_text(stmt, p, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        case SqlValue::Kind::Blob:
            sqlite3_bind_blob(stmt, p, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            break;
        }
    }
}

std::string CarveKey(const SqlRow& row, int firstColumn, int lastContentColumn) {
    std::string key;
    for (std::size_t i = static_cast<std::size_t>(firstColumn); i < row.size(); ++i) {
        key += Varint(i == 0 ? 0 : SerialType(row[i]));
    }
    for (int i = 1; i <= lastContentColumn; ++i) key += Content(row[static_cast<std::size_t>(i)]);
    return key;
}

}  // namespace qb::tools
