// The tables of Android's contacts and telephony providers as phones of the
// 4.x and 5.x era create them (the tables recovery reads in full, the rest
// in part). Column order matters: deleted rows are carved by position.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

namespace qb::tools {

// Statements that create contacts2.db. raw_contacts sorts its names with the
// PHONEBOOK collation, which only the phone knows: register it with
// RegisterPhonebookCollation before running them.
// With android7 the data table has hash_id after raw_contact_id and
// carrier_presence at the end (29 columns), as Android 7 creates it.
std::string ContactsSchemaSql(bool android7 = false);

// Statements that create mmssms.db. With android5Columns the sms table has
// the sub_id and creator columns of Android 5, where Android 5 puts them.
std::string MessagesSchemaSql(bool android5Columns);

// Number of columns of table data; the columns of table sms, in order.
constexpr int kDataColumns = 27;
constexpr int kDataColumnsAndroid7 = 29;
std::vector<std::string> SmsColumnNames(bool android5Columns);

// A stand-in for the phone's locale-aware collation.
void RegisterPhonebookCollation(sqlite3* db);

}  // namespace qb::tools
