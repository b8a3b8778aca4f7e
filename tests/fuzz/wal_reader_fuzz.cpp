// Fuzz target: a write-ahead log as input. The bytes go through the log
// reader under several page sizes, and beside a sample database as its -wal
// through the whole recovery of the table (SQLite's schema probe included).
#include <cstddef>
#include <cstdint>

#include "dbrecover/table_recovery.h"
#include "dbrecover/wal_reader.h"
#include "tests/fuzz/record_sources_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qb;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t frames = 0;
    for (std::uint32_t pageSize : {512u, 1024u, 4096u}) {
        const dbrecover::WalLog log = dbrecover::ReadWal(bytes, pageSize);
        frames += log.frames.size();
        for (const auto& [page, index] : log.currentFrameOf) {
            if (index >= log.frames.size() || log.frames[index].page != page) __builtin_trap();
        }
    }
    const std::string path = fuzz::WithCompanion(bytes, "-wal");
    if (!path.empty()) {
        fuzz::CountingSink sink;
        dbrecover::RecoverTable(dbrecover::CaptureCompanions(path), dbrecover::TableKind::Messages, sink);
    }
    (void)frames;
    return 0;
}
