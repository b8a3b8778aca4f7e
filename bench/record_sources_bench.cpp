// Recovery of deleted messages from every place a copy keeps them, on a
// phone with 50,000 messages (a third of them deleted, their cells left in
// free space) and a 4 MiB write-ahead log of inserts and deletes since the
// last checkpoint:
//
//   RecoverTable: the page scan of the current copy with its log (current
//                 pages, every older page version, the log's frames, the
//                 freelist), as one loader step runs it; free-space
//                 throughput in bytes of free space carved per second
//   LoadMessages: the messages loader's four steps end to end (live rows
//                 through SQLite, then the scans of both copies)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "dbrecover/recovery_driver.h"
#include "dbrecover/table_recovery.h"
#include "platform/file.h"
#include "platform/notifier.h"
#include "tools/sample_phone/android_schema.h"
#include "bench/bench_sqlite.h"

namespace {

using namespace qb;

class NullSink final : public dbrecover::CarvedRowSink {
public:
    void AddCarvedSmsRow(const dbrecover::CarvedSmsRow&) override { ++rows; }
    std::uint64_t rows = 0;
};

using qb::bench::Exec;

std::string Insert(int first, int count) {
    return "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) + " UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(first + count - 1) +
           ") INSERT INTO sms (_id, thread_id, address, date, date_sent, read, status, type, body, seen) "
           "SELECT i, 1 + i % 40, '+4915' || (1000000 + i % 40), 1409529600000 + i * 60000, 0, 1, -1, 1 + i % 2, "
           "'Nachricht ' || i || ': Treffen wir uns morgen um zehn am Bahnhof? Bring bitte den Schlüssel mit.', 1 "
           "FROM n";
}

struct Phone {
    std::string folder = platform::MakeUniqueTempFolder("qb-sources-bench-");
    std::string current, backup;
    std::uint64_t walBytes = 0;

    Phone() {
        const std::string live = platform::JoinPath(folder, "live.db");
        sqlite3* db = nullptr;
        sqlite3_open(live.c_str(), &db);
        Exec(db, "PRAGMA page_size=4096; PRAGMA secure_delete=OFF; PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
        Exec(db, tools::MessagesSchemaSql(false));
        Exec(db, "BEGIN");
        Exec(db, Insert(1, 50000));
        Exec(db, "COMMIT");
        Exec(db, "DELETE FROM sms WHERE _id % 3 = 0");
        Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        // Drafts written and thrown away until the log holds 4 MiB.
        for (int round = 0; platform::ReadWholeFile(live + "-wal").value_or("").size() < (4u << 20); ++round) {
            Exec(db, Insert(100000 + round * 100, 100));
            Exec(db, "DELETE FROM sms WHERE _id >= " + std::to_string(100000 + round * 100) + " AND _id % 2 = 0");
        }
        current = platform::JoinPath(folder, "mmssms.db");
        platform::CreateFolders(platform::JoinPath(folder, "bak"));
        backup = platform::JoinPath(platform::JoinPath(folder, "bak"), "mmssms.db");
        platform::CopyFileReplace(live, current);
        platform::CopyFileReplace(live + "-wal", current + "-wal");
        platform::CopyFileReplace(live + "-shm", current + "-shm");
        platform::CopyFileReplace(live, backup);
        walBytes = platform::ReadWholeFile(current + "-wal").value_or("").size();
        sqlite3_close(db);
    }
    ~Phone() { platform::RemoveFolderTree(folder); }
};

const Phone& ThePhone() {
    static const Phone phone;
    return phone;
}

void BM_RecoverTable(benchmark::State& state) {
    const Phone& phone = ThePhone();
    dbrecover::ScanStats stats;
    NullSink sink;
    for (auto _ : state) {
        stats = dbrecover::RecoverTable(dbrecover::CaptureCompanions(phone.current), dbrecover::TableKind::Messages, sink);
        benchmark::DoNotOptimize(sink.rows);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(stats.freeBytes) * state.iterations());
    state.counters["free_MiB"] = static_cast<double>(stats.freeBytes) / (1024.0 * 1024.0);
    state.counters["log_MiB"] = static_cast<double>(phone.walBytes) / (1024.0 * 1024.0);
    state.counters["log_frames"] = stats.walFrames;
    state.counters["older_pages"] = stats.olderPages;
    state.counters["leaf_pages"] = stats.leafPages;
    state.counters["rows_carved"] = static_cast<double>(stats.candidates);
}

void BM_LoadMessages(benchmark::State& state) {
    const Phone& phone = ThePhone();
    std::size_t messages = 0;
    for (auto _ : state) {
        dbrecover::ContactMap contacts;
        dbrecover::ThreadMap threads;
        platform::CallbackNotifier window([](std::uint32_t, std::uintptr_t, std::intptr_t) {});
        dbrecover::LoadMessages(contacts, phone.current, phone.backup, threads, window);
        messages = 0;
        for (const auto& [key, thread] : threads) messages += thread.messages.size();
        benchmark::DoNotOptimize(messages);
    }
    state.counters["messages"] = static_cast<double>(messages);
}

BENCHMARK(BM_RecoverTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMessages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
