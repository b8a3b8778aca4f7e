#include "ui/contact_info_board.h"

#include <algorithm>
#include <vector>

#include "ui/font_pool.h"
#include "ui/gdi_objects.h"
#include "ui/panel_scrolling.h"
#include "ui/resource_ids.h"
#include "ui/wide_text.h"

namespace qb::ui {
namespace {

constexpr COLORREF kPageColour = RGB(240, 245, 255);
constexpr COLORREF kEdgeColour = RGB(200, 200, 200);
constexpr COLORREF kLabelColour = RGB(150, 150, 150);
constexpr COLORREF kValueColour = RGB(50, 50, 50);
constexpr std::uint16_t kCardFont = 256;
constexpr int kLabelLeft = 20;
constexpr int kValueLeft = 80;
constexpr int kValueRightMargin = 10;
constexpr int kPictureSize = 62;
constexpr int kWheelStep = 10;

struct CardRow {
    const wchar_t* label;
    int top;
    int valueHeight;
    std::string dbrecover::ContactItem::*field;
};

constexpr CardRow kRows[] = {
    {L"Name:", 102, 20, &dbrecover::ContactItem::name},
    {L"Phone:", 122, 20, &dbrecover::ContactItem::phone},
    {L"Email:", 152, 20, &dbrecover::ContactItem::email},
    {L"Note:", 172, 50, &dbrecover::ContactItem::note},
    {L"Company:", 222, 20, &dbrecover::ContactItem::organization},
    {L"Address:", 242, 50, &dbrecover::ContactItem::postalAddress},
    {L"IM:", 292, 20, &dbrecover::ContactItem::im},
    {L"NickName:", 312, 20, &dbrecover::ContactItem::nickname},
    {L"Website:", 332, 20, &dbrecover::ContactItem::website},
    {L"Others:", 352, 20, &dbrecover::ContactItem::others},
};

bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    OwnedBrush brush(::CreateSolidBrush(colour));
    if (brush) ::FillRect(dc, &area, brush.Get());
}

}  // namespace

std::wstring WrapToWidth(HDC dc, std::wstring_view text, int width) {
    std::wstring out;
    std::vector<int> extents;
    std::size_t start = 0;
    // Every pass consumes at least one character, so the loop ends.
    while (start < text.size()) {
        std::size_t lineEnd = text.find_first_of(L"\r\n", start);
        if (lineEnd == std::wstring_view::npos) lineEnd = text.size();
        const std::wstring_view run = text.substr(start, lineEnd - start);

        std::size_t take = 0;
        if (!run.empty()) {
            extents.assign(run.size(), 0);
            int fit = 0;
            SIZE total {};
            // The partial extents give every prefix's width in one call.
            if (::GetTextExtentExPointW(dc, run.data(), static_cast<int>(run.size()), 0, nullptr, extents.data(),
                                        &total)) {
                while (static_cast<std::size_t>(fit) < run.size() && extents[fit] < width - 1) ++fit;
            }
            take = static_cast<std::size_t>(fit);
            if (take > 0 && take < run.size() && IsHighSurrogate(run[take - 1]) && IsLowSurrogate(run[take])) --take;
            if (take == 0) take = run.size() > 1 && IsHighSurrogate(run[0]) && IsLowSurrogate(run[1]) ? 2 : 1;
        }
        out.append(run.substr(0, take));
        out += L'\n';
        start += take;
        if (take == run.size() && start < text.size()) {
            // The line break ends this line and is not carried over.
            if (text[start] == L'\r' && start + 1 < text.size() && text[start + 1] == L'\n') ++start;
            ++start;
        }
    }
    return out;
}

bool CContactInfoBoard::Create(HWND parent, const RECT& place) {
    picture_ = SkinImage(L"contactperson.png");
    if (!CDialogBase::Create(parent, IDD_CONTACT_BOARD)) return false;
    ::SetWindowPos(Hwnd(), nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    UpdateScrollRange();
    return true;
}

void CContactInfoBoard::ClearContact() {
    contact_ = nullptr;
    if (Hwnd() != nullptr) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CContactInfoBoard::UpdateScrollRange() {
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    // The bar covers the whole page, a screenful at a time.
    SCROLLINFO info {sizeof info, SIF_RANGE | SIF_PAGE};
    info.nMin = 0;
    info.nMax = kPageHeight - 1;
    info.nPage = static_cast<UINT>(std::max<LONG>(client.bottom, 0));
    ::SetScrollInfo(Hwnd(), SB_VERT, &info, TRUE);
    ScrollTo(::GetScrollPos(Hwnd(), SB_VERT));
}

void CContactInfoBoard::ScrollTo(int position) {
    if (position == scrollOffset_) return;
    scrollOffset_ = position;
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CContactInfoBoard::DrawCard(HDC page, int pageWidth) const {
    {
        Gdiplus::Graphics graphics(page);
        picture_.Draw(graphics, 20, 20, kPictureSize, kPictureSize);
    }

    SelectObjectScope font(page, TkFontPool::Instance().GetFont(kCardFont));
    ::SetBkMode(page, TRANSPARENT);
    for (const CardRow& row : kRows) {
        RECT label {kLabelLeft, row.top, kValueLeft, row.top + 20};
        ::SetTextColor(page, kLabelColour);
        ::DrawTextW(page, row.label, -1, &label, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);

        const std::string& value = contact_->*row.field;
        if (value.empty()) continue;
        RECT box {kValueLeft, row.top, pageWidth - kValueRightMargin, row.top + row.valueHeight};
        if (box.right <= box.left) continue;
        const std::wstring wrapped = WrapToWidth(page, Wide(value), box.right - box.left);
        ::SetTextColor(page, kValueColour);
        ::DrawTextW(page, wrapped.c_str(), static_cast<int>(wrapped.size()), &box, DT_LEFT | DT_TOP | DT_NOPREFIX);
    }
}

void CContactInfoBoard::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    const int pageHeight = std::max<int>(kPageHeight, client.bottom);
    OffscreenBitmap page(dc, client.right, pageHeight);
    if (page.Ok()) {
        const RECT all {0, 0, client.right, pageHeight};
        FillSolid(page.Dc(), all, kPageColour);
        FillSolid(page.Dc(), RECT {0, 0, 1, pageHeight}, kEdgeColour);
        // Without a contact the panel shows the empty page, so that a card
        // of a contact no longer selected (or already freed) never stays.
        if (contact_ != nullptr) DrawCard(page.Dc(), client.right);
        const int from = std::clamp(scrollOffset_, 0, std::max<int>(0, pageHeight - client.bottom));
        ::BitBlt(dc, 0, 0, client.right, client.bottom, page.Dc(), 0, from, SRCCOPY);
    }
    ::EndPaint(Hwnd(), &paint);
}

bool CContactInfoBoard::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = FALSE;
        return true;
    case WMU_SHOW_CONTACT:
        contact_ = reinterpret_cast<const dbrecover::ContactItem*>(lParam);
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        ::UpdateWindow(Hwnd());
        result = 0;
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    case WM_SIZE:
        UpdateScrollRange();
        return true;
    default:
        return HandlePanelScrolling(Hwnd(), message, wParam, lParam, kWheelStep,
                                    [this](int position) { ScrollTo(position); });
    }
}

}  // namespace qb::ui
