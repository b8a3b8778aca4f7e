// Text service on Windows: the system's UTF-8 converters, which replace
// invalid input with U+FFFD, and the C runtime's 64-bit local time.
#include "platform/text.h"

#include <windows.h>

#include <climits>
#include <ctime>

namespace qb::platform {
namespace {

// The converters take int lengths; longer texts go through in pieces that
// end before a lead byte (UTF-8) or after a complete pair (UTF-16).
constexpr std::size_t kPiece = 1u << 24;

std::size_t Utf8PieceEnd(std::string_view s, std::size_t from) {
    std::size_t end = from + kPiece;
    if (end >= s.size()) return s.size();
    for (int back = 0; back < 3 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80; ++back) --end;
    return end;
}

std::size_t WidePieceEnd(std::u16string_view s, std::size_t from) {
    std::size_t end = from + kPiece;
    if (end >= s.size()) return s.size();
    if (s[end - 1] >= 0xD800 && s[end - 1] <= 0xDBFF) --end;
    return end;
}

}  // namespace

std::u16string Utf8ToWide(std::string_view utf8) {
    std::u16string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t end = Utf8PieceEnd(utf8, at);
        const int length = static_cast<int>(end - at);
        const int need = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data() + at, length, nullptr, 0);
        if (need > 0) {
            const std::size_t base = out.size();
            out.resize(base + static_cast<std::size_t>(need));
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data() + at, length, reinterpret_cast<wchar_t*>(&out[base]), need);
        }
        at = end;
    }
    return out;
}

std::string WideToUtf8(std::u16string_view wide) {
    std::string out;
    for (std::size_t at = 0; at < wide.size();) {
        const std::size_t end = WidePieceEnd(wide, at);
        const int length = static_cast<int>(end - at);
        const auto* text = reinterpret_cast<const wchar_t*>(wide.data() + at);
        const int need = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
        if (need > 0) {
            const std::size_t base = out.size();
            out.resize(base + static_cast<std::size_t>(need));
            ::WideCharToMultiByte(CP_UTF8, 0, text, length, &out[base], need, nullptr, nullptr);
        }
        at = end;
    }
    return out;
}

std::string FormatLocalTime(std::int64_t secondsSinceEpoch, const char* format) {
    const __time64_t t = static_cast<__time64_t>(secondsSinceEpoch);
    std::tm local {};
    if (::_localtime64_s(&local, &t) != 0) return {};
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, n);
}

std::int64_t CurrentTimeSeconds() { return static_cast<std::int64_t>(::_time64(nullptr)); }

}  // namespace qb::platform
