#include "ui/dialog_base.h"

namespace qb::ui {
namespace {

bool IsControlColour(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

// Messages whose dialog-procedure return value is their result itself.
bool ReturnsResultDirectly(UINT message) {
    return message == WM_INITDIALOG || IsControlColour(message) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}

// The child control a message concerns; null for other messages.
HWND ControlOf(HWND parent, UINT message, WPARAM wParam, LPARAM lParam) {
    if (lParam == 0) return nullptr;
    switch (message) {
    case WM_NOTIFY:
        return reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
        const auto* item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        return item->CtlType != ODT_MENU ? ::GetDlgItem(parent, static_cast<int>(item->CtlID)) : nullptr;
    }
    case WM_COMPAREITEM:
        return reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
    case WM_DELETEITEM:
        return reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
    case WM_PARENTNOTIFY:
        return LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY ? reinterpret_cast<HWND>(lParam) : nullptr;
    default:
        // Commands, list-box keys, scrolling and control colours name the
        // control in lParam.
        return IsControlMessage(message) ? reinterpret_cast<HWND>(lParam) : nullptr;
    }
}

}  // namespace

CDialogBase::~CDialogBase() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        if (!modal_) ::DestroyWindow(hwnd_);
    }
}

bool CDialogBase::Create(HWND owner, UINT templateId) {
    modal_ = false;
    HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, DialogProc,
                                       reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR CDialogBase::DoModal(HWND owner, UINT templateId) {
    modal_ = true;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR code) {
    if (hwnd_ != nullptr) ::EndDialog(hwnd_, code);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogBase* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    if (self == nullptr) return FALSE;

    LRESULT result = 0;
    const bool handled = self->OnMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage();
        return FALSE;
    }
    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

bool IsControlMessage(UINT message) {
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_COMPAREITEM:
    case WM_DELETEITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_PARENTNOTIFY:
        return true;
    default:
        return IsControlColour(message);
    }
}

bool ReflectToControl(HWND parent, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    HWND control = ControlOf(parent, message, wParam, lParam);
    if (control == nullptr || !::IsWindow(control) || ::GetParent(control) != parent) return false;
    result = ::SendMessageW(control, message + kReflectedMessageBase, wParam, lParam);
    return true;
}

void StartCaptionDrag(HWND window) {
    ::ReleaseCapture();
    ::SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void SetRoundedRegion(HWND window, int ellipse) {
    RECT client {};
    ::GetClientRect(window, &client);
    HRGN region = ::CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1, ellipse, ellipse);
    // The system owns the region once it is set.
    if (region != nullptr && ::SetWindowRgn(window, region, TRUE) == 0) ::DeleteObject(region);
}

void CenterOnOwner(HWND window, HWND owner) {
    if (owner == nullptr || !::IsWindowVisible(owner) || ::IsIconic(owner)) {
        CenterOnWorkArea(window);
        return;
    }
    RECT mine {}, theirs {};
    ::GetWindowRect(window, &mine);
    ::GetWindowRect(owner, &theirs);
    const int width = mine.right - mine.left;
    const int height = mine.bottom - mine.top;
    const int x = theirs.left + ((theirs.right - theirs.left) - width) / 2;
    const int y = theirs.top + ((theirs.bottom - theirs.top) - height) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterOnWorkArea(HWND window) {
    MONITORINFO monitor {};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    RECT mine {};
    ::GetWindowRect(window, &mine);
    const RECT& area = monitor.rcWork;
    const int x = area.left + ((area.right - area.left) - (mine.right - mine.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (mine.bottom - mine.top)) / 2;
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qb::ui
