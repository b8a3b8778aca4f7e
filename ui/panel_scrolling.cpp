#include "ui/panel_scrolling.h"

namespace qb::ui {

int ApplyScrollCode(HWND window, int code, int lineStep) {
    SCROLLINFO info {sizeof info, SIF_ALL};
    if (!::GetScrollInfo(window, SB_VERT, &info)) return 0;
    int position = info.nPos;
    switch (code) {
    case SB_LINEUP:
        position -= lineStep;
        break;
    case SB_LINEDOWN:
        position += lineStep;
        break;
    case SB_PAGEUP:
        position -= static_cast<int>(info.nPage);
        break;
    case SB_PAGEDOWN:
        position += static_cast<int>(info.nPage);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        position = info.nTrackPos;
        break;
    case SB_TOP:
        position = info.nMin;
        break;
    case SB_BOTTOM:
        position = info.nMax;
        break;
    default:
        return info.nPos;
    }
    SCROLLINFO move {sizeof move, SIF_POS};
    move.nPos = position;
    ::SetScrollInfo(window, SB_VERT, &move, TRUE);
    return ::GetScrollPos(window, SB_VERT);
}

int ScrollBarBy(HWND window, int delta) {
    SCROLLINFO move {sizeof move, SIF_POS};
    move.nPos = ::GetScrollPos(window, SB_VERT) + delta;
    ::SetScrollInfo(window, SB_VERT, &move, TRUE);
    return ::GetScrollPos(window, SB_VERT);
}

bool HandlePanelScrolling(HWND panel, UINT message, WPARAM wParam, LPARAM lParam, int wheelStep,
                          const std::function<void(int position)>& scrollTo) {
    switch (message) {
    case WM_LBUTTONDOWN:
        ::SetFocus(panel);
        return false;
    case WM_SETFOCUS:
        // The focus stays on the panel rather than going to a first control
        // (there is none).
        return true;
    case WM_MOUSEWHEEL:
        scrollTo(ScrollBarBy(panel, GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? wheelStep : -wheelStep));
        return true;
    case WM_VSCROLL:
        if (lParam == 0) scrollTo(ApplyScrollCode(panel, LOWORD(wParam), 1));
        return true;
    default:
        return false;
    }
}

}  // namespace qb::ui
