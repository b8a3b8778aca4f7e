// Table layouts and small drivers shared by the page scanner suites.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbrecover/page_scanner.h"
#include "platform/file.h"
#include "tests/support/recording_sink.h"
#include "tests/support/sqlite_image.h"

namespace qb::dbrecover::scantest {

using testsupport::Field;

// Table data: _id, mimetype_id, raw_contact_id, is_primary, data1, data2.
inline TableLayout ContactsLayout(std::int32_t rootPage = 2, std::int32_t pageSize = 1024) {
    TableLayout l;
    l.kind = TableKind::Contacts;
    l.rootPage = rootPage;
    l.pageSize = pageSize;
    l.columnCount = 6;
    l.rawContactIdColumn = 2;
    l.data1Column = 4;
    return l;
}

// Table sms: _id, thread_id, address, body, date, type.
inline TableLayout MessagesLayout(std::int32_t rootPage = 2, std::int32_t pageSize = 1024) {
    TableLayout l;
    l.kind = TableKind::Messages;
    l.rootPage = rootPage;
    l.pageSize = pageSize;
    l.columnCount = 6;
    l.threadIdColumn = 1;
    l.addressColumn = 2;
    l.bodyColumn = 3;
    l.dateColumn = 4;
    l.typeColumn = 5;
    return l;
}

// The bytes of a carved data row of ContactsLayout: types of all six
// columns, then the contents.
inline std::string ContactRow(const Field& mimetype, const Field& raw, const Field& data1,
                              const Field& isPrimary = Field::Null(), const Field& data2 = Field::Null()) {
    return testsupport::TypesAndBody({Field::Null(), mimetype, raw, isPrimary, data1, data2});
}

// A phone-number-like row: mimetype id and raw contact id as 1-byte integers.
inline std::string ContactRow(std::uint8_t mimetype, std::uint8_t raw, std::string_view data1) {
    return ContactRow(Field::IntOfType(1, mimetype), Field::IntOfType(1, raw), Field::Text(data1));
}

// The bytes of a carved sms row of MessagesLayout: column 0 is absent, the
// types of columns 1 to 5, then the contents.
inline std::string SmsRow(const Field& thread, const Field& address, const Field& body, const Field& date,
                          const Field& type) {
    return testsupport::TypesAndBody({thread, address, body, date, type});
}

inline std::string SmsRow(std::uint8_t thread, std::string_view address, std::string_view body, std::uint64_t date,
                          std::uint8_t type) {
    return SmsRow(Field::IntOfType(1, thread), Field::Text(address), Field::Text(body), Field::IntOfType(6, date),
                  Field::IntOfType(1, type));
}

// A database image whose page 2 is a 1024-byte leaf holding the row's bytes
// twice: in its unallocated gap and in a freeblock.
inline std::string ImageWithRowInGapAndFreeblock(const std::string& row) {
    testsupport::TablePage leaf = testsupport::TablePage::Leaf(1024);
    leaf.PutInGap(row);
    leaf.AddFreeblock(900, static_cast<std::uint16_t>(4 + row.size()), row);
    testsupport::DatabaseImage db(1024);
    db.SetPage(2, leaf);
    return db.Bytes();
}

// Runs CarveRegion over the bytes, followed by exactly kRegionPadding zero
// bytes (the least the scanner may rely on), and returns what was handed on.
inline testsupport::RecordingSink CarveBytes(const TableLayout& layout, std::string_view region) {
    testsupport::RecordingSink sink;
    const platform::MemorySource noFile("");
    PageScanner scanner(noFile, layout, sink);
    std::vector<std::uint8_t> buffer(region.begin(), region.end());
    buffer.resize(region.size() + PageScanner::kRegionPadding, 0);
    scanner.CarveRegion(buffer.data(), region.size());
    return sink;
}

// Runs a whole scan over a database image held in memory.
inline testsupport::RecordingSink ScanImage(const TableLayout& layout, const std::string& image,
                                            ScanStats* stats = nullptr) {
    testsupport::RecordingSink sink;
    const platform::MemorySource file(image);
    PageScanner scanner(file, layout, sink);
    const ScanStats s = scanner.Run();
    if (stats) *stats = s;
    return sink;
}

// A scanner over an image held in memory, for tests that run the steps of a
// scan one by one. Members are declared in the order they must be built.
struct ScanSetup {
    ScanSetup(std::string imageBytes, const TableLayout& layout)
        : image(std::move(imageBytes)), file(image), scanner(file, layout, sink) {}
    std::string image;
    platform::MemorySource file;
    testsupport::RecordingSink sink;
    PageScanner scanner;
};

}  // namespace qb::dbrecover::scantest
