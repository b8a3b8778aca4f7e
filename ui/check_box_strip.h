// The check-box pictures of the list and the tree: a horizontal strip of
// equally wide frames ("checkbox.png": 4 frames, 0 unchecked and 2 checked;
// "checkboxes.png": 5 frames, 0 unchecked, 3 checked, 4 disabled). When the
// strip is missing, the box keeps the system's check-box size and is drawn
// as the system's own check box, so every row stays tickable without its
// skin.
#pragma once

#include <windows.h>

#include <string_view>

#include "ui/skin_image.h"

namespace qb::ui {

class CheckBoxStrip {
public:
    explicit CheckBoxStrip(int frameCount) : frameCount_(frameCount) {}

    // Loads the named file of the image folder.
    void Load(std::wstring_view fileName) { picture_.Load(ImagePath(fileName)); }

    bool HasPicture() const { return picture_.Ok() && picture_.Width() >= frameCount_; }
    // One frame's size: the strip's width / frame count x its height, or the
    // plain box's size without a strip.
    int FrameWidth() const { return HasPicture() ? picture_.Width() / frameCount_ : kPlainSize; }
    int Height() const { return HasPicture() ? picture_.Height() : kPlainSize; }

    // Draws the frame at (x, y); without a strip, the plain box in the state
    // the frame stands for.
    enum class Look { Unchecked, Checked, Disabled };
    void Draw(HDC dc, int x, int y, int frame, Look look) const;

    static constexpr int kPlainSize = 13;

private:
    SkinImage picture_;
    int frameCount_;
};

}  // namespace qb::ui
