// One recovered contact and the map that holds them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dbrecover/record_origin.h"

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

// Where one value of a contact was found.
struct ValueOrigin {
    FieldKind kind = kKindUnknown;
    std::string value;  // as shown
    // A value carved for a raw contact whose live rows no longer hold it: an
    // earlier value of that contact, not one of its fields.
    bool earlier = false;
    bool cutShort = false;  // only the part of a longer text that lay on its page
    std::vector<RecordOrigin> foundIn;
};

// A contact, live or deleted. Every text field is a list of distinct values
// joined by "|", empty when no value came.
struct ContactItem {
    std::uint8_t deleted = 0;   // found only in the backup copy or in free space
    std::uint8_t selected = 1;  // ticked in the list; everything found starts ticked
    std::int64_t rawContactId = 0;
    std::string name;
    std::string nickname;
    std::string im;
    std::string phone;
    std::string email;
    std::string organization;
    std::string sipAddress;
    std::string postalAddress;
    std::string website;
    std::string note;
    std::string others;
    // 1 when a carved value of the contact is only the part of a longer text
    // that still lay on its page (its overflow pages were gone).
    std::uint8_t cutShort = 0;
    // The data4 of the live phone rows (the numbers as the phone normalised
    // them), joined by "|". Names conversations; not shown.
    std::string phoneNormalized;
    // Every value shown in the fields above, and every earlier value, with
    // where it was found, in the order they came.
    std::vector<ValueOrigin> values;
};

// Ascending by key: contacts read from live rows are filed under the negated
// raw contact id, contacts carved from free space under the raw contact id.
using ContactMap = std::map<std::int64_t, ContactItem>;

}  // namespace qb::dbrecover
