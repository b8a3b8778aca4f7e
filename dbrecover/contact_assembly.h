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
    bool HoldsValueBeginningWith(const std::string& field, std::string_view text) {
        return FindValueBeginningWith(field, text) != nullptr;
    }
    // A value of the field that begins with text (or is text), or null.
    const std::string* FindValueBeginningWith(const std::string& field, std::string_view text);

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

// The label of a kind of value in reports: "Phone", "Email", "Group"...
const char* FieldLabel(FieldKind kind);

// Finds the entry of a value in a contact's list of values (ContactItem::
// values) by a hash look-up. A contact is known by its address, as with
// FieldValues; a contact whose list changed size without it is read anew.
class ValueIndex {
public:
    ValueOrigin* Find(ContactItem& contact, FieldKind kind, std::string_view value);
    // Adds origin to the value's entry, made (with the earlier flag) when the
    // contact has none.
    ValueOrigin& Note(ContactItem& contact, FieldKind kind, std::string_view value, const RecordOrigin& origin,
                      bool earlier);

private:
    struct Entries {
        std::size_t size = 0;
        std::unordered_map<std::string, std::size_t> at;  // kind byte + value to the position in values
    };
    Entries& Of(ContactItem& contact);
    std::unordered_map<const ContactItem*, Entries> contacts_;
};

// Folds one live-row reading into a working map keyed by the raw contact id
// (sign-extended from 32 bits). New contacts get deleted = deletedFlag, or 1
// when the reading lists their raw contact among those the phone marked
// deleted; a contact already there keeps its flag and gains the values it
// lacked. Group memberships show their group's title where the reading's
// groups (or the previous reading's) have it.
void AddLiveDataRows(const LiveContactsReading& reading, std::uint8_t deletedFlag, MimetypeNames& names,
                     GroupTitles& titles, ContactMap& working);

// Receives carved data rows. A row of a raw contact that the live-row
// readings hold (filed under the negated raw contact id) joins that
// contact: a row equal to one of its values (or a value cut short that
// begins one) is an old copy of it and only adds where it was found; any
// other value is an earlier value of the contact. A row of any other raw
// contact forms or extends the deleted contact filed under +rawContactId.
// Rows whose raw contact id is 0 or does not fit a positive key are
// dropped: they could only merge into live contacts.
//
// A row of a raw contact no live-row reading holds, but that is the same
// row (raw contact id, mimetype id and data1) as a live cell read raw
// (SeeLiveDataRow) or a live row (AddLiveRows), is dropped when it comes
// from a page version older than the current one. A value cut short is
// dropped when the field already holds a value that begins with it. Group
// memberships show their group's title as live rows do. The copy whose rows
// are being carved is set by SetCopy.
class ContactCarver final : public CarvedRowSink {
public:
    ContactCarver(ContactMap& contacts, const MimetypeNames& names, const GroupTitles& titles)
        : contacts_(contacts), names_(names), titles_(titles) {}
    void SetCopy(CopyKind copy) { copy_ = copy; }
    void AddDeletedDataRow(std::uint64_t mimetypeId, std::uint64_t rawContactId, std::string_view data1) override;
    void AddCarvedDataRow(const CarvedDataRow& row) override;
    void SeeLiveDataRow(const CarvedDataRow& row) override;
    void AddLiveRows(const LiveContactsReading& reading);

private:
    using Key = std::tuple<std::uint64_t, std::uint32_t, std::string>;
    // Joins the row to the live contact of its raw contact; false when there
    // is none.
    bool JoinLiveContact(const CarvedDataRow& row, FieldKind kind, std::string_view shown);
    // A value cut short joins the value of the field it begins, when there
    // is one: only where it was found is added.
    bool JoinWholeValue(ContactItem& contact, FieldKind kind, std::string_view slice, const RecordOrigin& origin);
    ContactItem* AddToDeletedContact(std::uint64_t rawContactId, FieldKind kind, std::string_view shown);
    ContactMap& contacts_;
    const MimetypeNames& names_;
    const GroupTitles& titles_;
    CopyKind copy_ = CopyKind::Current;
    std::set<Key> live_;
    FieldValues values_;
    ValueIndex origins_;
};

}  // namespace qb::dbrecover
