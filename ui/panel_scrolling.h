// The vertical scrolling the detail panels share: a left click gives the
// panel the keyboard focus (so that the wheel reaches it) and goes on, the
// wheel moves the scroll bar by a panel's own step (down for a turn towards
// the user), the scroll-bar codes move it by theirs, and the panel follows
// the bar's new position.
#pragma once

#include <windows.h>

#include <functional>

namespace qb::ui {

// The scroll-bar request `code` (SB_LINEUP ... SB_BOTTOM) applied to the
// window's vertical scroll bar, lines of `lineStep` units; returns the new
// position, clamped by the scroll bar.
int ApplyScrollCode(HWND window, int code, int lineStep);
// Moves the vertical scroll bar by `delta` units; returns the new position.
int ScrollBarBy(HWND window, int delta);

// Handles the panel's click, focus, wheel and scroll-bar messages, calling
// scrollTo with the bar's new position; false for other messages and for a
// click, which the dialog manager then handles too.
bool HandlePanelScrolling(HWND panel, UINT message, WPARAM wParam, LPARAM lParam, int wheelStep,
                          const std::function<void(int position)>& scrollTo);

}  // namespace qb::ui
