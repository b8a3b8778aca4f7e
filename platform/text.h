// Text conversions at the edges of the system: UTF-8 inside, UTF-16 where
// the operating system wants wide strings, and local-time formatting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::platform {

// Invalid sequences become U+FFFD, one per maximal invalid subpart, which is
// how the Windows converter counts them.
std::u16string Utf8ToWide(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string WideToUtf8(std::u16string_view wide);

// strftime of the given seconds since 1970-01-01 UTC in the local time zone;
// empty when the time cannot be converted.
std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* format);
// Seconds since 1970-01-01 UTC now.
std::int64_t CurrentTimeSeconds();

}  // namespace qb::platform
