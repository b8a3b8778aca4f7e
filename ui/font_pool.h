// TkFontPool: the process-wide cache of fonts derived from one base font
// (the system's GUI font as Tahoma, 11 pixels, ANSI) and addressed by a
// 16-bit style key:
//
//   BITS   MEANING
//   0      italic
//   1      underline
//   2      bold (weight 700, else 400)
//   8-15   size step s, signed: character height 11 + s pixels
//
// Keys the windows use: 0 the base font, 256 (12 pixels), 260 (12 pixels,
// bold), 512 (13 pixels). The pool owns every font it hands out; callers
// select them and never delete them. Used from the user-interface thread
// only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

namespace qb::ui {

class TkFontPool {
public:
    static TkFontPool& Instance();

    // The font for the key, created on first request; null when the system
    // cannot create it (nothing is stored then).
    HFONT GetFont(std::uint16_t key);
    // Deletes every font (at process end).
    void Destroy();

    TkFontPool(const TkFontPool&) = delete;
    TkFontPool& operator=(const TkFontPool&) = delete;

private:
    TkFontPool();
    ~TkFontPool() { Destroy(); }

    std::map<std::uint16_t, HFONT> fonts_;
    LOGFONTW base_ {};
};

}  // namespace qb::ui
