#include "ui/ui_helpers.h"

#include <algorithm>

namespace qb::ui {

HFONT get_font(const wchar_t* face, int height, int weight) {
    return ::CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void calc_subrect(RECT* out, int left, int top, int width, int height, int pictureWidth, int pictureHeight) {
    if (out == nullptr) return;
    *out = RECT {left, top, left, top};
    if (width <= 0 || height <= 0 || pictureWidth <= 0 || pictureHeight <= 0) return;
    int drawnWidth = pictureWidth;
    int drawnHeight = pictureHeight;
    if (pictureWidth > width || pictureHeight > height) {
        const double scale =
            std::min(static_cast<double>(width) / pictureWidth, static_cast<double>(height) / pictureHeight);
        drawnWidth = std::max(1, static_cast<int>(pictureWidth * scale));
        drawnHeight = std::max(1, static_cast<int>(pictureHeight * scale));
    }
    out->left = left + (width - drawnWidth) / 2;
    out->top = top + (height - drawnHeight) / 2;
    out->right = out->left + drawnWidth;
    out->bottom = out->top + drawnHeight;
}

void gradient_fillrect(HDC dc, const RECT* rect, COLORREF start, COLORREF end, int mode) {
    if (dc == nullptr || rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top) return;
    TRIVERTEX corners[2] = {};
    corners[0].x = rect->left;
    corners[0].y = rect->top;
    corners[0].Red = static_cast<COLOR16>(GetRValue(start) << 8);
    corners[0].Green = static_cast<COLOR16>(GetGValue(start) << 8);
    corners[0].Blue = static_cast<COLOR16>(GetBValue(start) << 8);
    corners[1].x = rect->right;
    corners[1].y = rect->bottom;
    corners[1].Red = static_cast<COLOR16>(GetRValue(end) << 8);
    corners[1].Green = static_cast<COLOR16>(GetGValue(end) << 8);
    corners[1].Blue = static_cast<COLOR16>(GetBValue(end) << 8);
    GRADIENT_RECT span {0, 1};
    ::GradientFill(dc, corners, 2, &span, 1, mode == 1 ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

}  // namespace qb::ui
