// Skin pictures: files of the "image" folder beside the executable, decoded
// with GDI+ and held by the window that draws them. A picture that cannot
// be loaded stays an object of size 0 x 0, which the drawing code treats as
// nothing to draw.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "ui/gdi_objects.h"
#include "ui/gdiplus_include.h"

namespace qb::ui {

// The image folder with its trailing separator; set once at start-up.
void SetImageFolder(std::wstring folder);
const std::wstring& ImageFolder();
// The image folder followed by the file name as it stands.
std::wstring ImagePath(std::wstring_view fileName);

// A plain bitmap of the image folder, for pieces that are stretched pixel
// for pixel with GDI; empty when the file is missing or not a bitmap.
OwnedBitmap LoadSkinBitmap(std::wstring_view fileName);
// The bitmap's size; 0 x 0 for none.
SIZE BitmapSize(HBITMAP bitmap);

class SkinImage {
public:
    SkinImage() = default;
    // Loads the named file of the image folder.
    explicit SkinImage(std::wstring_view fileName) { Load(ImagePath(fileName)); }

    // Replaces the picture by the one decoded from path; false (and a 0 x 0
    // picture) when that fails.
    bool Load(const std::wstring& path);
    void Reset();

    bool Ok() const { return status_ == Gdiplus::Ok && image_ != nullptr; }
    Gdiplus::Status Status() const { return status_; }
    int Width() const;
    int Height() const;
    Gdiplus::Image* Get() const { return Ok() ? image_.get() : nullptr; }

    // Draws the whole picture at (x, y) in its own size, or stretched over
    // the rectangle; a picture that did not load draws nothing.
    void Draw(Gdiplus::Graphics& graphics, int x, int y) const;
    void Draw(Gdiplus::Graphics& graphics, int x, int y, int width, int height) const;
    // Draws the source rectangle of the picture into the target rectangle.
    void DrawPart(Gdiplus::Graphics& graphics, int x, int y, int width, int height, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight) const;

private:
    std::unique_ptr<Gdiplus::Image> image_;
    Gdiplus::Status status_ = Gdiplus::InvalidParameter;
};

}  // namespace qb::ui
