// One recovered contact and the map that holds them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qb::dbrecover {

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
};

// Ascending by key: contacts read from live rows are filed under the negated
// raw contact id, contacts carved from free space under the raw contact id.
using ContactMap = std::map<std::int64_t, ContactItem>;

}  // namespace qb::dbrecover
