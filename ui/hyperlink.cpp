#include "ui/hyperlink.h"

#include <commctrl.h>

#include <cwchar>
#include <utility>

#include "ui/browser.h"

namespace qb::ui {

COLORREF LinkColour() {
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Settings", L"Anchor Color",
                       RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS) {
        unsigned red = 0, green = 0, blue = 0;
        if (std::swscanf(text, L"%u,%u,%u", &red, &green, &blue) == 3 && red < 256 && green < 256 && blue < 256) {
            return RGB(red, green, blue);
        }
    }
    return RGB(0, 0, 255);
}

CHyperLink::~CHyperLink() { DestroyTooltip(); }

void CHyperLink::DestroyTooltip() {
    if (tooltip_ != nullptr && ::IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
    tooltip_ = nullptr;
}

bool CHyperLink::Attach(HWND control, std::wstring label, std::wstring address, HFONT font, int x, int y,
                        std::function<void()> onActivate) {
    font_.Reset(font);
    DestroyTooltip();
    if (!Subclass(control)) return false;
    label_ = std::move(label);
    address_ = std::move(address);
    onActivate_ = std::move(onActivate);
    colour_ = LinkColour();
    ::SetWindowLongPtrW(control, GWL_STYLE, ::GetWindowLongPtrW(control, GWL_STYLE) | SS_NOTIFY | WS_TABSTOP);
    ::SetWindowTextW(control, label_.c_str());

    SIZE extent {};
    HDC dc = ::GetDC(control);
    {
        SelectObjectScope select(dc, font_.Get());
        ::GetTextExtentPoint32W(dc, label_.c_str(), static_cast<int>(label_.size()), &extent);
    }
    ::ReleaseDC(control, dc);
    ::SetWindowPos(control, nullptr, x, y, extent.cx, extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);

    tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(control), nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    if (tooltip_ != nullptr) {
        TOOLINFOW tool {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = ::GetParent(control);
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = address_.data();
        ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    ::InvalidateRect(control, nullptr, FALSE);
    return true;
}

void CHyperLink::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    {
        SelectObjectScope select(dc, font_.Get());
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, colour_);
        // The font's own underline is not relied on: some faces map without it.
        ::DrawTextW(dc, label_.c_str(), static_cast<int>(label_.size()), &client, DT_LEFT | DT_TOP | DT_SINGLELINE);
        HPEN pen = ::CreatePen(PS_SOLID, 1, colour_);
        {
            SelectObjectScope selectPen(dc, pen);
            ::MoveToEx(dc, client.left, client.bottom - 1, nullptr);
            ::LineTo(dc, client.right, client.bottom - 1);
        }
        ::DeleteObject(pen);
        if (::GetFocus() == Hwnd()) ::DrawFocusRect(dc, &client);
    }
    ::EndPaint(Hwnd(), &paint);
}

void CHyperLink::Activate() {
    if (onActivate_) {
        onActivate_();
    } else {
        OpenInBrowser(address_);
    }
}

// The link has no background of its own: its parent repaints the pixels
// under it, then the link draws over them.
void CHyperLink::RedrawUnder() {
    RECT place {};
    ::GetWindowRect(Hwnd(), &place);
    HWND parent = ::GetParent(Hwnd());
    ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&place), 2);
    ::RedrawWindow(parent, &place, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

LRESULT CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_SETCURSOR:
        ::SetCursor(HandCursor());
        return TRUE;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_LBUTTONDOWN:
        pressed_ = true;
        ::SetFocus(Hwnd());
        ::SetCapture(Hwnd());
        return 0;
    case WM_LBUTTONUP: {
        const bool wasPressed = pressed_;
        pressed_ = false;
        if (::GetCapture() == Hwnd()) ::ReleaseCapture();
        RECT client {};
        ::GetClientRect(Hwnd(), &client);
        const POINT at {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (wasPressed && ::PtInRect(&client, at)) Activate();
        return 0;
    }
    case WM_CAPTURECHANGED:
        pressed_ = false;
        break;
    case WM_GETDLGCODE:
        if (lParam != 0) {
            const MSG* msg = reinterpret_cast<const MSG*>(lParam);
            if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_SPACE)) {
                return DLGC_WANTMESSAGE;
            }
        }
        return DLGC_STATIC;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            Activate();
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        RedrawUnder();
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

}  // namespace qb::ui
