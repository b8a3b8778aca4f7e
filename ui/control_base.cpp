#include "ui/control_base.h"

#include <commctrl.h>

namespace qb::ui {
namespace {

constexpr UINT_PTR kSubclassId = 0x51b1;

}  // namespace

HCURSOR HandCursor() {
    static const HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND);
    return hand;
}

bool CControlBase::Subclass(HWND window) {
    if (window == hwnd_) return window != nullptr;
    Unsubclass();
    if (window == nullptr || !::SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    hwnd_ = window;
    return true;
}

void CControlBase::Unsubclass() {
    if (hwnd_ != nullptr && ::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
    hwnd_ = nullptr;
}

LRESULT CControlBase::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CControlBase::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR data) {
    auto* self = reinterpret_cast<CControlBase*>(data);
    if (message == WM_NCDESTROY) {
        // The window is going; the object lives on without it.
        ::RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        if (self != nullptr) self->hwnd_ = nullptr;
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    return self != nullptr ? self->OnMessage(message, wParam, lParam)
                           : ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace qb::ui
