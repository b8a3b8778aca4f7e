// Fuzz target: a rollback journal as input. The bytes go through the journal
// reader under several page sizes, and beside a sample database as its
// -journal through the whole recovery of the table.
#include <cstddef>
#include <cstdint>

#include "dbrecover/journal_reader.h"
#include "dbrecover/table_recovery.h"
#include "tests/fuzz/record_sources_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qb;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (std::uint32_t pageSize : {512u, 1024u, 4096u}) {
        const dbrecover::Journal journal = dbrecover::ReadJournal(bytes, pageSize, 64);
        for (const auto& page : journal.pages) {
            if (page.page == 0 || page.page > 64 || page.dataOffset + journal.pageSize > size) __builtin_trap();
        }
    }
    const std::string path = fuzz::WithCompanion(bytes, "-journal");
    if (!path.empty()) {
        fuzz::CountingSink sink;
        dbrecover::RecoverTable(dbrecover::CaptureCompanions(path), dbrecover::TableKind::Messages, sink);
    }
    return 0;
}
