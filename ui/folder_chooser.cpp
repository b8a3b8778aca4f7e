#include "ui/folder_chooser.h"

#include <shlobj.h>

namespace qb::ui {

std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& prompt) {
    BROWSEINFOW info {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;  // the desktop
    info.lpszTitle = prompt.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr) return std::nullopt;
    wchar_t path[MAX_PATH + 1] = {};
    const bool isFolder = ::SHGetPathFromIDListW(chosen, path) != FALSE;
    ::CoTaskMemFree(chosen);
    if (!isFolder) return std::nullopt;
    return std::wstring(path);
}

}  // namespace qb::ui
