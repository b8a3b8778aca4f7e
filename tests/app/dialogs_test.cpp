// The skinned building blocks on their own: the message box and the about
// box as a user meets them (size, layout, texts, answers, dragging), the
// image button's geometry and frames, the font pool, the helpers and the
// frame-timed animation.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/windows_support.h"
#include "tests/app/gui_session.h"
#include "tests/app/modal_watcher.h"
#include "tests/app/screen_capture.h"
#include "tests/support/temp_folder.h"
#include "ui/about_box.h"
#include "ui/browser.h"
#include "ui/font_pool.h"
#include "ui/frame_animation.h"
#include "ui/gdiplus_include.h"
#include "ui/img_button.h"
#include "ui/msg_box.h"
#include "ui/resource_ids.h"
#include "ui/skin_image.h"
#include "ui/ui_helpers.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;
using ui::CMsgBox;

constexpr wchar_t kBack[] = L"Are you sure to go back to reload the data from Android phone?";

SIZE PictureSizeOf(const wchar_t* name) {
    const auto size = PictureSize(ui::ImagePath(name));
    return size ? *size : SIZE {0, 0};
}

// The width of a text in the message box's font.
int TextWidth(const std::wstring& text) {
    HDC dc = ::GetDC(nullptr);
    HFONT font = ui::get_font(L"Arial", 16, 400);
    HGDIOBJ previous = ::SelectObject(dc, font);
    SIZE size {};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    return size.cx;
}

int LineHeight() {
    HDC dc = ::GetDC(nullptr);
    HFONT font = ui::get_font(L"Arial", 16, 400);
    HGDIOBJ previous = ::SelectObject(dc, font);
    SIZE size {};
    ::GetTextExtentPoint32W(dc, L"Ag", 2, &size);
    ::SelectObject(dc, previous);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    return size.cy;
}

std::wstring DialogText(HWND dialog) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, IDC_MSGBOX_TEXT, text, 512);
    return text;
}

TEST(SkinnedMessageBox, AYesNoQuestionHasItsButtonsEitherSideOfTheCentre) {
    const SIZE background = PictureSizeOf(L"msgbox.png");
    ASSERT_GT(background.cx, 0);
    RECT box {}, yes {}, no {}, close {};
    std::wstring text;
    bool okHidden = false;
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
        box = ScreenRect(dialog);
        yes = PlaceInParent(::GetDlgItem(dialog, IDC_MSGBOX_YES));
        no = PlaceInParent(::GetDlgItem(dialog, IDC_MSGBOX_NO));
        close = PlaceInParent(::GetDlgItem(dialog, IDC_MSGBOX_CLOSE));
        okHidden = !::IsWindowVisible(::GetDlgItem(dialog, IDC_MSGBOX_OK));
        text = DialogText(dialog);
        CaptureWindow(dialog).Save("MessageBox.yes-no");
        ClickButton(dialog, IDC_MSGBOX_NO);
    });
    CMsgBox question;
    EXPECT_EQ(question.Show(CMsgBox::Warning, CMsgBox::kYes | CMsgBox::kNo, kBack), CMsgBox::kNoCode);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(box.right - box.left, background.cx);
    EXPECT_EQ(box.bottom - box.top, background.cy);
    const int width = background.cx;
    const int buttonWidth = yes.right - yes.left;
    EXPECT_EQ(yes.left, width / 2 - buttonWidth - 20);
    EXPECT_EQ(no.left, width / 2 + 20);
    EXPECT_EQ(yes.bottom, background.cy - 15);
    EXPECT_EQ(close.right, width - 5);
    EXPECT_EQ(close.top, 5);
    EXPECT_TRUE(okHidden);
    EXPECT_EQ(text, kBack);
    EXPECT_EQ(question.TextRect().left, 70);
}

TEST(SkinnedMessageBox, AShortTextIsOneLineVerticallyCentred) {
    const SIZE background = PictureSizeOf(L"msgbox.png");
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) { ClickButton(dialog, IDC_MSGBOX_YES); });
    CMsgBox notice;
    EXPECT_EQ(notice.Show(CMsgBox::Information, CMsgBox::kYes, L"Nothing to recover."), CMsgBox::kYesCode);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(notice.TextRect().left, 70);
    EXPECT_EQ(notice.TextRect().top, (background.cy - LineHeight()) / 2);
}

TEST(SkinnedMessageBox, ALongTextWrapsIntoCentredLines) {
    const SIZE background = PictureSizeOf(L"msgbox.png");
    const int available = background.cx - 80;
    std::wstring text;
    while (TextWidth(text) < available * 5 / 2) text += L"recovered ";
    text.pop_back();
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) { ClickButton(dialog, IDC_MSGBOX_OK); });
    CMsgBox notice;
    EXPECT_EQ(notice.Show(CMsgBox::Warning, CMsgBox::kOk, text), CMsgBox::kOkCode);
    ASSERT_TRUE(watcher.Found());
    const int lines = TextWidth(text) / available + 1;
    EXPECT_EQ(lines, 3);
    const RECT& placed = notice.TextRect();
    EXPECT_EQ(placed.bottom - placed.top, 3 * LineHeight());
    EXPECT_EQ(placed.top, (background.cy - 3 * LineHeight()) / 2);
}

TEST(SkinnedMessageBox, OneButtonIsCentredAndTheCloseButtonAnswersNeitherYesNorOk) {
    const SIZE background = PictureSizeOf(L"msgbox.png");
    RECT ok {};
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
        ok = PlaceInParent(::GetDlgItem(dialog, IDC_MSGBOX_OK));
        ClickButton(dialog, IDC_MSGBOX_CLOSE);
    });
    CMsgBox notice;
    EXPECT_EQ(notice.Show(CMsgBox::Warning, CMsgBox::kOk, L"Please select the directory to save the files recovered."),
              CMsgBox::kClosed);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(ok.left, (background.cx - (ok.right - ok.left)) / 2);
}

TEST(SkinnedMessageBox, EscapeClosesAndEnterAnswersWithTheFocusedButton) {
    ModalWatcher escape(IDC_MSGBOX_TEXT, [](HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
    CMsgBox first;
    EXPECT_EQ(first.Show(CMsgBox::Information, CMsgBox::kYes | CMsgBox::kNo, L"?"), CMsgBox::kClosed);
    EXPECT_TRUE(escape.Found());

    ModalWatcher enter(IDC_MSGBOX_TEXT, [](HWND dialog) {
        // The first button has the focus when the box opens.
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    CMsgBox second;
    EXPECT_EQ(second.Show(CMsgBox::Information, CMsgBox::kYes | CMsgBox::kNo, L"?"), CMsgBox::kYesCode);
    EXPECT_TRUE(enter.Found());
}

TEST(SkinnedMessageBox, DraggingTheBackgroundMovesTheBox) {
    RECT before {}, after {};
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
        before = ScreenRect(dialog);
        const int x = before.left + 30, y = before.top + 60;  // background, not a control
        ::SetCursorPos(x, y);
        INPUT inputs[4] = {};
        for (INPUT& input : inputs) input.type = INPUT_MOUSE;
        inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        inputs[1].mi.dwFlags = MOUSEEVENTF_MOVE;
        inputs[1].mi.dx = 25;
        inputs[1].mi.dy = 15;
        inputs[2].mi.dwFlags = MOUSEEVENTF_MOVE;
        inputs[2].mi.dx = 25;
        inputs[2].mi.dy = 15;
        inputs[3].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        for (INPUT& input : inputs) {
            ::SendInput(1, &input, sizeof input);
            ::Sleep(150);
        }
        ::Sleep(200);
        after = ScreenRect(dialog);
        ClickButton(dialog, IDC_MSGBOX_OK);
    });
    CMsgBox notice;
    notice.Show(CMsgBox::Warning, CMsgBox::kOk, L"drag me");
    ASSERT_TRUE(watcher.Found());
    // The box follows the pointer right and down, keeping its size.
    EXPECT_GT(after.left - before.left, 0);
    EXPECT_GT(after.top - before.top, 0);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
}

TEST(AboutBox, ShowsTheVersionAndLinksToTheHomePage) {
    const SIZE background = PictureSizeOf(L"aboutbk.png");
    ASSERT_GT(background.cx, 0);
    std::vector<std::wstring> opened;
    ui::SetBrowserOpener([&](const std::wstring& address) { opened.push_back(address); });
    RECT box {}, close {}, ok {}, link {};
    wchar_t label[128] = {};
    ScreenPixels shot;
    ModalWatcher watcher(IDC_ABOUT_LINK, [&](HWND dialog) {
        box = ScreenRect(dialog);
        close = PlaceInParent(::GetDlgItem(dialog, IDC_ABOUT_CLOSE));
        ok = PlaceInParent(::GetDlgItem(dialog, IDC_ABOUT_OK));
        HWND linkWindow = ::GetDlgItem(dialog, IDC_ABOUT_LINK);
        link = PlaceInParent(linkWindow);
        ::GetWindowTextW(linkWindow, label, 128);
        shot = CaptureWindow(dialog);
        shot.Save("AboutBox");
        ::SendMessageW(linkWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        ::SendMessageW(linkWindow, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        ClickButton(dialog, IDC_ABOUT_OK);
    });
    ui::CAboutBox about;
    EXPECT_EQ(about.Show(nullptr), ui::CAboutBox::kOkCode);
    ui::SetBrowserOpener({});
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(box.right - box.left, background.cx);
    EXPECT_EQ(box.bottom - box.top, background.cy);
    EXPECT_EQ(close.right, background.cx - 8);
    EXPECT_EQ(close.top, 5);
    EXPECT_EQ(ok.right, background.cx - 20);
    EXPECT_EQ(ok.bottom, background.cy - 15);
    EXPECT_EQ(link.left, 40);
    EXPECT_EQ(link.top, 270);
    EXPECT_STREQ(label, L"Homepage: http://www.velmora.com/");
    EXPECT_EQ(opened, (std::vector<std::wstring> {L"http://www.velmora.com/"}));
    // "Version: 1.0.0.22" in dark blue at (40, 135); the warning in black.
    EXPECT_GT(shot.CountNear(RECT {40, 135, 200, 152}, RGB(0, 0, 90), 30), 30);
    EXPECT_GT(shot.CountNear(RECT {40, 190, 450, 254}, RGB(0, 0, 0), 30), 100);
}

TEST(AboutBox, TheCloseButtonAnswers1024) {
    ModalWatcher watcher(IDC_ABOUT_LINK, [](HWND dialog) { ClickButton(dialog, IDC_ABOUT_CLOSE); });
    ui::CAboutBox about;
    EXPECT_EQ(about.Show(nullptr), ui::CAboutBox::kClosed);
    EXPECT_TRUE(watcher.Found());
}

// ------------------------------------------------------------ image button

class ImageButton : public ::testing::Test {
protected:
    void SetUp() override {
        parent_ = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        button_ = ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10, parent_, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
        // A strip of four 80 x 40 frames, each of its own colour.
        Gdiplus::Bitmap strip(320, 40, PixelFormat32bppARGB);
        const Gdiplus::Color colours[4] = {Gdiplus::Color(255, 200, 0, 0), Gdiplus::Color(255, 0, 200, 0),
                                           Gdiplus::Color(255, 0, 0, 200), Gdiplus::Color(255, 90, 90, 90)};
        for (int x = 0; x < 320; ++x) {
            for (int y = 0; y < 40; ++y) strip.SetPixel(x, y, colours[x / 80]);
        }
        CLSID png {};
        UINT count = 0, size = 0;
        Gdiplus::GetImageEncodersSize(&count, &size);
        std::vector<std::uint8_t> buffer(size);
        auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
        Gdiplus::GetImageEncoders(count, size, codecs);
        for (UINT i = 0; i < count; ++i) {
            if (std::wstring(codecs[i].MimeType) == L"image/png") png = codecs[i].Clsid;
        }
        path_ = platform::win::Wide(folder_.File("strip.png"));
        ASSERT_EQ(strip.Save(path_.c_str(), &png, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { ::DestroyWindow(parent_); }

    COLORREF Shown() {
        ::InvalidateRect(button_, nullptr, FALSE);
        ::UpdateWindow(button_);
        DRAWITEMSTRUCT item {};
        item.CtlType = ODT_BUTTON;
        item.hwndItem = button_;
        item.hDC = ::GetDC(button_);
        item.rcItem = RECT {0, 0, 80, 40};
        item.itemState = pressed_ ? ODS_SELECTED : 0;
        ::SendMessageW(button_, ui::kReflectedDrawItem, 0, reinterpret_cast<LPARAM>(&item));
        const COLORREF colour = ::GetPixel(item.hDC, 40, 20);
        ::ReleaseDC(button_, item.hDC);
        return colour;
    }

    qb::testsupport::ScopedTempFolder folder_ {"qb-button-"};
    std::wstring path_;
    HWND parent_ = nullptr;
    HWND button_ = nullptr;
    bool pressed_ = false;
};

TEST_F(ImageButton, TakesItsFrameSizeFromTheStripAndCountsNegativePlacesFromTheFarEdges) {
    ui::CImgButton button;
    ASSERT_TRUE(button.Attach(button_, path_, -5, 5));
    EXPECT_EQ(button.FrameWidth(), 80);
    EXPECT_EQ(button.FrameHeight(), 40);
    const RECT place = PlaceInParent(button_);
    EXPECT_EQ(place.left, 315);
    EXPECT_EQ(place.top, 5);
    EXPECT_EQ(place.right - place.left, 80);
    EXPECT_TRUE(::IsWindowVisible(button_));
    EXPECT_EQ(::GetWindowLongPtrW(button_, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    ASSERT_TRUE(button.Attach(button_, path_, 10, -10));
    EXPECT_EQ(PlaceInParent(button_).top, 300 - 40 - 10);
}

TEST_F(ImageButton, DrawsTheFrameOfItsState) {
    ui::CImgButton button;
    ASSERT_TRUE(button.Attach(button_, path_, 0, 0));
    EXPECT_TRUE(Near(Shown(), RGB(200, 0, 0), 4));  // normal
    pressed_ = true;
    EXPECT_TRUE(Near(Shown(), RGB(0, 0, 200), 4));  // pressed
    pressed_ = false;
    button.SetEnabled(false);
    EXPECT_TRUE(Near(Shown(), RGB(90, 90, 90), 4));  // disabled, whatever else
    pressed_ = true;
    EXPECT_TRUE(Near(Shown(), RGB(90, 90, 90), 4));
    EXPECT_EQ(button.FrameFor(false), 3);
    button.SetEnabled(true);
    EXPECT_EQ(button.FrameFor(true), 2);
    EXPECT_EQ(button.FrameFor(false), 0);
}

TEST_F(ImageButton, AMissingStripGivesAPlainButtonThatCanStillBeClicked) {
    ui::CImgButton button;
    ASSERT_TRUE(button.Attach(button_, L"Z:\\no\\such\\strip.png", -5, 5));
    EXPECT_FALSE(button.HasStrip());
    EXPECT_EQ(button.FrameWidth(), ui::CImgButton::kPlainSide);
    EXPECT_EQ(button.FrameHeight(), ui::CImgButton::kPlainSide);
    EXPECT_EQ(PlaceInParent(button_).right, 400 - 5);
    // It draws the system's push button face.
    DRAWITEMSTRUCT item {};
    item.CtlType = ODT_BUTTON;
    item.hwndItem = button_;
    item.hDC = ::GetDC(button_);
    item.rcItem = RECT {0, 0, button.FrameWidth(), button.FrameHeight()};
    ::SendMessageW(button_, ui::kReflectedDrawItem, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_TRUE(Near(::GetPixel(item.hDC, 10, 10), ::GetSysColor(COLOR_BTNFACE), 4));
    ::ReleaseDC(button_, item.hDC);
}

// ------------------------------------------------------------ fonts, pictures, helpers

LOGFONTW Describe(HFONT font) {
    LOGFONTW description {};
    ::GetObjectW(font, sizeof description, &description);
    return description;
}

TEST(FontPool, KeysNameStyleAndSizeAndAreCached) {
    ui::TkFontPool& pool = ui::TkFontPool::Instance();
    const HFONT base = pool.GetFont(0);
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(Describe(base).lfHeight, -11);
    EXPECT_EQ(Describe(base).lfWeight, FW_NORMAL);
    EXPECT_STREQ(Describe(base).lfFaceName, L"Tahoma");

    EXPECT_EQ(pool.GetFont(256), pool.GetFont(256));
    EXPECT_NE(pool.GetFont(256), pool.GetFont(260));
    EXPECT_EQ(Describe(pool.GetFont(256)).lfHeight, -12);
    EXPECT_EQ(Describe(pool.GetFont(260)).lfHeight, -12);
    EXPECT_EQ(Describe(pool.GetFont(260)).lfWeight, FW_BOLD);
    EXPECT_EQ(Describe(pool.GetFont(512)).lfHeight, -13);
    EXPECT_TRUE(Describe(pool.GetFont(0x0003)).lfItalic);
    EXPECT_TRUE(Describe(pool.GetFont(0x0003)).lfUnderline);
    // A negative size step makes the font smaller.
    EXPECT_EQ(Describe(pool.GetFont(0xFE00)).lfHeight, -9);
}

TEST(SkinImages, AMissingFileIsAPictureOfNoSize) {
    ui::SkinImage missing(L"no-such-picture.png");
    EXPECT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Width(), 0);
    EXPECT_EQ(missing.Height(), 0);
    ui::SkinImage present(L"msgbox.png");
    EXPECT_TRUE(present.Ok());
    EXPECT_GT(present.Width(), 0);
}

TEST(UiHelpers, SubRectangleShrinksToFitCentredAndNeverEnlarges) {
    RECT r {};
    ui::calc_subrect(&r, 0, 0, 240, 507, 100, 50);
    EXPECT_EQ(r.left, 70);
    EXPECT_EQ(r.top, 228);
    EXPECT_EQ(r.right - r.left, 100);
    ui::calc_subrect(&r, 0, 0, 240, 507, 480, 1014);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom - r.top, 507);
    ui::calc_subrect(&r, 0, 0, 240, 507, 4800, 100);
    EXPECT_EQ(r.right - r.left, 240);
    EXPECT_EQ(r.bottom - r.top, 5);
    EXPECT_EQ(r.top, 251);
    ui::calc_subrect(&r, 0, 0, 200, 200, 0, 0);
    EXPECT_LT(r.bottom - r.top, 1);
}

TEST(UiHelpers, GradientRunsFromTheStartColourToTheEndColour) {
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, 10, 100);
    HGDIOBJ previous = ::SelectObject(dc, bitmap);
    const RECT area {0, 0, 10, 100};
    ui::gradient_fillrect(dc, &area, RGB(0, 0, 0), RGB(200, 100, 0), 0);
    EXPECT_TRUE(Near(::GetPixel(dc, 5, 0), RGB(0, 0, 0), 6));
    EXPECT_TRUE(Near(::GetPixel(dc, 5, 99), RGB(200, 100, 0), 6));
    EXPECT_TRUE(Near(::GetPixel(dc, 5, 50), RGB(100, 50, 0), 8));
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
}

// ------------------------------------------------------------ frame animation

// A 1 x 1 GIF89a whose frames show for the given delays (hundredths).
std::string AnimatedGif(const std::vector<unsigned>& delays) {
    std::string gif = "GIF89a";
    gif += std::string("\x01\x00\x01\x00\x80\x00\x00", 7);          // 1 x 1, global table of 2
    gif += std::string("\x00\x00\x00\xff\xff\xff", 6);              // black, white
    gif += std::string("\x21\xff\x0b" "NETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
    for (const unsigned delay : delays) {
        gif += std::string("\x21\xf9\x04\x00", 4);
        gif += static_cast<char>(delay & 0xff);
        gif += static_cast<char>(delay >> 8);
        gif += std::string("\x00\x00", 2);
        gif += std::string("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
        gif += std::string("\x02\x02\x44\x01\x00", 5);  // one pixel of colour 0
    }
    gif += ';';
    return gif;
}

TEST(FrameAnimation, EachFrameStaysForItsOwnDelay) {
    qb::testsupport::ScopedTempFolder folder("qb-gif-");
    const std::string path = folder.Write("busy.gif", AnimatedGif({10, 20, 30}));
    ui::CFrameAnimation animation;
    ASSERT_TRUE(animation.Load(platform::win::Wide(path)));
    EXPECT_EQ(animation.FrameCount(), 3);
    EXPECT_EQ(animation.DelaysMs(), (std::vector<std::uint32_t> {100, 200, 300}));
    EXPECT_EQ(animation.Tick(), 0u);  // not running: nothing happens
    animation.SetRunning(true);
    std::vector<std::uint32_t> shown;
    for (int tick = 0; tick < 4; ++tick) shown.push_back(animation.Tick());
    EXPECT_EQ(shown, (std::vector<std::uint32_t> {100, 200, 300, 100}));
    EXPECT_EQ(animation.FrameIndex(), 1);
    EXPECT_TRUE(animation.Running());
}

TEST(FrameAnimation, AStillPictureEndsTheAnimation) {
    qb::testsupport::ScopedTempFolder folder("qb-gif-");
    const std::string path = folder.Write("still.gif", AnimatedGif({50}));
    ui::CFrameAnimation animation;
    ASSERT_TRUE(animation.Load(platform::win::Wide(path)));
    animation.SetRunning(true);
    EXPECT_EQ(animation.Tick(), 0u);
    EXPECT_FALSE(animation.Running());
}

TEST(FrameAnimation, TheShippedBusyPictureHasFramesWithTheirDelays) {
    ui::CFrameAnimation animation;
    ASSERT_TRUE(animation.Load(ui::ImagePath(L"loaddata.gif")));
    EXPECT_GT(animation.FrameCount(), 1);
    ASSERT_EQ(animation.DelaysMs().size(), static_cast<std::size_t>(animation.FrameCount()));
}

}  // namespace
}  // namespace qb::app::testsupport
