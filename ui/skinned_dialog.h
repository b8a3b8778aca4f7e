// What every skinned dialog of the program does alike: it paints its whole
// client area itself (no background erase), a press on its background moves
// it as a caption would, its static texts are drawn transparently, and the
// messages of its child controls go back to the controls (owner-drawn
// controls draw themselves); such a message with no control is answered 0.
#pragma once

#include <windows.h>

#include "ui/dialog_base.h"
#include "ui/skin_image.h"

namespace qb::ui {

// The product's name in every title.
inline constexpr wchar_t kProductTitle[] = L"Velmora Quillbrook";

class CSkinnedDialog : public CDialogBase {
protected:
    // Sizes the dialog to its background picture (or to the fallback size
    // when the picture is missing, so the dialog stays usable), centres it
    // on its owner and rounds its corners.
    void FitToBackground(const SkinImage& background, int fallbackWidth, int fallbackHeight);

    // Answers the shared messages; false for the others.
    bool OnSkinnedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

}  // namespace qb::ui
