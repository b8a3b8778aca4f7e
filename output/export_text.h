// Text as the export files carry it. Record texts may hold any bytes (carved
// rows are cut out of free space); vCard, XML and CSV readers insist on
// well-formed UTF-8 and on characters their formats allow.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb::output {

// The text with every byte that does not start a well-formed UTF-8
// character, every control character but tab, line feed and carriage
// return, and the non-characters U+FFFE and U+FFFF replaced by U+FFFD.
std::string CleanText(std::string_view text);

// The values of a record field joined by "|"; none for an empty field.
std::vector<std::string_view> FieldValues(std::string_view field);

// The first value of a record field, or the empty text.
std::string_view FirstValue(std::string_view field);

}  // namespace qb::output
