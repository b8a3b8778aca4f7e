#include "ui/about_box.h"

#include "ui/font_pool.h"
#include "ui/gdi_objects.h"
#include "ui/resource_ids.h"
#include "ui/ui_helpers.h"
#include "ui/wide_text.h"
#include "update/update_constants.h"
#include "update/vendor_pages.h"

namespace qb::ui {
namespace {

constexpr int kFallbackWidth = 490;
constexpr int kFallbackHeight = 320;

}  // namespace

const wchar_t kLegalWarning[] =
    L"Warning: this program is protected by copyright law and international treaties. Unauthorized "
    L"reproduction or distribution of this program, or any portion of it, may result in severe civil and "
    L"criminal penalties. Recover only data that you own or may lawfully access.";

CAboutBox::CAboutBox() : background_(L"aboutbk.png") {}

INT_PTR CAboutBox::Show(HWND owner) { return DoModal(owner, IDD_ABOUTBOX); }

void CAboutBox::OnInit() {
    FitToBackground(background_, kFallbackWidth, kFallbackHeight);
    ::GetClientRect(Hwnd(), &client_);

    close_.Attach(::GetDlgItem(Hwnd(), IDC_ABOUT_CLOSE), ImagePath(L"close.png"), -8, 5);
    ok_.Attach(::GetDlgItem(Hwnd(), IDC_ABOUT_OK), ImagePath(L"ok.png"), -20, -15);
    const std::wstring address = Wide(update::HomePageAddress());
    link_.Attach(::GetDlgItem(Hwnd(), IDC_ABOUT_LINK), L"Homepage: " + address, address, get_font(L"Arial", 16, 400),
                 40, 270);
    ::SetFocus(ok_.Hwnd());
}

void CAboutBox::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    OffscreenBitmap canvas(dc, client_.right, client_.bottom);
    if (canvas.Ok()) {
        ::FillRect(canvas.Dc(), &client_, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        {
            Gdiplus::Graphics graphics(canvas.Dc());
            background_.Draw(graphics, 0, 0, client_.right, client_.bottom);
        }
        HDC target = canvas.Dc();
        ::SetBkMode(target, TRANSPARENT);
        TkFontPool& fonts = TkFontPool::Instance();
        {
            SelectObjectScope select(target, fonts.GetFont(0));
            ::SetTextColor(target, RGB(255, 255, 255));
            ::TextOutW(target, 38, 7, kProductTitle, static_cast<int>(std::size(kProductTitle) - 1));
        }
        {
            SelectObjectScope select(target, fonts.GetFont(512));
            ::SetTextColor(target, RGB(0, 0, 90));
            const std::wstring version = L"Version: " + Wide(update::kProgramVersion);
            ::TextOutW(target, 40, 135, version.c_str(), static_cast<int>(version.size()));
        }
        {
            SelectObjectScope select(target, fonts.GetFont(256));
            ::SetTextColor(target, RGB(0, 0, 0));
            RECT box = warning_;
            ::DrawTextW(target, kLegalWarning, -1, &box, DT_LEFT | DT_WORDBREAK);
        }
        close_.CaptureBackground(target);
        ok_.CaptureBackground(target);
        canvas.CopyTo(dc);
    }
    ::EndPaint(Hwnd(), &paint);
    ::InvalidateRect(close_.Hwnd(), nullptr, FALSE);
    ::InvalidateRect(ok_.Hwnd(), nullptr, FALSE);
    if (link_.Hwnd() != nullptr) ::InvalidateRect(link_.Hwnd(), nullptr, FALSE);
}

bool CAboutBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        result = FALSE;
        return true;
    case WM_SIZE:
        SetRoundedRegion(Hwnd());
        ::GetClientRect(Hwnd(), &client_);
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if ((id == IDC_ABOUT_CLOSE || id == IDC_ABOUT_OK) && HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            EndDialog(id);
            return true;
        }
        if (id == IDCANCEL) {
            EndDialog(kClosed);
            return true;
        }
        if (id == IDOK) {
            if (::GetFocus() == ok_.Hwnd()) EndDialog(kOkCode);
            return true;
        }
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
    default:
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
}

}  // namespace qb::ui
