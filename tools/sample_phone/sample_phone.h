// A deterministic sample phone: contacts2.db and mmssms.db with Android's
// own table layouts, taken the way a pull from a running phone takes them.
//
// Each database goes through the life a phone gives it: rows are written,
// some are deleted, the write-ahead log is checkpointed into the main file
// (the rows deleted so far now lie in freeblocks and unallocated gaps), then
// more rows are deleted and a few added while the changes stay in the log.
// The pull copies the main file with its -wal and -shm companions; the
// backup copy is the main file alone, as of the last checkpoint.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sample_phone/ground_truth.h"

namespace qb::tools {

struct SamplePhoneOptions {
    std::uint64_t seed = 20140923;
    // Freed cells zeroed, as SQLite does by default on the PC; the phones of
    // that era left them as they were.
    bool secureDelete = false;
    // mmssms.db in rollback-journal mode: no -wal, every deletion in the
    // main file, the backup copy equal to it.
    bool messagesRollbackJournal = false;
    // The sms table with the sub_id and creator columns of later releases.
    bool android5Columns = false;
    std::uint32_t pageSize = 4096;
    // Repeats the sample's people and conversations this many times.
    int scale = 1;

    // Beyond the first sample, the places deleted rows survive:
    // Rows inserted and deleted again over several checkpoints; the log is
    // written anew from its start after each, its older frames left behind
    // the new ones, and the last rounds stay in the log alone.
    bool logLife = false;
    // mmssms.db in journal mode PERSIST: the page images from before the last
    // deletions stay in mmssms.db-journal, its header zeroed.
    bool persistJournal = false;
    // A whole old conversation and a block of contacts deleted at once: their
    // leaf pages are freed to the freelist.
    bool bulkDelete = false;
    // Bodies longer than a page holds, spilling to overflow pages; some of
    // them deleted.
    bool longBodies = false;
    // "Delete all messages": the sms table keeps no row.
    bool emptyMessages = false;
    // The data table as Android 7 creates it: hash_id after raw_contact_id,
    // carrier_presence at the end.
    bool android7Contacts = false;
};

// The files of a generated phone, in the working layout the recovery reads:
// the pulled copies with their companions at the top, the backup copies in
// bak/, and truth.json.
struct SamplePhonePaths {
    std::string contacts;        // folder/contacts2.db (+ -wal, -shm)
    std::string contactsBackup;  // folder/bak/contacts2.db
    std::string messages;        // folder/mmssms.db (+ -wal, -shm unless rollback journal)
    std::string messagesBackup;  // folder/bak/mmssms.db
    std::string truth;           // folder/truth.json
    // folder/mmssms.db-journal exists with persistJournal.
};

SamplePhonePaths SamplePhoneLayout(const std::string& folder);

// Creates the folder if needed and writes every file; false with a reason
// when something cannot be written.
bool GenerateSamplePhone(const std::string& folder, const SamplePhoneOptions& options, std::string* error);

}  // namespace qb::tools
