// Three drawing helpers of the skinned windows.
#pragma once

#include <windows.h>

namespace qb::ui {

// A new font of the face, with a character height of `height` pixels and
// the weight; the caller selects it, draws, and deletes it. Null when the
// system cannot create it.
HFONT get_font(const wchar_t* face, int height, int weight);

// The part of the box (left, top, width, height) that a picture of the
// given size occupies when shrunk to fit with its aspect ratio kept (never
// enlarged) and centred. An empty picture or box gives an empty rectangle
// at the box's top left, so a caller that reads the height sees 0.
void calc_subrect(RECT* out, int left, int top, int width, int height, int pictureWidth, int pictureHeight);

// Fills the rectangle with a gradient from the start colour at the top to
// the end colour at the bottom (mode 0), or from left to right (mode 1).
void gradient_fillrect(HDC dc, const RECT* rect, COLORREF start, COLORREF end, int mode);

}  // namespace qb::ui
