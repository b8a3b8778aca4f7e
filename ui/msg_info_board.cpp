#include "ui/msg_info_board.h"

#include <algorithm>

#include "ui/contact_info_board.h"
#include "ui/gdi_objects.h"
#include "ui/panel_scrolling.h"
#include "ui/resource_ids.h"
#include "ui/wide_text.h"

namespace qb::ui {
namespace {

constexpr COLORREF kPanelColour = RGB(244, 247, 250);
constexpr COLORREF kEdgeColour = RGB(200, 200, 200);
constexpr int kWheelStep = 5;
// Space counted under each bubble when the scroll range is worked out.
constexpr int kItemGap = 20;

void SetVerticalRange(HWND window, int maximum, int page) {
    SCROLLINFO info {sizeof info, SIF_RANGE | SIF_PAGE};
    info.nMin = 0;
    info.nMax = std::max(maximum, 0);
    info.nPage = static_cast<UINT>(std::max(page, 0));
    ::SetScrollInfo(window, SB_VERT, &info, TRUE);
}

}  // namespace

CMsgInfoBoard::~CMsgInfoBoard() { DestroyItems(); }

bool CMsgInfoBoard::Create(HWND parent, const RECT& place) {
    if (!CDialogBase::Create(parent, IDD_MSG_BOARD)) return false;
    ::SetWindowPos(Hwnd(), nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    SetVerticalRange(Hwnd(), 100, 100);
    return true;
}

void CMsgInfoBoard::DestroyItems() {
    items_.clear();
    thread_ = nullptr;
    if (Hwnd() != nullptr) ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CMsgInfoBoard::AddItem(const dbrecover::MsgItem& message) {
    if (message.body.empty()) return;
    const int direction = message.type == 1 ? kBubbleReceived : kBubbleSent;
    std::wstring body = Wide(message.body);
    HDC dc = ::GetDC(Hwnd());
    const BubbleLayout layout = MeasureBubble(dc, body, direction);
    ::ReleaseDC(Hwnd(), dc);
    const int y = items_.empty() ? kBubbleFirstTop : items_.back()->Y() + items_.back()->Height();
    auto item = std::make_unique<CMsgInfoItem>();
    // A bubble the system refuses is left out; the conversation goes on.
    if (item->Create(Hwnd(), y, std::move(body), Wide(message.dateText), direction, layout)) {
        items_.push_back(std::move(item));
    }
}

void CMsgInfoBoard::ShowThread(dbrecover::MsgThread* thread) {
    // A new conversation starts at the top: its bubbles are placed for
    // scroll position 0.
    SetVerticalRange(Hwnd(), 100, 100);
    ::SetScrollPos(Hwnd(), SB_VERT, 0, TRUE);
    scrollPosition_ = 0;
    DestroyItems();
    thread_ = thread;
    if (thread == nullptr) return;

    // The date texts read "%Y-%m-%d %H:%M:%S", so byte order is time order.
    std::stable_sort(thread->messages.begin(), thread->messages.end(),
                     [](const dbrecover::MsgItem& a, const dbrecover::MsgItem& b) { return a.dateText < b.dateText; });
    for (const dbrecover::MsgItem& message : thread->messages) AddItem(message);

    int total = kBubbleFirstTop;
    for (const auto& item : items_) total += item->Height() + kItemGap;
    RECT client {};
    ::GetClientRect(Hwnd(), &client);
    SetVerticalRange(Hwnd(), total / 6, client.bottom / 8);
}

void CMsgInfoBoard::ScrollContentTo(int position) {
    const int moved = position - scrollPosition_;
    if (moved == 0) return;
    scrollPosition_ = position;
    ::ScrollWindowEx(Hwnd(), 0, -moved * kScrollUnit, nullptr, nullptr, nullptr, nullptr,
                     SW_SCROLLCHILDREN | SW_INVALIDATE);
    ::UpdateWindow(Hwnd());
}

void CMsgInfoBoard::Paint() {
    PaintOffscreen(Hwnd(), [](HDC dc, const RECT& client) {
        OwnedBrush background(::CreateSolidBrush(kPanelColour));
        if (background) ::FillRect(dc, &client, background.Get());
        OwnedBrush edge(::CreateSolidBrush(kEdgeColour));
        const RECT line {0, 0, 1, client.bottom};
        if (edge) ::FillRect(dc, &line, edge.Get());
    });
}

bool CMsgInfoBoard::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = FALSE;
        return true;
    case WMU_SHOW_MESSAGE:
        ShowThread(reinterpret_cast<dbrecover::MsgThread*>(lParam));
        result = 0;
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_ERASEBKGND:
        result = TRUE;
        return true;
    default:
        return HandlePanelScrolling(Hwnd(), message, wParam, lParam, kWheelStep,
                                    [this](int position) { ScrollContentTo(position); });
    }
}

}  // namespace qb::ui
