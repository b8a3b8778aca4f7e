#include "dbrecover/number_matching.h"

#include <optional>

namespace qb::dbrecover {
namespace {

struct Number {
    std::string digits;
    bool plus = false;  // written with a leading "+"
};

std::optional<Number> Parse(std::string_view address) {
    Number n;
    bool seenAny = false;
    for (const char c : address) {
        if (c >= '0' && c <= '9') {
            n.digits += c;
            seenAny = true;
        } else if (c == '+' && !seenAny) {
            n.plus = true;
            seenAny = true;
        } else if (c != ' ' && c != '-' && c != '.' && c != '(' && c != ')' && c != '/') {
            return std::nullopt;
        }
    }
    if (n.digits.empty()) return std::nullopt;
    return n;
}

bool IsTrunk(const std::string& rest, bool plus) { return !plus && rest == "0"; }

// An international prefix with a country code of one to three digits.
bool IsCountry(const std::string& rest, bool plus) {
    std::size_t prefix = 0;
    if (!plus) {
        if (rest.rfind("011", 0) == 0) {
            prefix = 3;
        } else if (rest.rfind("00", 0) == 0) {
            prefix = 2;
        } else {
            return false;
        }
    }
    const std::size_t code = rest.size() - prefix;
    return code >= 1 && code <= 3;
}

}  // namespace

std::string NumberMatchKey(std::string_view address) {
    const auto n = Parse(address);
    if (!n) return {};
    return n->digits.size() <= kMatchDigits ? n->digits : n->digits.substr(n->digits.size() - kMatchDigits);
}

bool SamePhoneNumber(std::string_view a, std::string_view b) {
    const auto na = Parse(a);
    const auto nb = Parse(b);
    if (!na || !nb) return false;
    const std::string& da = na->digits;
    const std::string& db = nb->digits;
    std::size_t shared = 0;
    while (shared < da.size() && shared < db.size() && da[da.size() - 1 - shared] == db[db.size() - 1 - shared]) {
        ++shared;
    }
    if (shared < kMatchDigits) return da == db;
    const std::string restA = da.substr(0, da.size() - shared);
    const std::string restB = db.substr(0, db.size() - shared);
    if (restA.empty() || restB.empty()) return true;
    return (IsTrunk(restA, na->plus) && IsCountry(restB, nb->plus)) ||
           (IsTrunk(restB, nb->plus) && IsCountry(restA, na->plus));
}

}  // namespace qb::dbrecover
