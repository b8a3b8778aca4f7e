#include "ui/font_pool.h"

#include <cwchar>

namespace qb::ui {
namespace {

constexpr wchar_t kBaseFace[] = L"Tahoma";
constexpr LONG kBaseHeight = -11;

}  // namespace

TkFontPool& TkFontPool::Instance() {
    static TkFontPool pool;
    return pool;
}

TkFontPool::TkFontPool() {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof base_, &base_);
    std::wcsncpy(base_.lfFaceName, kBaseFace, LF_FACESIZE - 1);
    base_.lfFaceName[LF_FACESIZE - 1] = L'\0';
    base_.lfHeight = kBaseHeight;
    base_.lfCharSet = ANSI_CHARSET;
    if (HFONT base = ::CreateFontIndirectW(&base_)) fonts_[0] = base;
}

HFONT TkFontPool::GetFont(std::uint16_t key) {
    if (const auto found = fonts_.find(key); found != fonts_.end()) return found->second;
    LOGFONTW description = base_;
    description.lfWeight = (key & 0x4) != 0 ? FW_BOLD : FW_NORMAL;
    description.lfUnderline = (key & 0x2) != 0 ? TRUE : FALSE;
    description.lfItalic = (key & 0x1) != 0 ? TRUE : FALSE;
    description.lfHeight = kBaseHeight - (static_cast<std::int16_t>(key) >> 8);
    HFONT font = ::CreateFontIndirectW(&description);
    if (font != nullptr) fonts_[key] = font;
    return font;
}

void TkFontPool::Destroy() {
    for (const auto& [key, font] : fonts_) ::DeleteObject(font);
    fonts_.clear();
}

}  // namespace qb::ui
