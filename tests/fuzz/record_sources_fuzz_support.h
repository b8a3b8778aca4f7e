// Shared by the fuzz targets of the log, journal and freelist readers: a
// small messages database written once per process into a scratch folder,
// which each input then accompanies as its -wal or -journal, and the sink
// that only counts what it is handed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "dbrecover/page_scanner.h"
#include "platform/file.h"

namespace qb::fuzz {

class CountingSink final : public dbrecover::CarvedRowSink {
public:
    void AddCarvedDataRow(const dbrecover::CarvedDataRow& r) override { bytes += r.data1.size(); }
    void AddCarvedSmsRow(const dbrecover::CarvedSmsRow& r) override { bytes += r.address.size() + r.body.size(); }
    std::size_t bytes = 0;
};

// The bytes of a messages database with live and deleted rows on 1 KiB pages.
inline const std::string& SampleMessagesDatabase() {
    static const std::string bytes = [] {
        const std::string folder = platform::MakeUniqueTempFolder("qb-fuzz-db-");
        const std::string path = platform::JoinPath(folder, "mmssms.db");
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db,
                     "PRAGMA page_size=1024; PRAGMA journal_mode=DELETE;"
                     "CREATE TABLE sms (_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, "
                     "date INTEGER, type INTEGER, body TEXT, seen INTEGER DEFAULT 0);"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60) "
                     "INSERT INTO sms SELECT i, i % 4, '+49301234' || i, NULL, 1409529600000 + i, 1, "
                     "'Nachricht ' || i || ' über den See', 1 FROM n;"
                     "DELETE FROM sms WHERE _id % 3 = 0;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
        std::string content = platform::ReadWholeFile(path).value_or(std::string());
        platform::RemoveFolderTree(folder);
        return content;
    }();
    return bytes;
}

// Writes the sample database and the input as its companion (suffix "-wal"
// or "-journal") into a scratch folder kept for the process, and returns the
// database's path; empty when nothing could be written.
inline std::string WithCompanion(std::string_view companion, const char* suffix) {
    static const std::string folder = platform::MakeUniqueTempFolder("qb-fuzz-copy-");
    if (folder.empty()) return {};
    const std::string path = platform::JoinPath(folder, "mmssms.db");
    for (const char* s : {"-wal", "-shm", "-journal"}) platform::DeleteFileIfExists(path + s);
    if (!platform::WriteWholeFile(path, SampleMessagesDatabase())) return {};
    if (!platform::WriteWholeFile(path + suffix, companion)) return {};
    return path;
}

}  // namespace qb::fuzz
