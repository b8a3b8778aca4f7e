// CContactInfoBoard: the contact card of the main window's right-hand
// column. A child dialog that draws the selected contact (picture, labels
// and wrapped values) on a page taller than itself and shows the part of
// the page its vertical scroll bar selects.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "dbrecover/contact_item.h"
#include "ui/dialog_base.h"
#include "ui/skin_image.h"

namespace qb::ui {

// lParam = the ContactItem to show (not owned), or null for none.
constexpr UINT WMU_SHOW_CONTACT = WM_USER + 101;

class CContactInfoBoard final : public CDialogBase {
public:
    // The height of the page the card is drawn on.
    static constexpr int kPageHeight = 627;

    CContactInfoBoard() = default;

    // Creates the panel hidden at the place (parent client pixels); false
    // when the window could not be made.
    bool Create(HWND parent, const RECT& place);
    // Forgets the contact (its record is about to be freed) and repaints.
    void ClearContact();

    const dbrecover::ContactItem* Contact() const { return contact_; }
    int ScrollOffset() const { return scrollOffset_; }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint();
    void DrawCard(HDC page, int pageWidth) const;
    void UpdateScrollRange();
    void ScrollTo(int position);

    SkinImage picture_;
    int scrollOffset_ = 0;
    const dbrecover::ContactItem* contact_ = nullptr;
};

// Wraps text for a box of the given width in the device context's current
// font: each line is the longest run whose width stays below width - 1,
// ended early by a line break (which it consumes; "\r\n" counts as one),
// followed by "\n". Every line takes at least one character, so a box
// narrower than a glyph still ends, and a surrogate pair is never split.
std::wstring WrapToWidth(HDC dc, std::wstring_view text, int width);

}  // namespace qb::ui
