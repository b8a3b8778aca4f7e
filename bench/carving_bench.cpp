// Carving throughput of the page scanner, in bytes of free space per second,
// for both variants. Each variant gets a database with Android's table layout
// from which half the rows were deleted (freed cells left as they were), so that
// its leaf pages hold well over 8 MiB of freeblocks and gaps.
//
//   ScanFile:     the whole scan through the file, as recovery runs it
//   ScanInMemory: the same over the file's bytes held in memory (no reads)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "dbrecover/page_scanner.h"
#include "dbrecover/schema_probe.h"
#include "platform/file.h"
#include "tools/sample_phone/android_schema.h"
#include "bench/bench_sqlite.h"

namespace {

using namespace qb;

class NullSink final : public dbrecover::CarvedRowSink {
public:
    void AddDeletedDataRow(std::uint64_t, std::uint64_t, std::string_view) override { ++rows; }
    void AddDeletedSmsRow(std::string_view, std::string_view, std::uint64_t, std::uint64_t, std::uint64_t) override {
        ++rows;
    }
    std::uint64_t rows = 0;
};

using qb::bench::Exec;

// Fills a table with rows and deletes every other one, leaving the
// deleted cells in place (no page falls below a third, so none is merged).
std::string BuildDatabase(const std::string& folder, dbrecover::TableKind kind) {
    const bool contacts = kind == dbrecover::TableKind::Contacts;
    const std::string path = platform::JoinPath(folder, contacts ? "contacts2.db" : "mmssms.db");
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    Exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=DELETE;");
    if (contacts) tools::RegisterPhonebookCollation(db);
    Exec(db, contacts ? tools::ContactsSchemaSql() : tools::MessagesSchemaSql(false));
    Exec(db, "BEGIN");
    const int rows = contacts ? 260000 : 130000;
    for (int i = 0; i < rows; ++i) {
        char sql[512];
        if (contacts) {
            std::snprintf(sql, sizeof sql,
                          "INSERT INTO data (mimetype_id, raw_contact_id, is_primary, data_version, data1, data2, data4) "
                          "VALUES (%d, %d, %d, %d, 'Kontakt Nummer %d — Grüße aus Köln', '%d', '+49221%07d')",
                          1 + i % 12, 1 + i / 4, i % 2, i % 3, i, i % 7, i);
        } else {
            std::snprintf(sql, sizeof sql,
                          "INSERT INTO sms (thread_id, address, date, date_sent, read, status, type, body, seen) "
                          "VALUES (%d, '+4915%07d', %lld, 0, 1, -1, %d, "
                          "'Nachricht %d: Treffen wir uns morgen um zehn am Bahnhof? Bring bitte den Schlüssel mit.', 1)",
                          1 + i % 40, i % 40, 1409529600000LL + i * 60000LL, 1 + i % 2, i);
        }
        Exec(db, sql);
    }
    Exec(db, "COMMIT");
    Exec(db, contacts ? "DELETE FROM data WHERE _id % 2 = 1" : "DELETE FROM sms WHERE _id % 2 = 1");
    sqlite3_close(db);
    return path;
}

struct Fixture {
    std::string folder = platform::MakeUniqueTempFolder("qb-carving-bench-");
    std::string contacts = BuildDatabase(folder, dbrecover::TableKind::Contacts);
    std::string messages = BuildDatabase(folder, dbrecover::TableKind::Messages);
    ~Fixture() { platform::RemoveFolderTree(folder); }
};

const Fixture& Databases() {
    static const Fixture fixture;
    return fixture;
}

dbrecover::TableLayout LayoutOf(const std::string& path, dbrecover::TableKind kind) {
    auto layout = dbrecover::ProbeSchema(path, kind);
    if (!layout) std::abort();
    layout->pageSize = static_cast<std::int32_t>(dbrecover::PageSizeFromField(dbrecover::ReadPageSize(path)));
    return *layout;
}

void Run(benchmark::State& state, dbrecover::TableKind kind, bool inMemory) {
    const std::string& path = kind == dbrecover::TableKind::Contacts ? Databases().contacts : Databases().messages;
    const dbrecover::TableLayout layout = LayoutOf(path, kind);
    const std::string bytes = platform::ReadWholeFile(path).value_or(std::string());
    platform::MemorySource memory(bytes);
    auto file = platform::ReadOnlyFile::Open(path);
    const platform::ByteSource& source = inMemory ? static_cast<const platform::ByteSource&>(memory) : *file;

    dbrecover::ScanStats stats;
    NullSink sink;
    for (auto _ : state) {
        dbrecover::PageScanner scanner(source, layout, sink);
        stats = scanner.Run();
        benchmark::DoNotOptimize(sink.rows);
    }
    if (stats.freeBytes < 8u * 1024 * 1024) state.SkipWithError("less than 8 MiB of free space");
    state.SetBytesProcessed(static_cast<std::int64_t>(stats.freeBytes) * state.iterations());
    state.counters["free_MiB"] = static_cast<double>(stats.freeBytes) / (1024.0 * 1024.0);
    state.counters["leaf_pages"] = stats.leafPages;
    state.counters["rows_carved"] = static_cast<double>(stats.candidates);
}

void BM_ScanFile_Contacts(benchmark::State& s) { Run(s, dbrecover::TableKind::Contacts, false); }
void BM_ScanFile_Messages(benchmark::State& s) { Run(s, dbrecover::TableKind::Messages, false); }
void BM_ScanInMemory_Contacts(benchmark::State& s) { Run(s, dbrecover::TableKind::Contacts, true); }
void BM_ScanInMemory_Messages(benchmark::State& s) { Run(s, dbrecover::TableKind::Messages, true); }

BENCHMARK(BM_ScanFile_Contacts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanFile_Messages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanInMemory_Contacts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanInMemory_Messages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
