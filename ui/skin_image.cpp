#include "ui/skin_image.h"

#include <utility>

namespace qb::ui {
namespace {

std::wstring& Folder() {
    static std::wstring folder;
    return folder;
}

}  // namespace

OwnedBitmap LoadSkinBitmap(std::wstring_view fileName) {
    const std::wstring path = ImagePath(fileName);
    return OwnedBitmap(static_cast<HBITMAP>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info {};
    if (bitmap == nullptr || ::GetObjectW(bitmap, sizeof info, &info) == 0) return SIZE {0, 0};
    return SIZE {info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
}

void SetImageFolder(std::wstring folder) { Folder() = std::move(folder); }

const std::wstring& ImageFolder() { return Folder(); }

std::wstring ImagePath(std::wstring_view fileName) { return Folder() + std::wstring(fileName); }

bool SkinImage::Load(const std::wstring& path) {
    // GDI+ objects come from GDI+'s own allocator, which returns null when
    // it runs out instead of throwing.
    image_.reset(new Gdiplus::Image(path.c_str()));
    status_ = image_ ? image_->GetLastStatus() : Gdiplus::OutOfMemory;
    if (status_ != Gdiplus::Ok) image_.reset();
    return Ok();
}

void SkinImage::Reset() {
    image_.reset();
    status_ = Gdiplus::InvalidParameter;
}

int SkinImage::Width() const { return Ok() ? static_cast<int>(image_->GetWidth()) : 0; }

int SkinImage::Height() const { return Ok() ? static_cast<int>(image_->GetHeight()) : 0; }

void SkinImage::Draw(Gdiplus::Graphics& graphics, int x, int y) const { Draw(graphics, x, y, Width(), Height()); }

void SkinImage::Draw(Gdiplus::Graphics& graphics, int x, int y, int width, int height) const {
    DrawPart(graphics, x, y, width, height, 0, 0, Width(), Height());
}

void SkinImage::DrawPart(Gdiplus::Graphics& graphics, int x, int y, int width, int height, int sourceX, int sourceY,
                         int sourceWidth, int sourceHeight) const {
    if (!Ok() || width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return;
    graphics.DrawImage(image_.get(), Gdiplus::Rect(x, y, width, height), sourceX, sourceY, sourceWidth, sourceHeight,
                       Gdiplus::UnitPixel);
}

}  // namespace qb::ui
