#include "ui/img_button.h"

#include "ui/dialog_base.h"

namespace qb::ui {

bool CImgButton::Attach(HWND button, const std::wstring& picturePath, int x, int y, int frameCount) {
    if (frameCount <= 0 || !Subclass(button)) return false;
    const LONG_PTR style = ::GetWindowLongPtrW(button, GWL_STYLE);
    if ((style & BS_TYPEMASK) != BS_OWNERDRAW) {
        ::SetWindowLongPtrW(button, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    }
    picture_.Load(picturePath);
    frameCount_ = frameCount;
    frameWidth_ = picture_.Width() / frameCount;
    frameHeight_ = picture_.Height();
    if (frameWidth_ <= 0 || frameHeight_ <= 0) {
        // A button of no size could never be clicked: keep a plain one.
        frameWidth_ = kPlainSide;
        frameHeight_ = kPlainSide;
    }

    RECT parent {};
    ::GetClientRect(::GetParent(button), &parent);
    if (x < 0) x = x + parent.right - frameWidth_;
    if (y < 0) y = y + parent.bottom - frameHeight_;
    ::SetWindowPos(button, nullptr, x, y, frameWidth_, frameHeight_, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);

    HDC screen = ::GetDC(button);
    background_.Reset(::CreateCompatibleBitmap(screen, frameWidth_ > 0 ? frameWidth_ : 1,
                                               frameHeight_ > 0 ? frameHeight_ : 1));
    ::ReleaseDC(button, screen);
    return true;
}

// The plain face is a small square, so that buttons laid out for their
// pictures do not overlap without them; it shows the first letter of the
// button's name.
void CImgButton::DrawPlain(HDC dc, int frame) const {
    RECT face {0, 0, frameWidth_, frameHeight_};
    UINT state = DFCS_BUTTONPUSH;
    if (frame == 2) state |= DFCS_PUSHED;
    if (frame == 3) state |= DFCS_INACTIVE;
    if (frame == 1) state |= DFCS_HOT;
    ::DrawFrameControl(dc, &face, DFC_BUTTON, state);
    wchar_t text[64] = {};
    if (::GetWindowTextW(Hwnd(), text, 64) == 0) return;
    SelectObjectScope font(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(Hwnd(), WM_GETFONT, 0, 0)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(frame == 3 ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    ::DrawTextW(dc, text, 1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void CImgButton::CaptureBackground(HDC parentDc) {
    if (Hwnd() == nullptr) return;
    RECT place {};
    ::GetWindowRect(Hwnd(), &place);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(Hwnd()), reinterpret_cast<POINT*>(&place), 2);
    CaptureBackground(parentDc, place.left, place.top);
}

void CImgButton::CaptureBackground(HDC parentDc, int x, int y) {
    if (!background_) return;
    HDC dc = ::CreateCompatibleDC(parentDc);
    {
        SelectObjectScope select(dc, background_.Get());
        ::BitBlt(dc, 0, 0, frameWidth_, frameHeight_, parentDc, x, y, SRCCOPY);
    }
    ::DeleteDC(dc);
}

void CImgButton::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (Hwnd() != nullptr) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

int CImgButton::FrameFor(bool pressed) const {
    if (!enabled_) return 3;
    if (pressed) return 2;
    if (hovering_) return 1;
    return 0;
}

void CImgButton::Draw(const DRAWITEMSTRUCT& item) {
    const int frame = FrameFor((item.itemState & ODS_SELECTED) != 0);
    OffscreenBitmap canvas(item.hDC, frameWidth_, frameHeight_);
    if (!canvas.Ok()) return;
    if (background_) {
        HDC source = ::CreateCompatibleDC(item.hDC);
        {
            SelectObjectScope select(source, background_.Get());
            ::BitBlt(canvas.Dc(), 0, 0, frameWidth_, frameHeight_, source, 0, 0, SRCCOPY);
        }
        ::DeleteDC(source);
    }
    if (!HasStrip()) {
        DrawPlain(canvas.Dc(), frame);
    } else if (stripBitmap_ != nullptr) {
        HDC source = ::CreateCompatibleDC(item.hDC);
        {
            SelectObjectScope select(source, stripBitmap_);
            ::BitBlt(canvas.Dc(), 0, 0, frameWidth_, frameHeight_, source, frame * frameWidth_, 0, SRCCOPY);
        }
        ::DeleteDC(source);
    } else {
        Gdiplus::Graphics graphics(canvas.Dc());
        picture_.DrawPart(graphics, 0, 0, frameWidth_, frameHeight_, frame * frameWidth_, 0, frameWidth_,
                          frameHeight_);
    }
    canvas.CopyTo(item.hDC, item.rcItem.left, item.rcItem.top);
}

LRESULT CImgButton::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kReflectedDrawItem:
        if (lParam != 0) Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_MOUSEMOVE:
        if (::GetCapture() == Hwnd()) {
            // A press is in progress: pressed only while the pointer is on us.
            POINT at {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ::ClientToScreen(Hwnd(), &at);
            ::SendMessageW(Hwnd(), BM_SETSTATE, ::WindowFromPoint(at) == Hwnd(), 0);
        } else if (!hovering_) {
            TRACKMOUSEEVENT track {sizeof track, TME_LEAVE, Hwnd(), 0};
            hovering_ = ::TrackMouseEvent(&track) != FALSE;
            ::InvalidateRect(Hwnd(), nullptr, FALSE);
        }
        break;
    case WM_MOUSELEAVE:
        hovering_ = false;
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        break;
    case WM_LBUTTONDOWN: {
        TRACKMOUSEEVENT cancel {sizeof cancel, TME_LEAVE | TME_CANCEL, Hwnd(), 0};
        if (::TrackMouseEvent(&cancel)) hovering_ = false;
        pressedLatch_ = true;
        break;
    }
    case BM_CLICK:
        pressedLatch_ = false;
        break;
    case WM_SETCURSOR:
        if (enabled_) {
            ::SetCursor(HandCursor());
            return TRUE;
        }
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

}  // namespace qb::ui
