// The text routines the lists, panels and output share: sizes, times, the
// UTF-8 check and UTF-8 <-> UTF-16. Portable; the windows of the
// application and the command line both use them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "dbrecover/message_assembly.h"  // FormatMessageDate
#include "dbrecover/sqlite_file.h"       // IsValidUtf8Text
#include "src/cdr/size_text.h"           // FormatSize, FormatSizeLong

namespace qb::ui {

using cdr::FormatSize;
using cdr::FormatSizeLong;

// Local time "%Y-%m-%d %H:%M:%S" of a decimal text of milliseconds since
// 1970-01-01 UTC, as Android stores dates; leading digits only, none read as
// 0. Null input gives no text.
std::optional<std::string> TimeTextFromMilliseconds(const char* milliseconds);

// The current local time in a strftime format, clamped like message dates.
std::string TimeTextNow(const char* format);

// The UTF-8 text test over exactly n bytes; a null pointer is not valid text.
bool IsValidUtf8(const char* bytes, std::size_t n);

// Null gives an empty text.
std::u16string Utf8ToWide(const char* utf8);
std::string WideToUtf8(const std::u16string& wide);

}  // namespace qb::ui
