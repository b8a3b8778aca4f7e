// CMsgBox: the program's own modal message box: a borderless skinned
// dialog with the product title, an icon, the message and up to four image
// buttons. Every question and notice of the program goes through it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/skinned_dialog.h"
#include "ui/img_button.h"
#include "ui/skin_image.h"

namespace qb::ui {

class CMsgBox final : public CSkinnedDialog {
public:
    enum IconKind : int { Warning = 0, Error = 1, Information = 2, Success = 3 };
    // Button set flags.
    static constexpr std::uint16_t kOk = 0x01;
    static constexpr std::uint16_t kYes = 0x02;
    static constexpr std::uint16_t kCancel = 0x04;
    static constexpr std::uint16_t kNo = 0x08;
    // End codes.
    static constexpr INT_PTR kClosed = 1010;
    static constexpr INT_PTR kOkCode = 1011;
    static constexpr INT_PTR kYesCode = 1012;
    static constexpr INT_PTR kNoCode = 1014;
    static constexpr INT_PTR kCancelCode = 1015;

    CMsgBox();

    // Runs the box modally over the owner (the active window when null) and
    // returns its end code.
    INT_PTR Show(int iconKind, std::uint16_t buttons, std::wstring text, HWND owner = nullptr);

    // Where the message goes, as laid out by the last paint.
    const RECT& TextRect() const { return textRect_; }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnInit();
    void Paint();
    void LayOutButtons();

    int iconKind_ = Warning;
    std::uint16_t buttons_ = kOk;
    SkinImage background_;
    SkinImage icon_;
    CImgButton close_;
    CImgButton ok_, cancel_, no_, yes_;
    std::wstring text_;
    RECT iconRect_ {};
    RECT textRect_ {};
};

// The icon picture of a kind: "warn.png", "error.png", "info.png" or
// "right.png".
const wchar_t* MsgBoxIconFile(int iconKind);

}  // namespace qb::ui
