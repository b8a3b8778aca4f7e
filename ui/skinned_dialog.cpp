#include "ui/skinned_dialog.h"

namespace qb::ui {

void CSkinnedDialog::FitToBackground(const SkinImage& background, int fallbackWidth, int fallbackHeight) {
    const int width = background.Width() > 0 ? background.Width() : fallbackWidth;
    const int height = background.Height() > 0 ? background.Height() : fallbackHeight;
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    CenterOnOwner(Hwnd(), ::GetWindow(Hwnd(), GW_OWNER));
    SetRoundedRegion(Hwnd());
}

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
