#include "tests/app/screen_capture.h"

#include <cstdlib>
#include <memory>

#include "platform/file.h"
#include "platform/windows_support.h"
#include "ui/gdiplus_include.h"

namespace qb::app::testsupport {
namespace {

bool PngEncoder(CLSID& clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<std::uint8_t> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

COLORREF ScreenPixels::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const std::uint32_t p = bgra_[static_cast<std::size_t>(y) * width_ + x];
    return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
}

int ScreenPixels::CountNear(const RECT& area, COLORREF colour, int tolerance) const {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) count += Near(At(x, y), colour, tolerance) ? 1 : 0;
    }
    return count;
}

bool ScreenPixels::SameAs(const ScreenPixels& other, const RECT& area) const {
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (At(x, y) != other.At(x, y)) return false;
        }
    }
    return true;
}

bool ScreenPixels::Save(const std::string& name) const {
    if (width_ <= 0 || height_ <= 0) return false;
    const std::string folder = platform::JoinPath(QB_SCREENSHOT_FOLDER, "");
    platform::CreateFolders(folder);
    std::vector<std::uint32_t> copy = bgra_;
    Gdiplus::Bitmap bitmap(width_, height_, width_ * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(copy.data()));
    CLSID png {};
    if (!PngEncoder(png)) return false;
    const std::wstring path = platform::win::Wide(platform::JoinPath(folder, name + ".png"));
    return bitmap.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

ScreenPixels CaptureScreen(const RECT& area) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) return {};
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<std::uint32_t> pixels;
    if (bitmap != nullptr) {
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        ::GdiFlush();
        const auto* source = static_cast<const std::uint32_t*>(bits);
        pixels.assign(source, source + static_cast<std::size_t>(width) * height);
        ::SelectObject(memory, previous);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (pixels.empty()) return {};
    return ScreenPixels(width, height, std::move(pixels));
}

ScreenPixels CaptureWindow(HWND window) {
    RECT area {};
    ::GetWindowRect(window, &area);
    return CaptureScreen(area);
}

std::vector<PicturePixel> OpaquePixelsOf(const std::wstring& path, int count) {
    Gdiplus::Bitmap bitmap(path.c_str());
    if (bitmap.GetLastStatus() != Gdiplus::Ok || count <= 0) return {};
    const int width = static_cast<int>(bitmap.GetWidth());
    const int height = static_cast<int>(bitmap.GetHeight());
    std::vector<PicturePixel> opaque;
    // A grid over the picture, keeping the opaque points, then an even
    // choice among them.
    const int side = 64;
    for (int gy = 0; gy < side; ++gy) {
        for (int gx = 0; gx < side; ++gx) {
            const int x = (2 * gx + 1) * width / (2 * side);
            const int y = (2 * gy + 1) * height / (2 * side);
            Gdiplus::Color colour;
            if (bitmap.GetPixel(x, y, &colour) != Gdiplus::Ok || colour.GetA() != 255) continue;
            opaque.push_back({x, y, RGB(colour.GetR(), colour.GetG(), colour.GetB())});
        }
    }
    if (static_cast<int>(opaque.size()) <= count) return opaque;
    std::vector<PicturePixel> chosen;
    for (int i = 0; i < count; ++i) chosen.push_back(opaque[opaque.size() * i / count]);
    return chosen;
}

std::optional<SIZE> PictureSize(const std::wstring& path) {
    Gdiplus::Image image(path.c_str());
    if (image.GetLastStatus() != Gdiplus::Ok) return std::nullopt;
    return SIZE {static_cast<LONG>(image.GetWidth()), static_cast<LONG>(image.GetHeight())};
}

}  // namespace qb::app::testsupport
