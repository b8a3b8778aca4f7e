#include "ui/header_ctrl_check.h"

#include <commctrl.h>

#include "ui/font_pool.h"

namespace qb::ui {
namespace {

constexpr int kCheckAllId = 1;
constexpr int kTitleLimit = 260;
// The header bitmap's column that is stretched over the whole header.
constexpr int kBackgroundColumn = 2;
constexpr COLORREF kGridColour = RGB(210, 210, 210);
constexpr COLORREF kPlainBackground = RGB(236, 240, 245);

}  // namespace

CHeaderCtrlCheck::CHeaderCtrlCheck() : background_(LoadSkinBitmap(L"list_hearder.bmp")) {}

bool CHeaderCtrlCheck::Attach(HWND header) {
    if (!Subclass(header)) return false;
    ::SetWindowLongPtrW(header, GWL_STYLE, ::GetWindowLongPtrW(header, GWL_STYLE) | WS_CLIPCHILDREN);
    ascending_.Load(ImagePath(L"inc.png"));
    descending_.Load(ImagePath(L"dec.png"));

    // The box sits on the header's colour: the bitmap's pixel at the
    // stretched column, or the plain colour without a bitmap.
    COLORREF behindBox = kPlainBackground;
    if (background_) {
        HDC dc = ::CreateCompatibleDC(nullptr);
        {
            SelectObjectScope select(dc, background_.Get());
            const COLORREF sampled = ::GetPixel(dc, kBackgroundColumn, 7 + 7);
            if (sampled != CLR_INVALID) behindBox = sampled;
        }
        ::DeleteDC(dc);
    }
    boxBrush_.Reset(::CreateSolidBrush(behindBox));

    if (checkAll_ == nullptr || !::IsWindow(checkAll_)) {
        checkAll_ = ::CreateWindowExW(0, WC_BUTTONW, L"", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, 5, 7, 13, 14, header,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCheckAllId)),
                                      ::GetModuleHandleW(nullptr), nullptr);
    }
    return checkAll_ != nullptr;
}

void CHeaderCtrlCheck::SetCheckAll(bool checked) {
    if (checkAll_ != nullptr) ::SendMessageW(checkAll_, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CHeaderCtrlCheck::CheckAll() const {
    return checkAll_ != nullptr && ::SendMessageW(checkAll_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CHeaderCtrlCheck::SetSort(int column, bool ascending) {
    sortColumn_ = column;
    sortAscending_ = ascending;
    if (Hwnd() != nullptr) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CHeaderCtrlCheck::Paint() {
    PaintOffscreen(Hwnd(), [this](HDC out, const RECT& client) {
        const SIZE source = BitmapSize(background_.Get());
        if (background_ && source.cx > kBackgroundColumn) {
            HDC bitmapDc = ::CreateCompatibleDC(out);
            {
                SelectObjectScope select(bitmapDc, background_.Get());
                ::SetStretchBltMode(out, COLORONCOLOR);
                ::StretchBlt(out, 0, 0, client.right, client.bottom, bitmapDc, kBackgroundColumn, 0, 1, source.cy,
                             SRCCOPY);
            }
            ::DeleteDC(bitmapDc);
        } else {
            ::FillRect(out, &client, boxBrush_.Get());
        }

        const int items = static_cast<int>(::SendMessageW(Hwnd(), HDM_GETITEMCOUNT, 0, 0));
        OwnedPen grid(::CreatePen(PS_SOLID, 1, kGridColour));
        {
            SelectObjectScope pen(out, grid.Get());
            ::MoveToEx(out, 0, 0, nullptr);
            ::LineTo(out, 0, client.bottom);
            for (int i = 1; i < items; ++i) {
                RECT item {};
                ::SendMessageW(Hwnd(), HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
                ::MoveToEx(out, item.left, 1, nullptr);
                ::LineTo(out, item.left, client.bottom);
            }
        }

        SelectObjectScope font(out, TkFontPool::Instance().GetFont(256));
        ::SetBkMode(out, TRANSPARENT);
        ::SetTextColor(out, RGB(0, 0, 0));
        Gdiplus::Graphics graphics(out);
        for (int i = 0; i < items; ++i) {
            RECT item {};
            ::SendMessageW(Hwnd(), HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
            item.top = 0;
            item.bottom = client.bottom;
            wchar_t title[kTitleLimit + 1] = {};
            HDITEMW info {};
            info.mask = HDI_TEXT;
            info.pszText = title;
            info.cchTextMax = kTitleLimit + 1;
            ::SendMessageW(Hwnd(), HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&info));
            ::DrawTextW(out, title, -1, &item, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
            if (i == sortColumn_) {
                const SkinImage& arrow = sortAscending_ ? ascending_ : descending_;
                arrow.Draw(graphics, item.right - 20, (client.bottom - arrow.Height()) / 2);
            }
        }
        graphics.Flush();
    });
}

LRESULT CHeaderCtrlCheck::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case HDM_LAYOUT: {
        const LRESULT result = DefaultProc(message, wParam, lParam);
        auto* layout = reinterpret_cast<HDLAYOUT*>(lParam);
        if (layout != nullptr && layout->prc != nullptr && layout->pwpos != nullptr) {
            layout->pwpos->cy = kHeight;
            layout->prc->top = layout->pwpos->y + kHeight;
        }
        return result;
    }
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) == checkAll_ && checkAll_ != nullptr) {
            if (HIWORD(wParam) == BN_CLICKED) {
                const bool checked = !CheckAll();
                SetCheckAll(checked);
                ::SendMessageW(::GetParent(Hwnd()), WMU_LIST_CHECK_ALL, checked ? 1 : 0, 0);
            }
            return 0;
        }
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) == checkAll_ && boxBrush_) {
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(boxBrush_.Get());
        }
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

}  // namespace qb::ui
