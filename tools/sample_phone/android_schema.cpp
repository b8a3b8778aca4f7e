#include "tools/sample_phone/android_schema.h"

#include <cstring>

namespace qb::tools {

std::string ContactsSchemaSql(bool android7) {
    std::string sql = R"SQL(
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE accounts (_id INTEGER PRIMARY KEY AUTOINCREMENT, account_name TEXT, account_type TEXT, data_set TEXT);
CREATE TABLE packages (_id INTEGER PRIMARY KEY AUTOINCREMENT, package TEXT NOT NULL);
CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT, mimetype TEXT NOT NULL);
CREATE UNIQUE INDEX mime_type ON mimetypes (mimetype);
CREATE TABLE contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT, name_raw_contact_id INTEGER REFERENCES raw_contacts(_id),
  photo_id INTEGER REFERENCES data(_id), photo_file_id INTEGER REFERENCES photo_files(_id), custom_ringtone TEXT,
  send_to_voicemail INTEGER NOT NULL DEFAULT 0, times_contacted INTEGER NOT NULL DEFAULT 0, last_time_contacted INTEGER,
  starred INTEGER NOT NULL DEFAULT 0, has_phone_number INTEGER NOT NULL DEFAULT 0, lookup TEXT,
  status_update_id INTEGER REFERENCES data(_id), contact_last_updated_timestamp INTEGER);
CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT, account_id INTEGER REFERENCES accounts(_id),
  sourceid TEXT, raw_contact_is_read_only INTEGER NOT NULL DEFAULT 0, version INTEGER NOT NULL DEFAULT 1,
  dirty INTEGER NOT NULL DEFAULT 0, deleted INTEGER NOT NULL DEFAULT 0, contact_id INTEGER REFERENCES contacts(_id),
  aggregation_mode INTEGER NOT NULL DEFAULT 0, aggregation_needed INTEGER NOT NULL DEFAULT 1, custom_ringtone TEXT,
  send_to_voicemail INTEGER NOT NULL DEFAULT 0, times_contacted INTEGER NOT NULL DEFAULT 0, last_time_contacted INTEGER,
  starred INTEGER NOT NULL DEFAULT 0, display_name TEXT, display_name_alt TEXT,
  display_name_source INTEGER NOT NULL DEFAULT 0, phonetic_name TEXT, phonetic_name_style TEXT,
  sort_key TEXT COLLATE PHONEBOOK, sort_key_alt TEXT COLLATE PHONEBOOK, name_verified INTEGER NOT NULL DEFAULT 0,
  sync1 TEXT, sync2 TEXT, sync3 TEXT, sync4 TEXT);
CREATE INDEX raw_contacts_contact_id_index ON raw_contacts (contact_id);
CREATE INDEX raw_contact_sort_key1_index ON raw_contacts (sort_key);
CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT, package_id INTEGER REFERENCES package(_id),
  mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL, raw_contact_id INTEGER REFERENCES raw_contacts(_id) NOT NULL,
  is_read_only INTEGER NOT NULL DEFAULT 0, is_primary INTEGER NOT NULL DEFAULT 0,
  is_super_primary INTEGER NOT NULL DEFAULT 0, data_version INTEGER NOT NULL DEFAULT 0,
  data1 TEXT, data2 TEXT, data3 TEXT, data4 TEXT, data5 TEXT, data6 TEXT, data7 TEXT, data8 TEXT, data9 TEXT,
  data10 TEXT, data11 TEXT, data12 TEXT, data13 TEXT, data14 TEXT, data15 TEXT,
  data_sync1 TEXT, data_sync2 TEXT, data_sync3 TEXT, data_sync4 TEXT);
CREATE INDEX data_raw_contact_id ON data (raw_contact_id);
CREATE INDEX data_mimetype_data1_index ON data (mimetype_id,data1);
CREATE TABLE phone_lookup (data_id INTEGER REFERENCES data(_id) NOT NULL,
  raw_contact_id INTEGER REFERENCES raw_contacts(_id) NOT NULL, normalized_number TEXT NOT NULL,
  min_match TEXT NOT NULL);
CREATE INDEX phone_lookup_index ON phone_lookup (normalized_number,raw_contact_id,data_id);
CREATE TRIGGER raw_contacts_deleted BEFORE DELETE ON raw_contacts BEGIN
  DELETE FROM data WHERE raw_contact_id=OLD._id;
  DELETE FROM phone_lookup WHERE raw_contact_id=OLD._id;
END;
CREATE VIEW view_raw_contacts AS SELECT _id, display_name, sort_key FROM raw_contacts ORDER BY sort_key COLLATE PHONEBOOK;
CREATE TABLE groups (_id INTEGER PRIMARY KEY AUTOINCREMENT, package_id INTEGER REFERENCES package(_id),
  account_id INTEGER REFERENCES accounts(_id), sourceid TEXT, version INTEGER NOT NULL DEFAULT 1,
  dirty INTEGER NOT NULL DEFAULT 0, title TEXT, title_res INTEGER, notes TEXT, system_id TEXT,
  deleted INTEGER NOT NULL DEFAULT 0, group_visible INTEGER NOT NULL DEFAULT 0, should_sync INTEGER NOT NULL DEFAULT 1,
  auto_add INTEGER NOT NULL DEFAULT 0, favorites INTEGER NOT NULL DEFAULT 0, group_is_read_only INTEGER NOT NULL DEFAULT 0,
  sync1 TEXT, sync2 TEXT, sync3 TEXT, sync4 TEXT);
)SQL";
    if (android7) {
        const std::string raw = "raw_contact_id INTEGER REFERENCES raw_contacts(_id) NOT NULL,";
        sql.replace(sql.find(raw), raw.size(), raw + " hash_id TEXT,");
        const std::string last = "data_sync4 TEXT);";
        sql.replace(sql.find(last), last.size(), "data_sync4 TEXT, carrier_presence INTEGER NOT NULL DEFAULT 0);");
    }
    return sql;
}

std::string MessagesSchemaSql(bool android5Columns) {
    std::string sql = R"SQL(
CREATE TABLE android_metadata (locale TEXT);
INSERT INTO android_metadata VALUES ('en_US');
CREATE TABLE canonical_addresses (_id INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT);
CREATE TABLE threads (_id INTEGER PRIMARY KEY AUTOINCREMENT, date INTEGER DEFAULT 0, message_count INTEGER DEFAULT 0,
  recipient_ids TEXT, snippet TEXT, snippet_cs INTEGER DEFAULT 0, read INTEGER DEFAULT 1, type INTEGER DEFAULT 0,
  error INTEGER DEFAULT 0, has_attachment INTEGER DEFAULT 0);
CREATE TABLE sms (_id INTEGER PRIMARY KEY, thread_id INTEGER, address TEXT, person INTEGER, date INTEGER,
  date_sent INTEGER DEFAULT 0, protocol INTEGER, read INTEGER DEFAULT 0, status INTEGER DEFAULT -1, type INTEGER,
  reply_path_present INTEGER, subject TEXT, body TEXT, service_center TEXT, locked INTEGER DEFAULT 0,)SQL";
    sql += android5Columns ? " sub_id INTEGER DEFAULT -1, error_code INTEGER DEFAULT 0, creator TEXT,"
                           : " error_code INTEGER DEFAULT 0,";
    sql += " seen INTEGER DEFAULT 0);\n";
    sql += R"SQL(
CREATE INDEX typeThreadIdIndex ON sms (type, thread_id);
CREATE TABLE pdu (_id INTEGER PRIMARY KEY AUTOINCREMENT, thread_id INTEGER, date INTEGER, msg_box INTEGER,
  read INTEGER DEFAULT 0, m_id TEXT, sub TEXT, ct_t TEXT, m_size INTEGER, seen INTEGER DEFAULT 0);
CREATE TRIGGER sms_update_thread_on_insert AFTER INSERT ON sms BEGIN
  UPDATE threads SET date = NEW.date, snippet = NEW.body, message_count = message_count + 1
  WHERE threads._id = NEW.thread_id;
END;
CREATE TRIGGER sms_update_thread_on_delete AFTER DELETE ON sms BEGIN
  UPDATE threads SET message_count = message_count - 1 WHERE threads._id = OLD.thread_id;
END;
)SQL";
    return sql;
}

std::vector<std::string> SmsColumnNames(bool android5Columns) {
    std::vector<std::string> names = {"_id", "thread_id", "address", "person", "date", "date_sent", "protocol", "read",
                                      "status", "type", "reply_path_present", "subject", "body", "service_center",
                                      "locked"};
    if (android5Columns) {
        names.insert(names.end(), {"sub_id", "error_code", "creator", "seen"});
    } else {
        names.insert(names.end(), {"error_code", "seen"});
    }
    return names;
}

void RegisterPhonebookCollation(sqlite3* db) {
    sqlite3_create_collation(
        db, "PHONEBOOK", SQLITE_UTF8, nullptr, [](void*, int na, const void* a, int nb, const void* b) {
            const int n = na < nb ? na : nb;
            const int c = std::memcmp(a, b, static_cast<std::size_t>(n));
            return c != 0 ? c : na - nb;
        });
}

}  // namespace qb::tools
