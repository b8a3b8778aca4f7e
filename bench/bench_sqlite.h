// Building the benchmarks' databases: a statement that fails ends the run,
// since a figure measured on a half-built database would mislead.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qb::bench {

inline void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "bench database: %s\n", error ? error : "?");
        sqlite3_free(error);
        std::abort();
    }
}

}  // namespace qb::bench
