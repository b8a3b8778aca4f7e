// CImgButton: the skinned push button of every window. A native button made
// owner-drawn, drawn from a horizontal strip of equally wide frames
//
//   FRAME  SHOWN WHEN
//   0      normal
//   1      the pointer is over the button
//   2      pressed
//   3      disabled
//
// over a copy of the parent's pixels under it, so that the strip's
// transparent parts show the parent's skin. Without its strip the button
// keeps a size that can be clicked and draws as a plain push button with
// the first letter of its window text. The parent reflects the
// button's owner-draw request to it (kReflectedDrawItem) and hands it its
// background in each paint (CaptureBackground).
#pragma once

#include <windows.h>

#include <string>

#include "ui/control_base.h"
#include "ui/gdi_objects.h"
#include "ui/skin_image.h"

namespace qb::ui {

class CImgButton final : public CControlBase {
public:
    CImgButton() = default;

    // Takes over the native button: owner-drawn, the strip decoded from
    // picturePath, frame size = strip width / frameCount x strip height. A
    // negative x or y counts from the parent's right or bottom edge to the
    // button's far side. Moves, sizes and shows the button.
    bool Attach(HWND button, const std::wstring& picturePath, int x, int y, int frameCount = 4);
    // A plain bitmap strip drawn instead of the picture (not owned).
    void SetStripBitmap(HBITMAP strip) { stripBitmap_ = strip; }

    // Copies the parent's pixels at the button's place from the parent's
    // device context (which holds the parent's freshly painted picture).
    void CaptureBackground(HDC parentDc);
    void CaptureBackground(HDC parentDc, int x, int y);

    // The owner sets the native enabled state alongside.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    int FrameCount() const { return frameCount_; }
    bool Hovering() const { return hovering_; }
    // The frame the button shows for the native pressed state.
    int FrameFor(bool pressed) const;
    // Whether the button draws its strip (false: the plain face).
    bool HasStrip() const { return stripBitmap_ != nullptr || picture_.Ok(); }

    // The side of a button without its strip.
    static constexpr int kPlainSide = 20;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Draw(const DRAWITEMSTRUCT& item);
    void DrawPlain(HDC dc, int frame) const;

    SkinImage picture_;
    HBITMAP stripBitmap_ = nullptr;
    bool hovering_ = false;
    bool pressedLatch_ = false;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    int frameCount_ = 4;
    bool enabled_ = true;
    OwnedBitmap background_;
};

}  // namespace qb::ui
