// CMsgInfoItem: one chat bubble of the message panel, a plain child window
// that draws the message's time above a bubble built from skin pieces
// ("in_*.bmp" on the left for a received message, "out_*.bmp" on the right
// for a sent one) with the message text inside.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/control_base.h"

namespace qb::ui {

// Where a bubble goes inside its item (item pixels) and how tall the item
// is. The text is measured on one line in the measuring font; a text wider
// than kBubbleTextWidth takes as many lines as its width needs, and never
// fewer than the lines the drawn text really wraps to.
struct BubbleLayout {
    int textWidth = 0;
    int textHeight = 0;
    int contentHeight = 0;
    int itemHeight = 0;
    RECT bubble {};
};

inline constexpr int kBubbleReceived = 1;
inline constexpr int kBubbleSent = 2;
inline constexpr int kBubbleItemLeft = 10;
inline constexpr int kBubbleItemWidth = 215;
inline constexpr int kBubbleTextWidth = 160;
// Above the first bubble of the panel.
inline constexpr int kBubbleFirstTop = 30;

// The layout of a text measuring `measuredWidth` x `lineHeight` on one line
// whose word-wrapped height in the drawing font, at the bubble's text
// width, is `wrappedHeight`.
BubbleLayout LayOutBubble(int measuredWidth, int lineHeight, int wrappedHeight, int direction);
// Measures the body in the device context (font pool key 512 for the line,
// key 256, the drawing font, for the wrapped height) and lays it out.
BubbleLayout MeasureBubble(HDC dc, std::wstring_view body, int direction);

class CMsgInfoItem final : public CControlBase {
public:
    CMsgInfoItem() = default;
    ~CMsgInfoItem() override;

    // Creates the item window at (kBubbleItemLeft, y) of the panel, sized
    // kBubbleItemWidth x the layout's item height; false when the system
    // refuses the window.
    bool Create(HWND panel, int y, std::wstring body, std::wstring time, int direction, const BubbleLayout& layout);

    const std::wstring& Body() const { return body_; }
    const std::wstring& Time() const { return time_; }
    int Y() const { return y_; }
    int X() const { return x_; }
    int Height() const { return height_; }
    int Width() const { return width_; }
    const RECT& Bubble() const { return bubble_; }
    int Direction() const { return direction_; }

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();
    void DrawBubble(HDC dc) const;

    std::wstring body_;
    std::wstring time_;
    int y_ = 0;
    int x_ = kBubbleItemLeft;
    int height_ = 0;
    int width_ = kBubbleItemWidth;
    RECT bubble_ {};
    int direction_ = kBubbleReceived;
};

}  // namespace qb::ui
