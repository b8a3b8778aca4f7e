#include "ui/msg_info_item.h"

#include <algorithm>
#include <utility>

#include "ui/font_pool.h"
#include "ui/gdi_objects.h"
#include "ui/skin_image.h"
#include "ui/ui_helpers.h"

namespace qb::ui {
namespace {

constexpr COLORREF kItemColour = RGB(244, 247, 250);
constexpr COLORREF kReceivedFill = RGB(216, 216, 216);
constexpr COLORREF kSentFill = RGB(136, 193, 33);
constexpr std::uint16_t kMeasureFont = 512;
constexpr std::uint16_t kDrawFont = 256;
constexpr int kTimeHeight = 30;
// The body wraps like an edit control, so a word wider than the bubble is
// broken rather than cut off at the bubble's edge.
constexpr UINT kBodyFormat = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL;

// The frame of a bubble: corner and edge pieces around the text.
struct BubbleSkin {
    const wchar_t* prefix;
    int leftWidth;
    int rightWidth;
    int topHeight;
    int bottomHeight;
    COLORREF fill;
};

constexpr BubbleSkin kReceivedSkin {L"in_", 18, 12, 15, 18, kReceivedFill};
constexpr BubbleSkin kSentSkin {L"out_", 12, 18, 18, 18, kSentFill};

// Draws the named piece at (x, y): at its own size when width or height is
// 0, stretched otherwise. A missing piece leaves its place blank.
void DrawPiece(HDC target, HDC scratch, const BubbleSkin& skin, const wchar_t* name, int x, int y, int width = 0,
               int height = 0) {
    const OwnedBitmap piece = LoadSkinBitmap(std::wstring(skin.prefix) + name);
    if (!piece) return;
    const SIZE size = BitmapSize(piece.Get());
    if (width == 0 || height == 0) {
        width = size.cx;
        height = size.cy;
    }
    if (width <= 0 || height <= 0) return;
    SelectObjectScope select(scratch, piece.Get());
    ::StretchBlt(target, x, y, width, height, scratch, 0, 0, size.cx, size.cy, SRCCOPY);
}

}  // namespace

BubbleLayout LayOutBubble(int measuredWidth, int lineHeight, int wrappedHeight, int direction) {
    BubbleLayout layout;
    if (measuredWidth > kBubbleTextWidth) {
        layout.textWidth = kBubbleTextWidth;
        layout.textHeight = (measuredWidth + kBubbleTextWidth - 1) / kBubbleTextWidth * lineHeight;
    } else {
        layout.textWidth = std::max(measuredWidth, 0);
        layout.textHeight = lineHeight;
    }
    layout.textHeight = std::max({layout.textHeight, wrappedHeight, 0});

    if (direction == kBubbleReceived) {
        layout.bubble = RECT {0, kBubbleFirstTop, layout.textWidth + 30, layout.textHeight + 71};
        layout.contentHeight = layout.textHeight + 41;
    } else {
        // The sent bubble sits below a picture slot that is empty for text
        // messages.
        RECT slot {};
        calc_subrect(&slot, 0, 0, 200, 200, 0, 0);
        const int slotHeight = slot.bottom - slot.top;
        const int top = slotHeight < 1 ? kBubbleFirstTop : slotHeight + 40;
        layout.bubble = RECT {kBubbleItemWidth - layout.textWidth - 31, top, kBubbleItemWidth,
                              layout.textHeight + top + 44};
        layout.contentHeight = layout.textHeight + 44;
    }
    layout.itemHeight = layout.contentHeight + kTimeHeight;
    return layout;
}

BubbleLayout MeasureBubble(HDC dc, std::wstring_view body, int direction) {
    TkFontPool& fonts = TkFontPool::Instance();
    SIZE line {};
    {
        SelectObjectScope font(dc, fonts.GetFont(kMeasureFont));
        ::GetTextExtentPoint32W(dc, body.data(), static_cast<int>(body.size()), &line);
    }
    const int textWidth = std::min<int>(line.cx, kBubbleTextWidth);
    int wrappedHeight = 0;
    if (textWidth > 0) {
        SelectObjectScope font(dc, fonts.GetFont(kDrawFont));
        RECT box {0, 0, textWidth, 0};
        wrappedHeight = ::DrawTextW(dc, body.data(), static_cast<int>(body.size()), &box, kBodyFormat | DT_CALCRECT);
    }
    return LayOutBubble(line.cx, line.cy, wrappedHeight, direction);
}

CMsgInfoItem::~CMsgInfoItem() {
    if (Hwnd() != nullptr && ::IsWindow(Hwnd())) ::DestroyWindow(Hwnd());
}

bool CMsgInfoItem::Create(HWND panel, int y, std::wstring body, std::wstring time, int direction,
                          const BubbleLayout& layout) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, kBubbleItemLeft, y, kBubbleItemWidth,
                                    layout.itemHeight, panel, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return false;
    if (!Subclass(window)) {
        ::DestroyWindow(window);
        return false;
    }
    body_ = std::move(body);
    time_ = std::move(time);
    y_ = y;
    height_ = layout.itemHeight;
    bubble_ = layout.bubble;
    direction_ = direction == kBubbleReceived ? kBubbleReceived : kBubbleSent;
    return true;
}

void CMsgInfoItem::DrawBubble(HDC dc) const {
    const BubbleSkin& skin = direction_ == kBubbleReceived ? kReceivedSkin : kSentSkin;
    const int l = bubble_.left, t = bubble_.top, r = bubble_.right, b = bubble_.bottom;
    const int lw = skin.leftWidth, rw = skin.rightWidth, th = skin.topHeight, bh = skin.bottomHeight;
    HDC scratch = ::CreateCompatibleDC(dc);
    if (scratch != nullptr) {
        DrawPiece(dc, scratch, skin, L"lefttop.bmp", l, t);
        DrawPiece(dc, scratch, skin, L"leftbottom.bmp", l, b - bh);
        DrawPiece(dc, scratch, skin, L"righttop.bmp", r - rw, t);
        DrawPiece(dc, scratch, skin, L"rightbottom.bmp", r - rw, b - bh);
        DrawPiece(dc, scratch, skin, L"topline.bmp", l + lw, t, r - l - lw - rw, th);
        DrawPiece(dc, scratch, skin, L"bottomline.bmp", l + lw, b - bh, r - l - lw - rw, bh);
        DrawPiece(dc, scratch, skin, L"leftline.bmp", l, t + th, lw, b - t - th - bh);
        DrawPiece(dc, scratch, skin, L"rightline.bmp", r - rw, t + th, rw, b - t - th - bh);
        ::DeleteDC(scratch);
    }
    RECT inner {l + lw, t + th, r - rw, b - bh};
    OwnedBrush fill(::CreateSolidBrush(skin.fill));
    if (fill) ::FillRect(dc, &inner, fill.Get());
    ::DrawTextW(dc, body_.c_str(), static_cast<int>(body_.size()), &inner, kBodyFormat);
}

void CMsgInfoItem::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    OffscreenBitmap canvas(dc, width_, height_);
    if (canvas.Ok()) {
        HDC target = canvas.Dc();
        const RECT all {0, 0, width_, height_};
        OwnedBrush background(::CreateSolidBrush(kItemColour));
        if (background) ::FillRect(target, &all, background.Get());
        SelectObjectScope font(target, TkFontPool::Instance().GetFont(kDrawFont));
        ::SetTextColor(target, RGB(0, 0, 0));
        ::SetBkMode(target, TRANSPARENT);
        RECT timeBox {0, 0, kBubbleItemWidth, kTimeHeight};
        ::DrawTextW(target, time_.c_str(), static_cast<int>(time_.size()), &timeBox,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        DrawBubble(target);
        canvas.CopyTo(dc);
    }
    ::EndPaint(Hwnd(), &paint);
}

LRESULT CMsgInfoItem::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

}  // namespace qb::ui
