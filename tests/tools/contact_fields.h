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

}  // namespace qb::testsupport
