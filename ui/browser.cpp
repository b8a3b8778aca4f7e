#include "ui/browser.h"

#include <windows.h>
#include <shellapi.h>

#include <utility>

namespace qb::ui {
namespace {

std::function<void(const std::wstring&)>& Opener() {
    static std::function<void(const std::wstring&)> opener;
    return opener;
}

}  // namespace

void OpenInBrowser(const std::wstring& address) {
    if (Opener()) {
        Opener()(address);
        return;
    }
    ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SetBrowserOpener(std::function<void(const std::wstring&)> opener) { Opener() = std::move(opener); }

}  // namespace qb::ui
