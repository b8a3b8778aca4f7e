#include "ui/check_box_strip.h"

namespace qb::ui {

void CheckBoxStrip::Draw(HDC dc, int x, int y, int frame, Look look) const {
    if (HasPicture()) {
        Gdiplus::Graphics graphics(dc);
        const int width = FrameWidth();
        picture_.DrawPart(graphics, x, y, width, Height(), frame * width, 0, width, Height());
        return;
    }
    RECT box {x, y, x + kPlainSize, y + kPlainSize};
    UINT state = DFCS_BUTTONCHECK | DFCS_FLAT;
    if (look == Look::Checked) state |= DFCS_CHECKED;
    if (look == Look::Disabled) state |= DFCS_INACTIVE;
    ::DrawFrameControl(dc, &box, DFC_BUTTON, state);
}

}  // namespace qb::ui
