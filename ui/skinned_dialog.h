// What every skinned dialog of the program does alike: it paints its whole
// client area itself (no background erase), a press on its background moves
// it as a caption would, its static texts are drawn transparently, and the
// messages of its child controls go back to the controls (owner-drawn
// controls draw themselves); such a message with no control is answered 0.
#pragma once

#include <windows.h>

#include "ui/dialog_base.h"

namespace qb::ui {

class CSkinnedDialog : public CDialogBase {
protected:
    // Answers the shared messages; false for the others.
    bool OnSkinnedMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

}  // namespace qb::ui
