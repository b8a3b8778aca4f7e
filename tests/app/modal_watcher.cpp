#include "tests/app/modal_watcher.h"

namespace qb::app::testsupport {
namespace {

struct Search {
    DWORD process;
    int controlId;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search->process || !::IsWindowVisible(window)) return TRUE;
    if (::GetDlgItem(window, search->controlId) == nullptr) return TRUE;
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (std::wstring(className) != L"#32770") return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

ModalWatcher::ModalWatcher(int controlId, std::function<void(HWND)> action, std::chrono::milliseconds limit,
                           std::chrono::milliseconds settle) {
    thread_ = std::thread([this, action = std::move(action), controlId, limit, settle] {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            Search search {::GetCurrentProcessId(), controlId, nullptr};
            ::EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) {
                std::this_thread::sleep_for(settle);  // let it paint
                found_ = true;
                action(search.found);
                return;
            }
            ::Sleep(20);
        }
    });
}

ModalWatcher::~ModalWatcher() {
    if (thread_.joinable()) thread_.join();
}

bool ModalWatcher::Found() {
    if (thread_.joinable()) thread_.join();
    return found_;
}

void ClickButton(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

RECT ScreenRect(HWND window) {
    RECT r {};
    ::GetWindowRect(window, &r);
    return r;
}

RECT PlaceInParent(HWND control) {
    RECT r = ScreenRect(control);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace qb::app::testsupport
