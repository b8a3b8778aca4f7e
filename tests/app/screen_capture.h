// What a user sees: pixels read back from the screen, compared with the
// skin pictures, and kept as PNG screenshots in the build folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::app::testsupport {

class ScreenPixels {
public:
    ScreenPixels() = default;
    ScreenPixels(int width, int height, std::vector<std::uint32_t> bgra)
        : width_(width), height_(height), bgra_(std::move(bgra)) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    // COLORREF (0x00BBGGRR) of the pixel; black outside.
    COLORREF At(int x, int y) const;
    // Pixels in the rectangle whose colour is within `tolerance` of colour
    // in each channel.
    int CountNear(const RECT& area, COLORREF colour, int tolerance) const;
    bool SameAs(const ScreenPixels& other, const RECT& area) const;

    // Writes the picture as <build>/gui-screenshots/<name>.png.
    bool Save(const std::string& name) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> bgra_;
};

// The screen's pixels in the rectangle of screen coordinates.
ScreenPixels CaptureScreen(const RECT& area);
// The window's rectangle on the screen.
ScreenPixels CaptureWindow(HWND window);

// A skin picture decoded in the test: its straight (not premultiplied)
// pixels with alpha.
struct PicturePixel {
    int x, y;
    COLORREF colour;
};
// Up to `count` fully opaque pixels spread over the picture; empty when it
// cannot be decoded.
std::vector<PicturePixel> OpaquePixelsOf(const std::wstring& path, int count);
std::optional<SIZE> PictureSize(const std::wstring& path);

bool Near(COLORREF a, COLORREF b, int tolerance);

}  // namespace qb::app::testsupport
