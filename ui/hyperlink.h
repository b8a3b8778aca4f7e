// CHyperLink: a static text turned into a web link: its label drawn
// underlined in the link colour with a transparent background, the hand
// cursor over it, a tooltip that shows its address, and activation by a
// click (released over it) or by Enter or Space while it has the focus.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/control_base.h"
#include "ui/gdi_objects.h"

namespace qb::ui {

class CHyperLink final : public CControlBase {
public:
    CHyperLink() = default;
    ~CHyperLink() override;

    // Takes over the static control: label, address (shown in the tooltip),
    // the font (owned from now on), and what activation does (by default,
    // open the address). Sized to its label and placed at (x, y).
    bool Attach(HWND control, std::wstring label, std::wstring address, HFONT font, int x, int y,
                std::function<void()> onActivate = {});

    COLORREF Colour() const { return colour_; }
    const std::wstring& Label() const { return label_; }
    const std::wstring& Address() const { return address_; }

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();
    void Activate();
    void RedrawUnder();
    void DestroyTooltip();

    HWND tooltip_ = nullptr;
    std::wstring label_;
    std::wstring address_;
    OwnedFont font_;
    COLORREF colour_ = RGB(0, 0, 255);
    std::function<void()> onActivate_;
    bool pressed_ = false;
};

// The link colour: the browser's "Anchor Color" setting when it holds
// "r,g,b", else RGB(0, 0, 255).
COLORREF LinkColour();

}  // namespace qb::ui
