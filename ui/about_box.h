// CAboutBox: the modal about box of the "About" menu entry: the product
// title, the version, a legal warning and a link to the vendor's home page.
#pragma once

#include <windows.h>

#include <string>

#include "ui/skinned_dialog.h"
#include "ui/hyperlink.h"
#include "ui/img_button.h"
#include "ui/skin_image.h"

namespace qb::ui {

class CAboutBox final : public CSkinnedDialog {
public:
    static constexpr INT_PTR kClosed = 1024;
    static constexpr INT_PTR kOkCode = 1027;

    CAboutBox();

    // Runs the box modally over the owner; 1024 after the close button,
    // 1027 after OK.
    INT_PTR Show(HWND owner);

    const CHyperLink& Link() const { return link_; }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnInit();
    void Paint();

    SkinImage background_;
    CImgButton close_;
    CImgButton ok_;
    CHyperLink link_;
    RECT client_ {};
    RECT warning_ {40, 190, 450, 254};
};

// The paragraph of legal warning.
extern const wchar_t kLegalWarning[];

}  // namespace qb::ui
