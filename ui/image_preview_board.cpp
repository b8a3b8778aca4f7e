#include "ui/image_preview_board.h"

#include <algorithm>

#include "ui/dialog_base.h"
#include "ui/gdi_objects.h"
#include "ui/text_format.h"

namespace qb::ui {
namespace {

std::wstring WidePath(const std::string& utf8) {
    const std::u16string wide = Utf8ToWide(utf8.c_str());
    return std::wstring(wide.begin(), wide.end());
}

}  // namespace

RECT FitPicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight) {
    if (areaWidth <= 0 || areaHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return RECT {};
    const double sx = static_cast<double>(areaWidth) / pictureWidth;
    const double sy = static_cast<double>(areaHeight) / pictureHeight;
    int width = pictureWidth;
    int height = pictureHeight;
    if (sx < 1 || sy < 1) {
        const double scale = std::min(sx, sy);
        width = static_cast<int>(pictureWidth * scale);
        height = static_cast<int>(pictureHeight * scale);
    }
    const int x = (areaWidth - width) / 2;
    const int y = (areaHeight - height) / 2;
    return RECT {x, y, x + width, y + height};
}

DhImagePreviewBoard::~DhImagePreviewBoard() {
    if (Hwnd() != nullptr && ::IsWindow(Hwnd())) ::DestroyWindow(Hwnd());
}

bool DhImagePreviewBoard::Create(HWND parent, const RECT& place) {
    HWND window = ::CreateWindowExW(0, L"STATIC", kWindowName, WS_CHILD | SS_OWNERDRAW, place.left, place.top,
                                    place.right - place.left, place.bottom - place.top, parent, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) return false;
    if (!Subclass(window)) {
        ::DestroyWindow(window);
        return false;
    }
    return true;
}

void DhImagePreviewBoard::LoadRequested() {
    if (requestedPath_ == loadedPath_) return;
    picture_.Reset();
    loadedPath_ = requestedPath_;
    if (loadedPath_.empty()) return;
    ++decodeCount_;
    picture_.Load(WidePath(loadedPath_));
}

void DhImagePreviewBoard::Draw(const DRAWITEMSTRUCT& item) {
    LoadRequested();
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    lastDrawn_ = RECT {};
    // The whole area is drawn afresh each time: the owner paints nothing
    // under the panel, so a smaller picture, or none, must not leave the
    // previous one's pixels behind.
    OffscreenBitmap canvas(item.hDC, width, height);
    if (!canvas.Ok()) return;
    const RECT all {0, 0, width, height};
    ::FillRect(canvas.Dc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    if (picture_.Ok()) {
        lastDrawn_ = FitPicture(width, height, picture_.Width(), picture_.Height());
        Gdiplus::Graphics graphics(canvas.Dc());
        picture_.Draw(graphics, lastDrawn_.left, lastDrawn_.top, lastDrawn_.right - lastDrawn_.left,
                      lastDrawn_.bottom - lastDrawn_.top);
    }
    canvas.CopyTo(item.hDC, item.rcItem.left, item.rcItem.top);
}

LRESULT DhImagePreviewBoard::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kReflectedDrawItem:
        if (lParam != 0) Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_ERASEBKGND:
        return TRUE;
    default:
        return DefaultProc(message, wParam, lParam);
    }
}

}  // namespace qb::ui
