// UTF-8 text of the records and paths as the wide text of the windows, and
// back: the platform's one converter, in the system's wide string type.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace qb::ui {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the windows' wide text is UTF-16");

inline std::wstring Wide(std::string_view utf8) {
    const std::u16string wide = platform::Utf8ToWide(utf8);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string Narrow(std::wstring_view wide) {
    return platform::WideToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

}  // namespace qb::ui
