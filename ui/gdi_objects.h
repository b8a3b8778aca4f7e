// Owned GDI objects and device contexts of the skinned windows: each is
// released exactly once, when its owner goes out of scope, so that a paint
// pass leaves no handle behind.
#pragma once

#include <windows.h>

#include <utility>

namespace qb::ui {

// An owned font, brush, pen, bitmap or region (DeleteObject at the end).
template <typename Handle>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(Handle handle) : handle_(handle) {}
    GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    GdiObject& operator=(GdiObject&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void Reset(Handle handle = nullptr) {
        if (handle_ != nullptr) ::DeleteObject(handle_);
        handle_ = handle;
    }
    // Hands the object to a new owner (the system, for a window region).
    Handle Release() { return std::exchange(handle_, nullptr); }

private:
    Handle handle_ = nullptr;
};

using OwnedFont = GdiObject<HFONT>;
using OwnedBitmap = GdiObject<HBITMAP>;
using OwnedBrush = GdiObject<HBRUSH>;
using OwnedRegion = GdiObject<HRGN>;
using OwnedPen = GdiObject<HPEN>;

// Selects an object into a device context for one scope and puts the
// previous one back. A null object selects nothing.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;
    ~SelectObjectScope() {
        if (previous_ != nullptr) ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A memory device context with a bitmap of the given size compatible with
// reference, selected for the object's lifetime: one paint pass draws into
// it and copies it out in one step.
class OffscreenBitmap {
public:
    OffscreenBitmap(HDC reference, int width, int height)
        : dc_(::CreateCompatibleDC(reference)),
          bitmap_(::CreateCompatibleBitmap(reference, width > 0 ? width : 1, height > 0 ? height : 1)),
          previous_(dc_ && bitmap_ ? ::SelectObject(dc_, bitmap_.Get()) : nullptr),
          width_(width),
          height_(height) {}
    OffscreenBitmap(const OffscreenBitmap&) = delete;
    OffscreenBitmap& operator=(const OffscreenBitmap&) = delete;
    ~OffscreenBitmap() {
        if (previous_ != nullptr) ::SelectObject(dc_, previous_);
        if (dc_ != nullptr) ::DeleteDC(dc_);
    }

    bool Ok() const { return previous_ != nullptr; }
    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Copies the whole picture to (x, y) of target.
    void CopyTo(HDC target, int x = 0, int y = 0) const {
        if (Ok()) ::BitBlt(target, x, y, width_, height_, dc_, 0, 0, SRCCOPY);
    }

private:
    HDC dc_;
    OwnedBitmap bitmap_;
    HGDIOBJ previous_;
    int width_;
    int height_;
};

// One paint pass of a window through an off-screen bitmap of its client
// size: draw(dc, client) paints the whole picture into dc, which is then
// copied to the window in one step.
template <typename Draw>
void PaintOffscreen(HWND window, Draw draw) {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(window, &paint);
    RECT client {};
    ::GetClientRect(window, &client);
    {
        OffscreenBitmap canvas(dc, client.right, client.bottom);
        if (canvas.Ok()) {
            draw(canvas.Dc(), client);
            canvas.CopyTo(dc);
        }
    }
    ::EndPaint(window, &paint);
}

}  // namespace qb::ui
