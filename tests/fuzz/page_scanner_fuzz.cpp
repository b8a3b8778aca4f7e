// Fuzz target: a database file as input. The bytes go through the page
// scanner directly (both variants, with the layouts Android's tables have,
// from several root pages) and through the whole page-scan step of the
// recovery, SQLite's schema probe included.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dbrecover/page_scanner.h"
#include "dbrecover/recovery_driver.h"
#include "platform/file.h"

namespace {

using namespace qb;

class CountingSink final : public dbrecover::CarvedRowSink {
public:
    void AddDeletedDataRow(std::uint64_t, std::uint64_t, std::string_view data1) override { bytes += data1.size(); }
    void AddDeletedSmsRow(std::string_view a, std::string_view b, std::uint64_t, std::uint64_t, std::uint64_t) override {
        bytes += a.size() + b.size();
    }
    std::size_t bytes = 0;
};

dbrecover::TableLayout ContactsLayout() {
    dbrecover::TableLayout l;
    l.kind = dbrecover::TableKind::Contacts;
    l.columnCount = 27;
    l.rawContactIdColumn = 3;
    l.data1Column = 8;
    return l;
}

dbrecover::TableLayout MessagesLayout() {
    dbrecover::TableLayout l;
    l.kind = dbrecover::TableKind::Messages;
    l.columnCount = 17;
    l.threadIdColumn = 1;
    l.addressColumn = 2;
    l.personColumn = 3;
    l.dateColumn = 4;
    l.typeColumn = 9;
    l.bodyColumn = 12;
    return l;
}

// One scratch folder per process; the file names must name the databases.
const std::string& Scratch() {
    static const std::string folder = platform::MakeUniqueTempFolder("qb-fuzz-");
    return folder;
}

void ScanAsFile(std::string_view bytes, dbrecover::TableKind kind, CountingSink& sink) {
    const std::string path =
        platform::JoinPath(Scratch(), kind == dbrecover::TableKind::Contacts ? "contacts2.db" : "mmssms.db");
    for (const char* suffix : {"-wal", "-shm", "-journal"}) platform::DeleteFileIfExists(path + suffix);
    if (!platform::WriteWholeFile(path, bytes)) return;
    dbrecover::ScanDatabase(path, kind, sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::MemorySource file(bytes);
    CountingSink sink;

    std::uint32_t pageSize = 512;
    if (size >= 18) {
        const std::uint32_t fromHeader = dbrecover::PageSizeFromField(data[16] * 256u + data[17]);
        if (fromHeader != 0) pageSize = fromHeader;
    }
    for (dbrecover::TableLayout layout : {ContactsLayout(), MessagesLayout()}) {
        layout.pageSize = static_cast<std::int32_t>(pageSize);
        for (std::int32_t root = 1; root <= 4; ++root) {
            layout.rootPage = root;
            dbrecover::PageScanner(file, layout, sink).Run();
        }
    }
    if (!Scratch().empty()) {
        ScanAsFile(bytes, dbrecover::TableKind::Contacts, sink);
        ScanAsFile(bytes, dbrecover::TableKind::Messages, sink);
    }
    return 0;
}
