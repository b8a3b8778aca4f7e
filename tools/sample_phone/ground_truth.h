// What a generated sample phone holds and what recovery must find in it,
// written beside the databases as truth.json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::tools {

enum class RowState {
    Live,                     // in both copies
    AddedAfterCheckpoint,     // only in the current copy (still in the log)
    DeletedBeforeCheckpoint,  // in neither copy; its cell lies in free space
    DeletedAfterCheckpoint,   // only in the backup copy (its deletion is in the log)
    // Inserted and deleted again while the phone ran: no copy holds it as a
    // live row; only page versions in between (log frames, a journal, free
    // space, freed pages) may still hold its bytes.
    Transient,
};

const char* RowStateName(RowState state);
std::optional<RowState> RowStateFromName(const std::string& name);

// Where a row's record bytes lie intact in free space, so that carving finds
// it: in the current copy once its log is folded in, and in the backup copy.
// For a deleted row that is its old cell; for a row that is live in a copy,
// a stale copy that SQLite left behind when it moved cells.
struct Intact {
    bool inCurrent = false;
    bool inBackup = false;
    bool Anywhere() const { return inCurrent || inBackup; }

    // Beyond the leaf pages: where the record's bytes (for a text that
    // spills to overflow pages, as far as they lie in its cell) lie anywhere
    // in the pull, on any page or frame: the current copy's main file, its
    // -wal, its -journal, the backup copy. Only worked out for rows that no
    // copy holds as a live row.
    bool inCurrentFile = false;
    bool inLog = false;
    bool inJournal = false;
    bool inBackupFile = false;
    // For a text longer than its cell holds: its last bytes lie in the pull
    // too (its overflow pages survive), so it can be read whole.
    bool tailInPull = false;
    bool InPull() const { return inCurrentFile || inLog || inJournal || inBackupFile; }
};

struct TruthDataRow {
    std::int64_t id = 0;
    std::int64_t rawContactId = 0;
    std::string mimetype;
    std::string field;                 // the contact field its value belongs to
    std::optional<std::string> data1;  // NULL for photo rows
    // What recovery shows instead of data1: for a group membership, the
    // title of the group whose _id data1 holds.
    std::optional<std::string> shown;
    RowState state = RowState::Live;
    Intact intact;
    const std::optional<std::string>& Shown() const { return shown ? shown : data1; }
};

struct TruthSmsRow {
    std::int64_t id = 0;
    std::int64_t threadId = 0;
    std::string address;
    std::string body;
    std::int64_t date = 0;  // milliseconds since 1970-01-01 UTC
    std::int32_t type = 0;
    RowState state = RowState::Live;
    Intact intact;
};

struct GroundTruth {
    std::uint64_t seed = 0;
    bool secureDelete = false;
    std::string contactsJournalMode;  // "wal"
    std::string messagesJournalMode;  // "wal" or "delete"
    std::uint32_t pageSize = 0;
    std::vector<TruthDataRow> dataRows;
    std::vector<TruthSmsRow> smsRows;
    // Raw contacts the phone marked deleted (raw_contacts.deleted = 1) in the
    // current copy and keeps until the deletion is synced: shown deleted.
    std::vector<std::int64_t> pendingDeletes;
};

std::string GroundTruthToJson(const GroundTruth& truth);
std::optional<GroundTruth> GroundTruthFromJson(const std::string& json);

}  // namespace qb::tools
