// Reads the rows that SQLite still shows in a copied database: the data rows
// and mimetype names of a contacts2.db, the sms rows of a mmssms.db. A path
// that does not name a readable database of the expected kind gives empty
// lists, the same as an empty database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qb::dbrecover {

// One row of table data: its kind (a mimetype id), its owner and its main
// value; a NULL data1 reads as "".
struct LiveDataRow {
    std::uint32_t mimetypeId = 0;
    std::uint32_t rawContactId = 0;
    std::string data1;
    // For a phone number, the number as the phone normalised it (E.164, such
    // as +33612345678); "" when NULL or when the table has no data4.
    std::string data4;
};

// One row of table mimetypes.
struct LiveMimetype {
    std::uint32_t id = 0;
    std::string name;
};

// One row of table groups: a group that group membership rows name by its
// _id in their data1. A NULL title reads as "".
struct LiveGroup {
    std::int64_t id = 0;
    std::string title;
};

struct LiveContactsReading {
    std::vector<LiveDataRow> rows;       // in row id order
    std::vector<LiveMimetype> mimetypes; // in row id order
    // The raw contacts the phone has marked deleted (raw_contacts.deleted = 1)
    // but keeps until the deletion is synced, in row id order.
    std::vector<std::uint32_t> pendingDeletes;
    std::vector<LiveGroup> groups;       // in row id order
};

// One row of table sms. The date text is the row's date (milliseconds since
// 1970-01-01 UTC) as local time in the form of FormatMessageDate, so that it
// sorts and compares like the date text of a carved row.
struct LiveSmsRow {
    std::uint32_t threadId = 0;
    std::string address;  // NULL reads as ""
    std::string dateText;
    std::uint32_t type = 0;
    std::string body;     // NULL reads as ""
    // The row's date as stored, for the exports that restore messages onto
    // a phone.
    std::int64_t date = 0;
};

LiveContactsReading ReadLiveContacts(const std::string& path);
std::vector<LiveSmsRow> ReadLiveMessages(const std::string& path);

}  // namespace qb::dbrecover
