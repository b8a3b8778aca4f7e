#include "platform/windows_support.h"

#include <algorithm>
#include <climits>

#include "platform/text.h"

namespace qb::platform::win {

std::wstring Wide(const std::string& utf8) {
    const std::u16string wide = Utf8ToWide(utf8);
    return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& wide) {
    return WideToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

std::string SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text ? std::wstring(text, length) : std::wstring();
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(code);
    return Narrow(message);
}

std::size_t ReadAtOffset(HANDLE handle, std::uint64_t offset, void* dst, std::size_t n) {
    // ReadFile counts in 32 bits; larger requests go in pieces.
    constexpr std::size_t kLargestRead = 1u << 26;
    auto* out = static_cast<unsigned char*>(dst);
    std::size_t total = 0;
    while (total < n) {
        const std::uint64_t at = offset + total;
        // Offsets are signed 64-bit to the system.
        if (at < offset || at > static_cast<std::uint64_t>(INT64_MAX)) break;
        OVERLAPPED where {};
        where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        if (!::ReadFile(handle, out + total, static_cast<DWORD>(std::min(n - total, kLargestRead)), &got, &where) ||
            got == 0)
            break;
        total += got;
    }
    return total;
}

}  // namespace qb::platform::win
