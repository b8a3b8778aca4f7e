#include "ui/skinned_dialog.h"

namespace qb::ui {

bool CSkinnedDialog::OnSkinnedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    case WM_LBUTTONDOWN:
        StartCaptionDrag(Hwnd());
        return true;
    case WM_CTLCOLORSTATIC:
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        return true;
    default:
        if (!IsControlMessage(message)) return false;
        if (!ReflectToControl(Hwnd(), message, wParam, lParam, result)) result = 0;
        return true;
    }
}

}  // namespace qb::ui
