// A CarvedRowSink that keeps every row the page scanner hands on, in the
// order they arrive, so that tests can check both what was carved and in
// which order the regions were visited.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "dbrecover/page_scanner.h"

namespace qb::testsupport {

struct CarvedDataRow {
    std::uint64_t mimetypeId = 0;
    std::uint64_t rawContactId = 0;
    std::string data1;
    bool operator==(const CarvedDataRow&) const = default;
};

struct CarvedSmsRow {
    std::string address;
    std::string body;
    std::uint64_t date = 0;
    std::uint64_t threadId = 0;
    std::uint64_t type = 0;
    bool operator==(const CarvedSmsRow&) const = default;
};

// Printed in failure messages.
void PrintTo(const CarvedDataRow& row, std::ostream* os);
void PrintTo(const CarvedSmsRow& row, std::ostream* os);

class RecordingSink final : public dbrecover::CarvedRowSink {
public:
    void AddDeletedDataRow(std::uint64_t mimetypeId, std::uint64_t rawContactId, std::string_view data1) override {
        dataRows.push_back({mimetypeId, rawContactId, std::string(data1)});
    }
    void AddDeletedSmsRow(std::string_view address, std::string_view body, std::uint64_t date, std::uint64_t threadId,
                          std::uint64_t type) override {
        smsRows.push_back({std::string(address), std::string(body), date, threadId, type});
    }

    std::vector<CarvedDataRow> dataRows;
    std::vector<CarvedSmsRow> smsRows;
};

}  // namespace qb::testsupport
