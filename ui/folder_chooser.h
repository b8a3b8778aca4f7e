// The system's folder chooser, rooted at the desktop.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace qb::ui {

// The folder the user picks, with the prompt above the tree; nothing when
// the user cancels or picks something that is not a folder of the file
// system.
std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& prompt);

}  // namespace qb::ui
