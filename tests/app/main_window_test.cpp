// The main window's start screen as a user sees it: geometry, the three
// detection states with their pictures and texts, Refresh, the load of a
// ready phone with its eight progress steps, the commands of the title bar
// and the menu, and keys that must do nothing.
#include <windows.h>
#include <commctrl.h>

#include "app/resource_ids.h"
#include "device/connection_tips.h"
#include "platform/file.h"
#include "platform/windows_support.h"
#include "tests/app/main_window_fixture.h"
#include "ui/img_button.h"
#include "ui/skin_image.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;
using device::DeviceState;

constexpr COLORREF kTipsHeadingColour = RGB(189, 58, 6);
constexpr COLORREF kTipsColour = RGB(10, 0, 0);
constexpr COLORREF kAuthorizationColour = RGB(52, 166, 106);

// Every position the progress bar is given, in order.
std::vector<WPARAM> progressPositions;

LRESULT CALLBACK RecordProgress(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == PBM_SETPOS) progressPositions.push_back(call->wParam);
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK FindHelpLink(HWND child, LPARAM found) {
    wchar_t text[32] = {};
    ::GetWindowTextW(child, text, 32);
    if (std::wstring(text) != L"Have Problems?") return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// Pixels of the text drawn in the colour within the band.
int TextPixels(const ScreenPixels& shot, RECT band, COLORREF colour) { return shot.CountNear(band, colour, 24); }

TEST_F(MainWindowTest, IsABorderlessWindowOf984By674CentredOnTheWorkArea) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    RECT place {};
    ::GetWindowRect(Window(), &place);
    EXPECT_EQ(place.right - place.left, 984);
    EXPECT_EQ(place.bottom - place.top, 674);
    RECT work {};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(place.left - work.left, (work.right - work.left - 984) / 2, 1);
    EXPECT_NEAR(place.top - work.top, (work.bottom - work.top - 674) / 2, 1);
    EXPECT_EQ(::GetWindowLongPtrW(Window(), GWL_STYLE) & WS_CAPTION, 0);
    wchar_t title[64] = {};
    ::GetWindowTextW(Window(), title, 64);
    EXPECT_STREQ(title, L"Velmora Quillbrook");
    // The corners are cut round.
    HRGN region = ::CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(::GetWindowRgn(Window(), region), ERROR);
    EXPECT_FALSE(::PtInRegion(region, 0, 0));
    EXPECT_TRUE(::PtInRegion(region, 492, 337));
    ::DeleteObject(region);

    // The title-bar buttons sit at their places, counted from the right.
    auto placeOf = [&](int id) {
        RECT r {};
        ::GetWindowRect(Control(id), &r);
        ::MapWindowPoints(HWND_DESKTOP, Window(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    EXPECT_EQ(placeOf(IDC_CLOSE).right, 984 - 8);
    EXPECT_EQ(placeOf(IDC_CLOSE).top, 5);
    EXPECT_EQ(placeOf(IDC_MINIMIZE).right, 984 - 29);
    EXPECT_EQ(placeOf(IDC_MENU).right, 984 - 50);
    EXPECT_EQ(placeOf(IDC_SUPPORT).right, 984 - 90);
    EXPECT_EQ(placeOf(IDC_HOME).right, 984 - 120);
    EXPECT_EQ(placeOf(IDC_REFRESH).right, 984 - 30);
    EXPECT_EQ(placeOf(IDC_REFRESH).bottom, 674 - 35);
}

TEST_F(MainWindowTest, NoDeviceShowsTheFailurePictureAndTheTips) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    EXPECT_EQ(window_->Screen(), MainScreen::StartScreen);
    const ScreenPixels shot = Snapshot("no-device");

    EXPECT_GE(MatchingPixels(shot, L"loadfail.png", 120, 230), 190);
    EXPECT_GE(MatchingPixels(shot, L"step1.png", 1, 74), 190);
    // The heading of the tips in its dark red, the four tips in near black.
    EXPECT_GT(TextPixels(shot, RECT {80, 540, 420, 558}, kTipsHeadingColour), 60);
    for (int line = 0; line < 4; ++line) {
        const int top = 560 + 20 * line;
        EXPECT_GT(TextPixels(shot, RECT {100, top, 700, top + 16}, kTipsColour), 60) << "tip " << line + 1;
        EXPECT_EQ(TextPixels(shot, RECT {100, top, 700, top + 16}, kTipsHeadingColour), 0) << "tip " << line + 1;
    }
    // No authorisation texts.
    EXPECT_EQ(TextPixels(shot, RECT {240, 198, 900, 222}, kAuthorizationColour), 0);

    EXPECT_TRUE(::IsWindowEnabled(Control(IDC_REFRESH)));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_PROGRESS)));
}

TEST_F(MainWindowTest, AnUnauthorisedPhoneShowsThePromptAndAsksForThisComputer) {
    phone_.SetState("unauthorized");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NeedsAuthorization));
    const ScreenPixels shot = Snapshot("needs-authorization");
    EXPECT_GE(MatchingPixels(shot, L"rsa_tip.png", 120, 230), 150);
    EXPECT_GT(TextPixels(shot, RECT {240, 198, 900, 224}, kAuthorizationColour), 100);
    EXPECT_GT(TextPixels(shot, RECT {260, 230, 900, 246}, RGB(0, 0, 0)), 60);
    EXPECT_GT(TextPixels(shot, RECT {80, 540, 420, 558}, kTipsHeadingColour), 60);
    EXPECT_TRUE(::IsWindowEnabled(Control(IDC_REFRESH)));
    EXPECT_NE(device::kAuthorizationLine.find("authorize this computer"), std::string_view::npos);
}

TEST_F(MainWindowTest, RefreshGoesBackToTheBusyAnimationUntilTheNextAnswer) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    // The phone is plugged in now: nothing changes until Refresh.
    phone_.SetState("unauthorized");
    PumpFor(500ms);
    EXPECT_EQ(window_->State(), DeviceState::NoDevice);

    phone_.HangOn({"devices"});
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(IDC_REFRESH, BN_CLICKED), reinterpret_cast<LPARAM>(Control(IDC_REFRESH)));
    EXPECT_EQ(window_->State(), DeviceState::Detecting);
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_REFRESH)));
    // The busy picture moves: two of its frames differ on the screen.
    ASSERT_TRUE(PumpUntil([&] { return window_->Animation().FrameIndex() == 2; }, 3s));
    const ScreenPixels early = Snapshot("detecting");
    ASSERT_TRUE(PumpUntil([&] { return window_->Animation().FrameIndex() == 6; }, 3s));
    const ScreenPixels later = Snapshot("detecting-later");
    const RECT box {120, 230, 905, 561};
    EXPECT_FALSE(early.SameAs(later, box));
    EXPECT_LT(MatchingPixels(early, L"loadfail.png", 120, 230), 180);

    // The client that hung is killed at its limit and the answer comes.
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice, 10s));
    EXPECT_TRUE(::IsWindowEnabled(Control(IDC_REFRESH)));
    EXPECT_FALSE(window_->Animation().Running());
}

TEST_F(MainWindowTest, AReadyPhoneIsLoadedThroughEightStepsOnTheDataScreen) {
    ServeSamplePhone();

    progressPositions.clear();
    HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, RecordProgress, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    ASSERT_TRUE(Open());
    // Loaded, then the scan of the disks (none here) ends at once.
    const bool loaded = PumpUntil([&] { return window_->ScanStatus() == ScanFinished; }, 30s);
    PumpFor(100ms);
    ::UnhookWindowsHookEx(hook);
    ASSERT_TRUE(loaded);

    EXPECT_EQ(window_->State(), DeviceState::Ready);
    EXPECT_EQ(window_->Screen(), MainScreen::DataScreen);
    EXPECT_EQ(progressPositions, (std::vector<WPARAM> {0, 12, 25, 37, 50, 62, 75, 87, 100, 1, 100}));
    EXPECT_GT(window_->ContactCount(), 0u);
    EXPECT_GT(window_->ConversationCount(), 0u);
    for (int shown : {IDC_BACK, IDC_RECOVER, IDC_PAUSE, IDC_STOP}) EXPECT_TRUE(::IsWindowVisible(Control(shown))) << shown;
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_RESUME)));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_REFRESH)));
    // No removable disk: the scan has finished and says so where its
    // progress would be.
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_PAUSE)));
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_STOP)));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_PROGRESS)));
    HWND notice = ::FindWindowExW(Window(), nullptr, L"Static", kNoRemovableDisk);
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(::IsWindowVisible(notice));
    const ScreenPixels shot = Snapshot("data-screen");
    EXPECT_GE(MatchingPixels(shot, L"mainbg2.png", 0, 0, 400), 300);
}

TEST_F(MainWindowTest, EnterAndEscapeDoNothing) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        HWND focus = ::GetFocus() != nullptr ? ::GetFocus() : Window();
        ::PostMessageW(focus, WM_KEYDOWN, key, 0);
        ::PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
        PumpFor(200ms);
        EXPECT_TRUE(::IsWindow(Window()));
        EXPECT_TRUE(::IsWindowVisible(Window()));
        EXPECT_FALSE(QuitRequested());
    }
    EXPECT_TRUE(OpenedPages().empty());
}

TEST_F(MainWindowTest, TheTitleBarAndMenuOpenTheVendorsPages) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    auto click = [&](int id) { ::SendMessageW(Control(id), BM_CLICK, 0, 0); };
    click(IDC_HOME);
    click(IDC_SUPPORT);
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_HOME, 0), 0);
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_HELP, 0), 0);
    PumpFor(100ms);
    EXPECT_EQ(OpenedPages(), (std::vector<std::wstring> {L"http://www.velmora.com/quillbrook.html",
                                                          L"http://www.velmora.com/support.html",
                                                          L"http://www.velmora.com/quillbrook.html",
                                                          L"http://www.velmora.com/online-help/quillbrook/"}));
}

TEST_F(MainWindowTest, TheHelpLinkShowsTheHelpAddressAndOpensTheProductPage) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    HWND link = nullptr;
    ::EnumChildWindows(Window(), FindHelpLink, reinterpret_cast<LPARAM>(&link));
    ASSERT_NE(link, nullptr);
    RECT place {};
    ::GetWindowRect(link, &place);
    ::MapWindowPoints(HWND_DESKTOP, Window(), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, 380);
    EXPECT_EQ(place.top, 540);

    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    // Released outside: no click.
    ::SendMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::SendMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(500, 2));
    ::SendMessageW(link, WM_KEYDOWN, VK_SPACE, 0);
    PumpFor(100ms);
    EXPECT_EQ(OpenedPages(), (std::vector<std::wstring> {L"http://www.velmora.com/quillbrook.html",
                                                          L"http://www.velmora.com/quillbrook.html"}));
    // Link colour and underline in the link's row.
    const ScreenPixels shot = Snapshot("help-link");
    EXPECT_GT(shot.CountNear(place, RGB(0, 0, 255), 40), 30);
}

TEST_F(MainWindowTest, ExitAndTheCloseButtonEndTheLoopWithTheirCodesAndDeleteTheCopies) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    const std::string copy = window_->Paths().contactsDb;
    ASSERT_TRUE(platform::WriteWholeFile(copy, "left from a run"));
    ::SendMessageW(Control(IDC_CLOSE), BM_CLICK, 0, 0);
    int code = -1;
    ASSERT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 10s));
    EXPECT_EQ(code, 1000);
    EXPECT_FALSE(::IsWindow(window_->Hwnd()));
    EXPECT_FALSE(platform::FileExists(copy));
    EXPECT_TRUE(phone_.Invocations().back() == (qb::testsupport::Invocation {"kill-server"}));
}

TEST_F(MainWindowTest, CloseCutsAHangingBridgeClientShort) {
    // A client that never answers, with a limit far beyond the wait below:
    // only a stop that kills it lets the window go in time.
    adbLimit_ = std::chrono::seconds(60);
    phone_.HangOn({"devices"});
    ASSERT_TRUE(Open());
    PumpFor(800ms);
    ASSERT_EQ(window_->State(), DeviceState::Detecting);
    const auto start = std::chrono::steady_clock::now();
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_EXIT, 0), 0);  // returns once the window is gone
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
    int code = -1;
    EXPECT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 1s));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(::IsWindow(window_->Hwnd()));
}

TEST_F(MainWindowTest, WithoutItsSkinTheWindowStillOpensWithItsControls) {
    qb::testsupport::ScopedTempFolder empty("qb-no-skin-");
    const std::wstring skin = ui::ImageFolder();
    ui::SetImageFolder(platform::win::Wide(empty.path()) + L"\\");
    phone_.SetState("none");
    const bool opened = Open();
    const bool answered = opened && WaitForState(DeviceState::NoDevice);
    ui::SetImageFolder(skin);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(answered);
    RECT place {};
    ::GetWindowRect(Window(), &place);
    EXPECT_EQ(place.right - place.left, 984);
    for (int id : {IDC_CLOSE, IDC_MINIMIZE, IDC_MENU, IDC_SUPPORT, IDC_HOME, IDC_REFRESH, IDC_PROGRESS}) {
        EXPECT_NE(Control(id), nullptr) << id;
    }
    // Without their pictures the buttons keep a size that can be clicked:
    // the close button still closes the window.
    RECT close {};
    ::GetWindowRect(Control(IDC_CLOSE), &close);
    EXPECT_EQ(close.right - close.left, ui::CImgButton::kPlainSide);
    Snapshot("no-skin");
    ClickOnScreen(POINT {(close.left + close.right) / 2, (close.top + close.bottom) / 2});
    int code = -1;
    EXPECT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 10s));
    EXPECT_EQ(code, 1000);
}

TEST_F(MainWindowTest, AButtonReleasedOffItselfDoesNothing) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    RECT home {};
    ::GetWindowRect(Control(IDC_HOME), &home);
    const POINT on {(home.left + home.right) / 2, (home.top + home.bottom) / 2};
    ClickOnScreen(on, POINT {on.x, on.y + 200});
    EXPECT_TRUE(OpenedPages().empty());
    ClickOnScreen(on);
    EXPECT_EQ(OpenedPages().size(), 1u);
}

}  // namespace
}  // namespace qb::app::testsupport
