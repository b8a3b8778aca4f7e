// Turns rows of table sms into conversations: rows are grouped by address
// and thread id, exact repeats are dropped, and at the end each conversation
// is named after the contact with its phone number and its messages are put
// in date order.
#pragma once

#include <cstdint>
#include <string>
#include <map>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/live_row_reader.h"
#include "dbrecover/message_item.h"
#include "dbrecover/page_scanner.h"

namespace qb::dbrecover {

// Seconds since 1970-01-01 UTC as dates are shown: times before 1970 or
// after 3000-12-31 17:59:59 UTC become 0, the epoch.
std::int64_t ClampDateSeconds(std::int64_t seconds);

// Local time of a date in milliseconds since 1970-01-01 UTC, as
// "%Y-%m-%d %H:%M:%S". The value is taken as signed and clamped by
// ClampDateSeconds.
std::string FormatMessageDate(std::uint64_t milliseconds);

// The conversation of (address, threadId), created with the given deleted
// flag when the map does not hold it yet.
MsgThread& FindOrCreateThread(ThreadMap& threads, std::string_view address, std::int64_t threadId,
                              std::uint8_t deletedFlag);

// Appends the message unless the conversation already holds one with the
// same type, thread id, date text, address and body. The first copy wins,
// gains the origins of the later one, and is not deleted when the later one
// is not. A body cut short is the same message as one whose body begins
// with it: the cut one is dropped, or takes the whole body when it came
// first.
void AddMessage(MsgThread& thread, MsgItem message);

// Folds one live-row reading into the map; deletedFlag is 0 for the current
// copy and 1 for its backup copy.
void AddLiveSmsRows(const std::vector<LiveSmsRow>& rows, std::uint8_t deletedFlag, ThreadMap& threads);

// Receives carved sms rows: each is a deleted message, unless it is an old
// copy of a live row of the copies (the same address, date, type and body,
// or a body cut short that begins a live one): live rows of the live-row
// readings (AddLiveRows) and live cells read raw (SeeLiveSmsRow). Old
// copies are kept aside and, once the live rows are in the map, joined to
// their live message's origins by AttachOldCopies. The copy whose rows are
// being carved is set by SetCopy.
class MessageCarver final : public CarvedRowSink {
public:
    explicit MessageCarver(ThreadMap& threads) : threads_(threads) {}
    void SetCopy(CopyKind copy) { copy_ = copy; }
    void AddDeletedSmsRow(std::string_view address, std::string_view body, std::uint64_t date, std::uint64_t threadId,
                          std::uint64_t type) override;
    void AddCarvedSmsRow(const CarvedSmsRow& row) override;
    void SeeLiveSmsRow(const CarvedSmsRow& row) override;
    void AddLiveRows(const std::vector<LiveSmsRow>& rows);
    // Adds the origins of each old copy to the live message it copies. An
    // old copy whose live row SQLite did not return joins the map as found.
    void AttachOldCopies();

private:
    // (type, date, address) to the bodies live under it.
    using Key = std::tuple<std::int32_t, std::int64_t, std::string>;
    using StaleKey = std::tuple<std::int32_t, std::int64_t, std::string, std::string>;
    // The live body m is a copy of, or null.
    const std::string* LiveBodyOf(const MsgItem& m) const;
    MsgItem Carved(std::string_view address, std::string_view body, std::uint64_t date, std::uint64_t threadId,
                   std::uint64_t type) const;
    ThreadMap& threads_;
    CopyKind copy_ = CopyKind::Current;
    std::map<Key, std::set<std::string>> live_;
    std::map<StaleKey, MsgItem> stale_;  // old copies, under their live row
};

// Names each conversation after the contact whose phone list (as typed, or
// as the phone normalised it) holds its address exactly, or else a number
// that is the same phone number (SamePhoneNumber; the later contact in key
// order wins either way), then
// sorts each conversation's messages by date text (stable, byte by byte).
void ResolveNamesAndSort(const ContactMap& contacts, ThreadMap& threads);

}  // namespace qb::dbrecover
