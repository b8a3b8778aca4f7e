#include "ui/text_format.h"

#include <cstdlib>

#include "platform/text.h"

namespace qb::ui {

std::optional<std::string> TimeTextFromMilliseconds(const char* milliseconds) {
    if (!milliseconds) return std::nullopt;
    const long long value = std::strtoll(milliseconds, nullptr, 10);
    return dbrecover::FormatMessageDate(static_cast<std::uint64_t>(value));
}

std::string TimeTextNow(const char* format) {
    return platform::FormatLocalTime(dbrecover::ClampDateSeconds(platform::CurrentTimeSeconds()), format);
}

bool IsValidUtf8(const char* bytes, std::size_t n) { return bytes && dbrecover::IsValidUtf8Text(bytes, n); }

std::u16string Utf8ToWide(const char* utf8) { return utf8 ? platform::Utf8ToWide(utf8) : std::u16string(); }

std::string WideToUtf8(const std::u16string& wide) { return platform::WideToUtf8(wide); }

}  // namespace qb::ui
