#include "ui/msg_box.h"

#include <utility>
#include <vector>

#include "ui/gdi_objects.h"
#include "ui/resource_ids.h"
#include "ui/ui_helpers.h"

namespace qb::ui {
namespace {

// A box whose background picture is missing keeps a usable size.
constexpr int kFallbackWidth = 420;
constexpr int kFallbackHeight = 190;

}  // namespace

const wchar_t* MsgBoxIconFile(int iconKind) {
    switch (iconKind) {
    case CMsgBox::Error:
        return L"error.png";
    case CMsgBox::Information:
        return L"info.png";
    case CMsgBox::Success:
        return L"right.png";
    default:
        return L"warn.png";
    }
}

CMsgBox::CMsgBox() : background_(L"msgbox.png") {}

INT_PTR CMsgBox::Show(int iconKind, std::uint16_t buttons, std::wstring text, HWND owner) {
    iconKind_ = iconKind;
    buttons_ = buttons;
    text_ = std::move(text);
    if (owner == nullptr) owner = ::GetActiveWindow();
    return DoModal(owner, IDD_MSGBOX);
}

void CMsgBox::OnInit() {
    icon_.Load(ImagePath(MsgBoxIconFile(iconKind_)));
    // The painted message is also the text of a hidden static, where tools
    // that read dialogs find it.
    ::SetDlgItemTextW(Hwnd(), IDC_MSGBOX_TEXT, text_.c_str());
    FitToBackground(background_, kFallbackWidth, kFallbackHeight);

    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    iconRect_ = RECT {20, (client.bottom - 40) / 2, 20 + 40, (client.bottom - 40) / 2 + 40};

    close_.Attach(::GetDlgItem(Hwnd(), IDC_MSGBOX_CLOSE), ImagePath(L"close.png"), -5, 5);
    const struct {
        std::uint16_t flag;
        int id;
        CImgButton* button;
        const wchar_t* picture;
    } kinds[] = {{kOk, IDC_MSGBOX_OK, &ok_, L"ok.png"},
                 {kCancel, IDC_MSGBOX_CANCEL, &cancel_, L"cancel.png"},
                 {kNo, IDC_MSGBOX_NO, &no_, L"no.png"},
                 {kYes, IDC_MSGBOX_YES, &yes_, L"yes.png"}};
    for (const auto& kind : kinds) {
        HWND control = ::GetDlgItem(Hwnd(), kind.id);
        if ((buttons_ & kind.flag) != 0) {
            kind.button->Attach(control, ImagePath(kind.picture), 0, 0);
        } else if (control != nullptr) {
            ::ShowWindow(control, SW_HIDE);
        }
    }
    LayOutButtons();
}

void CMsgBox::LayOutButtons() {
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    // The affirmative button first, then the other one.
    std::vector<CImgButton*> shown;
    for (const auto& [flag, button] : {std::pair {kOk, &ok_}, std::pair {kYes, &yes_}, std::pair {kCancel, &cancel_},
                                       std::pair {kNo, &no_}}) {
        if ((buttons_ & flag) != 0) shown.push_back(button);
    }
    const int centre = client.right / 2;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        CImgButton& button = *shown[i];
        const int y = client.bottom - button.FrameHeight() - 15;
        int x = 0;
        if (shown.size() == 1) {
            x = (client.right - button.FrameWidth()) / 2;
        } else if (shown.size() == 2) {
            x = i == 0 ? centre - button.FrameWidth() - 20 : centre + 20;
        } else {
            // More than two: evenly spread over the width.
            const int slot = client.right / static_cast<int>(shown.size());
            x = slot * static_cast<int>(i) + (slot - button.FrameWidth()) / 2;
        }
        ::SetWindowPos(button.Hwnd(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!shown.empty()) ::SetFocus(shown.front()->Hwnd());
}

void CMsgBox::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    OffscreenBitmap canvas(dc, client.right, client.bottom);
    if (canvas.Ok()) {
        ::FillRect(canvas.Dc(), &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        {
            Gdiplus::Graphics graphics(canvas.Dc());
            background_.Draw(graphics, 0, 0, client.right, client.bottom);
            icon_.Draw(graphics, iconRect_.left, iconRect_.top, iconRect_.right - iconRect_.left,
                       iconRect_.bottom - iconRect_.top);
        }
        ::SetBkMode(canvas.Dc(), TRANSPARENT);

        OwnedFont titleFont(get_font(L"Arial", 14, 400));
        {
            SelectObjectScope select(canvas.Dc(), titleFont.Get());
            ::SetTextColor(canvas.Dc(), RGB(255, 255, 255));
            ::TextOutW(canvas.Dc(), 40, 7, kProductTitle, static_cast<int>(std::size(kProductTitle) - 1));
        }

        OwnedFont textFont(get_font(L"Arial", 16, 400));
        {
            SelectObjectScope select(canvas.Dc(), textFont.Get());
            ::SetTextColor(canvas.Dc(), RGB(0, 0, 0));
            SIZE line {};
            ::GetTextExtentPoint32W(canvas.Dc(), text_.c_str(), static_cast<int>(text_.size()), &line);
            const int available = client.right - 80;
            const int lines = available > 0 ? line.cx / available + 1 : 1;
            textRect_ = RECT {70, 0, client.right - 10, client.bottom};
            if (lines == 1) {
                ::DrawTextW(canvas.Dc(), text_.c_str(), static_cast<int>(text_.size()), &textRect_,
                            DT_LEFT | DT_VCENTER | DT_SINGLELINE);
                textRect_.top = (client.bottom - line.cy) / 2;
                textRect_.bottom = textRect_.top + line.cy;
            } else {
                const int boxHeight = lines * line.cy;
                textRect_.top = (client.bottom - boxHeight) / 2;
                textRect_.bottom = textRect_.top + boxHeight;
                ::DrawTextW(canvas.Dc(), text_.c_str(), static_cast<int>(text_.size()), &textRect_,
                            DT_LEFT | DT_WORDBREAK);
            }
        }

        for (CImgButton* button : {&close_, &ok_, &cancel_, &no_, &yes_}) {
            if (button->Hwnd() != nullptr && ::IsWindowVisible(button->Hwnd())) button->CaptureBackground(canvas.Dc());
        }
        canvas.CopyTo(dc);
    }
    ::EndPaint(Hwnd(), &paint);
    // The buttons draw over the background they have just been given.
    for (CImgButton* button : {&close_, &ok_, &cancel_, &no_, &yes_}) {
        if (button->Hwnd() != nullptr) ::InvalidateRect(button->Hwnd(), nullptr, FALSE);
    }
}

bool CMsgBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        result = FALSE;  // the focus is set
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id >= IDC_MSGBOX_CLOSE && id <= IDC_MSGBOX_CANCEL && HIWORD(wParam) == BN_CLICKED && lParam != 0) {
            EndDialog(id);
            return true;
        }
        if (id == IDCANCEL) {  // Escape closes like the close button
            EndDialog(kClosed);
            return true;
        }
        if (id == IDOK) {  // Enter answers with the button that has the focus
            HWND focus = ::GetFocus();
            for (const CImgButton* button : {&ok_, &yes_, &no_, &cancel_}) {
                if (button->Hwnd() != nullptr && button->Hwnd() == focus) {
                    EndDialog(::GetDlgCtrlID(focus));
                    break;
                }
            }
            return true;
        }
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
    default:
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
}

}  // namespace qb::ui
