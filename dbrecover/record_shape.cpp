#include "dbrecover/record_shape.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "dbrecover/sqlite_file.h"

namespace qb::dbrecover {
namespace {

std::string Upper(const std::string& s) {
    std::string u = s;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

std::int32_t Find(const std::vector<ColumnSpec>& columns, const char* name) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) return static_cast<std::int32_t>(i);
    }
    return -1;
}

// What the affinity lets SQLite store on disk. An integer, real or numeric
// column holds numbers (a real that is a whole number is stored as an
// integer); a text column holds text (numbers are turned into text) or
// blobs; a column without affinity anything.
std::uint16_t ClassesOf(const ColumnSpec& c) {
    if (c.rowidAlias) return kAcceptNull;
    std::uint16_t classes = 0;
    switch (AffinityOf(c.declaredType)) {
    case Affinity::Integer:
    case Affinity::Real:
    case Affinity::Numeric: classes = kAnyNumber; break;
    case Affinity::Text: classes = kAcceptText | kAcceptBlob; break;
    case Affinity::Blob: classes = kAnyNumber | kAcceptText | kAcceptBlob; break;
    }
    if (!c.notNull) classes |= kAcceptNull;
    return classes;
}

}  // namespace

Affinity AffinityOf(const std::string& declaredType) {
    const std::string t = Upper(declaredType);
    if (t.find("INT") != std::string::npos) return Affinity::Integer;
    if (t.find("CHAR") != std::string::npos || t.find("CLOB") != std::string::npos ||
        t.find("TEXT") != std::string::npos) {
        return Affinity::Text;
    }
    if (t.empty() || t.find("BLOB") != std::string::npos) return Affinity::Blob;
    if (t.find("REAL") != std::string::npos || t.find("FLOA") != std::string::npos ||
        t.find("DOUB") != std::string::npos) {
        return Affinity::Real;
    }
    return Affinity::Numeric;
}

void RecordShape::AddCount(std::uint16_t count) {
    if (count < minColumns || count > columns.size()) return;
    if (std::find(counts.begin(), counts.end(), count) != counts.end()) return;
    counts.push_back(count);
    std::sort(counts.begin(), counts.end(), std::greater<>());
}

std::int64_t RecordShape::IntegerDefault(std::int32_t column) const {
    if (column < 0 || static_cast<std::size_t>(column) >= columns.size() || !columns[column].defaultValue) return 0;
    std::string v = *columns[column].defaultValue;
    v.erase(std::remove(v.begin(), v.end(), '('), v.end());
    v.erase(std::remove(v.begin(), v.end(), ')'), v.end());
    return std::strtoll(v.c_str(), nullptr, 10);
}

std::optional<RecordShape> ShapeFromColumns(TableKind kind, std::vector<ColumnSpec> columns) {
    RecordShape s;
    s.kind = kind;
    if (columns.empty() || columns.size() > 2000) return std::nullopt;
    s.accepts.reserve(columns.size());
    for (const ColumnSpec& c : columns) s.accepts.push_back(ClassesOf(c));
    std::vector<std::int32_t> interest;
    if (kind == TableKind::Contacts) {
        s.mimetypeColumn = Find(columns, "mimetype_id");
        s.rawContactIdColumn = Find(columns, "raw_contact_id");
        s.data1Column = Find(columns, "data1");
        interest = {s.mimetypeColumn, s.rawContactIdColumn, s.data1Column};
    } else {
        s.threadIdColumn = Find(columns, "thread_id");
        s.addressColumn = Find(columns, "address");
        s.dateColumn = Find(columns, "date");
        s.typeColumn = Find(columns, "type");
        s.bodyColumn = Find(columns, "body");
        interest = {s.threadIdColumn, s.addressColumn, s.dateColumn, s.typeColumn, s.bodyColumn};
    }
    std::int32_t last = -1;
    for (std::int32_t c : interest) {
        if (c < 0 || columns[c].rowidAlias) return std::nullopt;
        last = std::max(last, c);
    }
    // What Android stores in the columns of interest:
    // mimetype ids are small integers, raw contact ids and thread ids are
    // never NULL, data1, address and body are texts of at least one byte,
    // every message has a date.
    if (kind == TableKind::Contacts) {
        if (AffinityOf(columns[s.mimetypeColumn].declaredType) != Affinity::Integer ||
            AffinityOf(columns[s.rawContactIdColumn].declaredType) != Affinity::Integer) {
            return std::nullopt;
        }
        s.accepts[s.mimetypeColumn] = kAcceptInt | kSmallInt | kAcceptOne;
        s.accepts[s.rawContactIdColumn] = kAcceptInt | kAcceptOne;
        s.accepts[s.data1Column] = kAcceptText | kAcceptBlob | kNonEmpty;
        s.maxTypeLength = 9;
    } else {
        s.accepts[s.threadIdColumn] = kAnyNumber;
        s.accepts[s.dateColumn] = kAnyNumber;
        s.accepts[s.typeColumn] = kAnyNumber | kAcceptNull;
        s.accepts[s.addressColumn] = kAcceptText | kAcceptBlob | kNonEmpty;
        s.accepts[s.bodyColumn] = kAcceptText | kAcceptBlob | kNonEmpty;
    }
    s.minColumns = static_cast<std::uint16_t>(last + 1);
    s.columns = std::move(columns);
    s.counts = {static_cast<std::uint16_t>(s.columns.size())};
    // Records written under an older layout whose columns this table's
    // columns begin with.
    for (const std::string& sql : KnownAndroidTables(kind)) {
        (void)sql;
    }
    return s;
}

const std::vector<std::string>& KnownAndroidTables(TableKind kind) {
    static const std::vector<std::string> kData = {
        // Android 4.0 to 6 (user_version 628 to 1000)
        "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES package(_id),"
        "mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER REFERENCES raw_contacts(_id) "
        "NOT NULL,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary INTEGER NOT NULL DEFAULT 0,is_super_primary "
        "INTEGER NOT NULL DEFAULT 0,data_version INTEGER NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,data3 TEXT,data4 "
        "TEXT,data5 TEXT,data6 TEXT,data7 TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,data12 TEXT,data13 "
        "TEXT,data14 TEXT,data15 TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT )",
        // Android 7 to 9 (hash_id after raw_contact_id)
        "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES package(_id),"
        "mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER REFERENCES raw_contacts(_id) "
        "NOT NULL,hash_id TEXT,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary INTEGER NOT NULL DEFAULT 0,"
        "is_super_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,"
        "data3 TEXT,data4 TEXT,data5 TEXT,data6 TEXT,data7 TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,"
        "data12 TEXT,data13 TEXT,data14 TEXT,data15 TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, "
        "data_sync4 TEXT, carrier_presence INTEGER NOT NULL DEFAULT 0 )",
        // Android 10 to 14 (preferred phone account)
        "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES package(_id),"
        "mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER REFERENCES raw_contacts(_id) "
        "NOT NULL,hash_id TEXT,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary INTEGER NOT NULL DEFAULT 0,"
        "is_super_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,"
        "data3 TEXT,data4 TEXT,data5 TEXT,data6 TEXT,data7 TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,"
        "data12 TEXT,data13 TEXT,data14 TEXT,data15 TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, "
        "data_sync4 TEXT, carrier_presence INTEGER NOT NULL DEFAULT 0, preferred_phone_account_component_name TEXT, "
        "preferred_phone_account_id TEXT)",
        // Upgraded across releases: hash_id and carrier_presence at the end
        "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,package_id INTEGER REFERENCES package(_id),"
        "mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,raw_contact_id INTEGER REFERENCES raw_contacts(_id) "
        "NOT NULL,is_read_only INTEGER NOT NULL DEFAULT 0,is_primary INTEGER NOT NULL DEFAULT 0,is_super_primary "
        "INTEGER NOT NULL DEFAULT 0,data_version INTEGER NOT NULL DEFAULT 0,data1 TEXT,data2 TEXT,data3 TEXT,data4 "
        "TEXT,data5 TEXT,data6 TEXT,data7 TEXT,data8 TEXT,data9 TEXT,data10 TEXT,data11 TEXT,data12 TEXT,data13 "
        "TEXT,data14 TEXT,data15 TEXT,data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT , hash_id "
        "TEXT, carrier_presence INTEGER NOT NULL DEFAULT 0)",
    };
    static const std::vector<std::string> kSms = {
        // before date_sent (user_version 53)
        "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,date INTEGER,"
        "protocol INTEGER,read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,type INTEGER,reply_path_present INTEGER,"
        "subject TEXT,body TEXT,service_center TEXT,locked INTEGER DEFAULT 0,error_code INTEGER DEFAULT 0,seen "
        "INTEGER DEFAULT 0)",
        // Android 4 (user_version 55)
        "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,date INTEGER,"
        "date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,type "
        "INTEGER,reply_path_present INTEGER,subject TEXT,body TEXT,service_center TEXT,locked INTEGER DEFAULT 0,"
        "error_code INTEGER DEFAULT 0,seen INTEGER DEFAULT 0)",
        // Android 5.0 (user_version 66)
        "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,date INTEGER,"
        "date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,type "
        "INTEGER,reply_path_present INTEGER,subject TEXT,body TEXT,service_center TEXT,locked INTEGER DEFAULT 0,"
        "sub_id INTEGER DEFAULT -1, phone_id INTEGER DEFAULT -1, error_code INTEGER DEFAULT 0,creator TEXT,seen "
        "INTEGER DEFAULT 0,priority INTEGER DEFAULT -1)",
        // Android 5.1 to 14
        "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,date INTEGER,"
        "date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT 0,status INTEGER DEFAULT -1,type "
        "INTEGER,reply_path_present INTEGER,subject TEXT,body TEXT,service_center TEXT,locked INTEGER DEFAULT 0,"
        "sub_id INTEGER DEFAULT -1, error_code INTEGER DEFAULT -1,creator TEXT,seen INTEGER DEFAULT 0)",
    };
    return kind == TableKind::Contacts ? kData : kSms;
}

}  // namespace qb::dbrecover
