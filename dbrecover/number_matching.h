// Phone numbers compared the way phones compare them. A conversation's
// address is usually stored in international form (+33 6 12 34 56 78) while
// the contact keeps the number as it was typed (06 12 34 56 78): only the
// digits count, and the country code, the international prefix (+, 00, 011)
// and the trunk zero may stand in front of the same subscriber number.
#pragma once

#include <string>
#include <string_view>

namespace qb::dbrecover {

// The fewest trailing digits two different-looking numbers must share.
inline constexpr std::size_t kMatchDigits = 7;

// Two numbers that can be the same (SamePhoneNumber) share this key: the
// last seven digits, or all digits of a shorter number. Empty for an
// address that is no phone number (letters, "*", "#", a "+" inside, no
// digit at all).
std::string NumberMatchKey(std::string_view address);

// Whether two addresses are the same phone number: digits only, separators
// ignored; numbers shorter than seven digits (short codes) only when their
// digits are the same; longer ones when their last seven or more digits
// agree and what is left in front of them is nothing on one side, or a
// trunk zero on one side and a country code (after "+", "00" or "011") on
// the other.
bool SamePhoneNumber(std::string_view a, std::string_view b);

}  // namespace qb::dbrecover
