// The sample phone's ground truth names a contact's fields by their member
// names; the recovered contact joins several values of a field with '|'.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "dbrecover/contact_item.h"

namespace qb::testsupport {

inline std::vector<std::string> Split(const std::string& field) {
    std::vector<std::string> values;
    if (field.empty()) return values;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = field.find('|', start);
        values.push_back(field.substr(start, bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return values;
}

inline const std::string& FieldNamed(const dbrecover::ContactItem& c, const std::string& name) {
    using dbrecover::ContactItem;
    static const std::map<std::string, std::string ContactItem::*> kFields = {
        {"name", &ContactItem::name},         {"nickname", &ContactItem::nickname},
        {"im", &ContactItem::im},             {"phone", &ContactItem::phone},
        {"email", &ContactItem::email},       {"organization", &ContactItem::organization},
        {"sipAddress", &ContactItem::sipAddress}, {"postalAddress", &ContactItem::postalAddress},
        {"website", &ContactItem::website},   {"note", &ContactItem::note},
        {"others", &ContactItem::others},
    };
    return c.*(kFields.at(name));
}

// The contact a carved row of a raw contact joins: the one its live rows
// form while a copy still holds any (filed under the negated id), else the
// deleted one carving forms.
inline const dbrecover::ContactItem* ContactOfCarvedRow(const dbrecover::ContactMap& contacts, std::int64_t raw) {
    auto it = contacts.find(-raw);
    if (it == contacts.end()) it = contacts.find(raw);
    return it == contacts.end() ? nullptr : &it->second;
}

// Whether the contact shows a carved value: in its field, or as an earlier
// value of a live contact.
inline bool ShowsCarvedValue(const dbrecover::ContactItem& c, const std::string& field, const std::string& value) {
    for (const std::string& v : Split(FieldNamed(c, field))) {
        if (v == value) return true;
    }
    for (const auto& v : c.values) {
        if (v.earlier && v.value == value) return true;
    }
    return false;
}

}  // namespace qb::testsupport
