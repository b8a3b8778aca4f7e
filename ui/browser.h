// Web pages the windows open in the user's default browser (the vendor's
// product, support and help pages, the download page).
#pragma once

#include <functional>
#include <string>

namespace qb::ui {

// Opens the address with the shell's "open" verb.
void OpenInBrowser(const std::wstring& address);

// Replaces what OpenInBrowser does (tests record the addresses instead of
// starting a browser); an empty function restores the shell.
void SetBrowserOpener(std::function<void(const std::wstring&)> opener);

}  // namespace qb::ui
