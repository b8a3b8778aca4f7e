// The picture preview on a test window: pictures written as PNG files are
// shrunk to fit, centred and never enlarged, decoded once per path, and a
// file that cannot be decoded leaves a white panel, not the last picture.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/app/gdi_count.h"
#include "tests/app/screen_capture.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/control_host.h"
#include "ui/image_preview_board.h"
#include "ui/text_format.h"

namespace qb::ui {
namespace {

using app::testsupport::ScreenPixels;

constexpr COLORREF kWhite = RGB(255, 255, 255);

class ImagePreview : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(preview_.Create(host_.Hwnd(), RECT {0, 0, 240, 507}));
        EXPECT_FALSE(::IsWindowVisible(preview_.Hwnd()));
        wchar_t name[32] = {};
        ::GetWindowTextW(preview_.Hwnd(), name, 32);
        EXPECT_STREQ(name, L"preview_board");
        ::ShowWindow(preview_.Hwnd(), SW_SHOW);
    }

    // A PNG of one colour in the scratch folder; its UTF-8 path.
    std::string WritePng(const std::string& name, int width, int height, COLORREF colour) {
        Gdiplus::Bitmap picture(width, height, PixelFormat32bppARGB);
        Gdiplus::Graphics(&picture).Clear(Gdiplus::Color(255, GetRValue(colour), GetGValue(colour), GetBValue(colour)));
        UINT count = 0, size = 0;
        Gdiplus::GetImageEncodersSize(&count, &size);
        std::vector<std::uint8_t> buffer(size);
        auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
        Gdiplus::GetImageEncoders(count, size, codecs);
        CLSID png {};
        for (UINT i = 0; i < count; ++i) {
            if (std::wstring(codecs[i].MimeType) == L"image/png") png = codecs[i].Clsid;
        }
        const std::string path = folder_.File(name);
        const std::u16string wide = Utf8ToWide(path.c_str());
        EXPECT_EQ(picture.Save(std::wstring(wide.begin(), wide.end()).c_str(), &png, nullptr), Gdiplus::Ok);
        return path;
    }

    ScreenPixels Show(const std::string& path, const std::string& shotName = {}) {
        preview_.SetRequestedPath(path);
        ::InvalidateRect(preview_.Hwnd(), nullptr, TRUE);
        ::UpdateWindow(preview_.Hwnd());
        return testsupport::CaptureClient(preview_.Hwnd(), shotName);
    }

    qb::testsupport::ScopedTempFolder folder_ {"qb-preview-"};
    testsupport::ControlHost host_ {240, 507};
    DhImagePreviewBoard preview_;
};

TEST_F(ImagePreview, ShrinksAPictureToFitCentredAndNeverEnlargesIt) {
    const struct {
        int width, height;
        RECT drawn;
        COLORREF colour;
    } cases[] = {
        // Largest first: each smaller picture must replace all of the last.
        {480, 1014, {0, 0, 240, 507}, RGB(30, 60, 200)},
        {100, 50, {70, 228, 170, 278}, RGB(200, 30, 30)},
        {4800, 100, {0, 251, 240, 256}, RGB(20, 160, 40)},
    };
    for (const auto& c : cases) {
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        SCOPED_TRACE(size);
        const ScreenPixels shot = Show(WritePng(size + ".png", c.width, c.height, c.colour), size);
        const RECT& d = preview_.LastDrawn();
        EXPECT_TRUE(d.left == c.drawn.left && d.top == c.drawn.top && d.right == c.drawn.right &&
                    d.bottom == c.drawn.bottom)
            << d.left << "," << d.top << "," << d.right << "," << d.bottom;
        // The picture fills its rectangle (its edges may blend) and the rest
        // of the panel is white.
        const int w = d.right - d.left, h = d.bottom - d.top;
        const RECT all {0, 0, shot.Width(), shot.Height()};
        const int painted = shot.CountNear(all, c.colour, 12);
        EXPECT_GE(painted, (w - 2) * (h - 2));
        EXPECT_LE(painted, w * h);
        EXPECT_GE(shot.CountNear(all, kWhite, 0), shot.Width() * shot.Height() - (w + 2) * (h + 2));
    }
    // A picture or an area without size gives nothing to draw.
    for (const RECT r : {FitPicture(240, 507, 0, 50), FitPicture(240, 507, 100, 0), FitPicture(0, 507, 100, 50)}) {
        EXPECT_TRUE(r.right <= r.left || r.bottom <= r.top);
    }
}

TEST_F(ImagePreview, TheSamePathIsDecodedOnceRepaintedWithoutLeaksAndANewOneDecodedAgain) {
    const std::string first = WritePng("first.png", 4800, 100, RGB(200, 30, 30));
    const std::string second = WritePng("second.png", 60, 60, RGB(30, 60, 200));
    Show(first);
    Gdiplus::Image* held = preview_.Picture();
    ASSERT_NE(held, nullptr);
    const std::size_t before = app::testsupport::GdiObjectCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) ::RedrawWindow(preview_.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(app::testsupport::GdiObjectCount(), before);
    EXPECT_EQ(preview_.DecodeCount(), 1);
    EXPECT_EQ(preview_.Picture(), held);
    Show(second);
    ASSERT_NE(preview_.Picture(), nullptr);
    EXPECT_EQ(preview_.Picture()->GetWidth(), 60u);
    Show(first);
    EXPECT_EQ(preview_.DecodeCount(), 3);
}

TEST_F(ImagePreview, AFileThatCannotBeDecodedLeavesTheWholePanelWhite) {
    Show(WritePng("tall.png", 480, 1014, RGB(30, 60, 200)));
    const std::string broken = folder_.Write("broken.png", std::string("\x89PNG\r\n\x1a\n not really", 20));
    for (const std::string& path : {broken, folder_.File("missing.png")}) {
        const ScreenPixels shot = Show(path, path == broken ? "undecodable" : "");
        EXPECT_EQ(preview_.Picture(), nullptr);
        EXPECT_EQ(shot.CountNear(RECT {0, 0, shot.Width(), shot.Height()}, kWhite, 0), shot.Width() * shot.Height());
    }
}

}  // namespace
}  // namespace qb::ui
