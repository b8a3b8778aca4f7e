// Folds rows of table data into one ContactItem per raw contact: live rows
// from the live-row reader, deleted rows from the page scanner.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dbrecover/contact_item.h"
#include "dbrecover/live_row_reader.h"
#include "dbrecover/page_scanner.h"

namespace qb::dbrecover {

// The kind of a data row, from its mimetype name; 0 for names not in the
// table, whose values go to ContactItem::others.
enum FieldKind : int {
    kKindUnknown = 0,
    kKindEmail = 1,
    kKindIm = 2,
    kKindNickname = 3,
    kKindOrganization = 4,
    kKindPhone = 5,
    kKindSipAddress = 6,
    kKindName = 7,
    kKindPostalAddress = 8,
    kKindGroupMembership = 9,
    kKindWebsite = 10,
    kKindNote = 11,
    kKindContactEvent = 12,
    kKindIdentity = 13,
    kKindPhoto = 14,
    kKindRelation = 15,
};

FieldKind FieldKindOfName(std::string_view mimetypeName);

// A database's mimetype ids and their names, as the last live-row reading
// that listed any left them. Carved rows carry only the id.
class MimetypeNames {
public:
    // Takes the names of one reading; a later entry with the same id replaces
    // an earlier one. A reading that lists no mimetype at all (a copy that is
    // missing or unreadable) leaves the names of the previous reading.
    void Replace(const std::vector<LiveMimetype>& mimetypes);
    // The empty name for an id it does not hold.
    const std::string& NameOf(std::uint32_t id) const;

private:
    std::unordered_map<std::uint32_t, std::string> names_;
};

FieldKind KindOf(std::uint32_t mimetypeId, const MimetypeNames& names);

// The titles of a database's groups, as the last live-row reading that
// listed any group left them. A group membership row names its group by the
// group's _id in data1; shown as a number it tells the user nothing.
class GroupTitles {
public:
    // Takes the groups of one reading; a reading that lists none (a copy
    // that is missing or unreadable) leaves those of the previous reading.
    void Replace(const std::vector<LiveGroup>& groups);
    // The value as shown: for a group membership whose data1 is the _id of
    // a group with a title, that title; otherwise the value itself.
    std::string_view Readable(FieldKind kind, std::string_view data1) const;

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
    };
    // Keyed by the decimal text of the _id, as data1 holds it.
    std::unordered_map<std::string, std::string, TextHash, std::equal_to<>> titles_;
};

// The field of a contact that values of a kind go to.
std::string& FieldOf(ContactItem& contact, FieldKind kind);

// Adds value to a "|"-joined list unless the list already holds it; an empty
// value changes nothing.
void AppendValue(std::string& field, std::string_view value);

// The values the fields of some contacts hold, so that adding a value to a
// field costs a hash look-up rather than a pass over the field. A field is
// known by its address, so the contacts must stay where they are while it
// is used (as nodes of a map do); a field whose length changed without it
// is read anew.
class FieldValues {
public:
    // AppendValue, in time proportional to the value.
    void Append(std::string& field, std::string_view value);
    // Whether a value of the field begins with text (or is text).
    bool HoldsValueBeginningWith(const std::string& field, std::string_view text);

private:
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
    };
    struct Values {
        std::size_t length = 0;  // of the field when last seen
        std::unordered_set<std::string, TextHash, std::equal_to<>> pieces;  // the field split at "|"
        bool ordering = false;  // ordered is kept from the first question about beginnings on
        std::set<std::string, std::less<>> ordered;
        void Add(std::string_view text);
    };
    Values& Of(const std::string& field);
    std::unordered_map<const std::string*, Values> fields_;
};

// Folds one live-row reading into a working map keyed by the raw contact id
// (sign-extended from 32 bits). New contacts get deleted = deletedFlag, or 1
// when the reading lists their raw contact among those the phone marked
// deleted; a contact already there keeps its flag and gains the values it
// lacked. Group memberships show their group's title where the reading's
// groups (or the previous reading's) have it.
void AddLiveDataRows(const LiveContactsReading& reading, std::uint8_t deletedFlag, MimetypeNames& names,
                     GroupTitles& titles, ContactMap& working);

// Receives carved data rows: each forms or extends the deleted contact filed
// under +rawContactId. Rows whose raw contact id is 0 or does not fit a
// positive key are dropped: they could only merge into live contacts.
//
// A row carved from a page version older than the current one (any source
// but FreeSpace) is a deleted row only when no live row of the copies is the
// same row (raw contact id, mimetype id and data1): live rows of the
// live-row readings (AddLiveRows) and live cells read raw (SeeLiveDataRow).
// A value cut short is dropped when the field already holds a value that
// begins with it. Group memberships show their group's title as live rows do.
class ContactCarver final : public CarvedRowSink {
public:
    ContactCarver(ContactMap& contacts, const MimetypeNames& names, const GroupTitles& titles)
        : contacts_(contacts), names_(names), titles_(titles) {}
    void AddDeletedDataRow(std::uint64_t mimetypeId, std::uint64_t rawContactId, std::string_view data1) override;
    void AddCarvedDataRow(const CarvedDataRow& row) override;
    void SeeLiveDataRow(const CarvedDataRow& row) override;
    void AddLiveRows(const LiveContactsReading& reading);

private:
    using Key = std::tuple<std::uint64_t, std::uint32_t, std::string>;
    ContactMap& contacts_;
    const MimetypeNames& names_;
    const GroupTitles& titles_;
    std::set<Key> live_;
    FieldValues values_;
};

}  // namespace qb::dbrecover
