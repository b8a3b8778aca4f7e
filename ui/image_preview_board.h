// DhImagePreviewBoard: the picture panel of the main window's right-hand
// column. An owner-drawn static that shows the picture file its owner
// names, shrunk to fit with its aspect ratio kept, never enlarged, centred
// on white. The file is decoded once per path; every paint scales the
// held picture again.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "ui/control_base.h"
#include "ui/skin_image.h"

namespace qb::ui {

// Where a picture of the given size is drawn in an area of the given size
// (area pixels): at its own size when it fits, otherwise shrunk by the
// smaller of the two ratios; centred. An empty picture or area gives an
// empty rectangle.
RECT FitPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight);

class DhImagePreviewBoard final : public CControlBase {
public:
    static constexpr wchar_t kWindowName[] = L"preview_board";

    DhImagePreviewBoard() = default;
    ~DhImagePreviewBoard() override;

    // Creates the static hidden at the place (parent client pixels); its
    // parent reflects the owner-draw request to it (kReflectedDrawItem).
    // False when the window could not be made.
    bool Create(HWND parent, const RECT& place);

    // The picture file to show (UTF-8); it is decoded at the next paint.
    void SetRequestedPath(std::string utf8) { requestedPath_ = std::move(utf8); }
    const std::string& RequestedPath() const { return requestedPath_; }
    const std::string& LoadedPath() const { return loadedPath_; }

    // The decoded picture, null when the last decode failed.
    Gdiplus::Image* Picture() const { return picture_.Get(); }
    // Files decoded so far.
    int DecodeCount() const { return decodeCount_; }
    // Where the last paint put the picture (client pixels); empty when it
    // drew none.
    const RECT& LastDrawn() const { return lastDrawn_; }

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Draw(const DRAWITEMSTRUCT& item);
    void LoadRequested();

    std::string requestedPath_;
    std::string loadedPath_;
    SkinImage picture_;
    int decodeCount_ = 0;
    RECT lastDrawn_ {};
};

}  // namespace qb::ui
