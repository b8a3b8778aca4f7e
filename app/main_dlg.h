// CMainDlg: the application's only top-level window. It walks the user
// through detection of the phone (start screen: busy animation, failure or
// authorisation picture, tips), then loads contacts and messages on a
// worker (data screen with the progress of the eight load steps). Workers
// report only by posted window messages; only this window's thread touches
// controls.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <thread>

#include "app/app_module.h"
#include "dbrecover/contact_item.h"
#include "dbrecover/display_lists.h"
#include "dbrecover/message_item.h"
#include "device/acquisition.h"
#include "device/adb_client.h"
#include "ui/skinned_dialog.h"
#include "ui/frame_animation.h"
#include "ui/gdi_objects.h"
#include "ui/hyperlink.h"
#include "ui/img_button.h"
#include "ui/skin_image.h"
#include "update/document_fetch.h"

namespace qb::app {

// Posted by the loading thread when both loads are done and the display
// lists are built.
constexpr UINT WMU_LOAD_DONE = 1134;  // WM_USER + 110

enum class MainScreen { StartScreen = 1, DataScreen = 2 };

// What the window reaches outside itself; the defaults are the product's.
struct MainDlgSettings {
    device::AdbOptions adb;           // the bridge client and its limits
    std::string tempFolder;           // empty: the user's temporary folder
    update::UpdateServer updateServer;  // the vendor's web server
};

class CMainDlg final : public ui::CSkinnedDialog, public CMessageFilter, public CIdleHandler {
public:
    static constexpr int kWidth = 984;
    static constexpr int kHeight = 674;
    static constexpr RECT kAnimationRect {120, 230, 905, 561};
    static constexpr UINT_PTR kAnimationTimer = 2;
    static constexpr UINT_PTR kStartupCheckTimer = 3;
    static constexpr UINT kFirstAnimationTick = 80;
    static constexpr UINT kStartupCheckDelay = 1000;

    explicit CMainDlg(MainDlgSettings settings = {});
    ~CMainDlg() override;

    // Creates the window (modeless, hidden until shown) on the calling
    // thread, whose message loop must be registered with the module.
    bool CreateMain();

    MainScreen Screen() const { return screen_; }
    device::DeviceState State() const { return state_; }
    const ui::CFrameAnimation& Animation() const { return animation_; }
    const device::WorkPaths& Paths() const { return paths_; }
    std::size_t ContactCount() const { return contacts_.size(); }
    std::size_t ConversationCount() const { return threads_.size(); }

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool PreTranslateMessage(MSG& message) override;
    void OnIdle() override {}

    void OnInit();
    void CreateControls();
    HWND CreateButton(int id, const wchar_t* name);
    void Paint();
    void PaintStartScreen(HDC dc, Gdiplus::Graphics& graphics);
    void Repaint();
    void OnCommand(int id);
    void ShowMenu();
    void ShowAbout();
    void OnAnimationTick();
    void OnAcquisitionDone(device::DeviceState state);
    void OnLoadProgress(WPARAM step, LPARAM steps);
    void OnLoadDone();
    void OnUpdateResult(WPARAM wParam, LPARAM lParam);
    void Refresh();
    void Close(int exitCode);
    void LeaveMessageLoop();

    void StartAcquisition();
    void StartLoading();
    void WaitForWorkers();

    MainDlgSettings settings_;
    MainScreen screen_ = MainScreen::StartScreen;
    device::DeviceState state_ = device::DeviceState::Detecting;
    device::WorkPaths paths_;
    bool closing_ = false;

    // Pictures the window draws itself.
    ui::SkinImage startBackground_, dataBackground_, step1_, step2_, failure_, authorise_;
    ui::CFrameAnimation animation_;

    // Controls.
    ui::CImgButton closeButton_, minimizeButton_, menuButton_, helpButton_, homeButton_, refreshButton_;
    ui::CImgButton backButton_, recoverButton_, pauseButton_, resumeButton_, stopButton_;
    std::array<HWND, 5> toolbarLabels_ {};  // Back, Recover, Pause, Resume, Stop
    ui::OwnedFont labelFont_;
    ui::CHyperLink helpLink_;
    HWND progress_ = nullptr;

    // What the loading thread fills; the window reads it only after
    // WMU_LOAD_DONE, and waits for the thread before freeing it.
    dbrecover::ContactMap contacts_;
    dbrecover::ThreadMap threads_;
    dbrecover::DisplayLists lists_;

    std::thread acquisition_;
    std::thread loading_;
};

// The vendor's pages opened by the window.
std::wstring ProductPageAddress();
std::wstring SupportPageAddress();
std::wstring OnlineHelpAddress();

// The texts of the start screen.
extern const wchar_t kAuthorizationTitle[];
extern const wchar_t kAuthorizationLine[];
extern const wchar_t kTipsHeading[];
extern const wchar_t* const kTips[4];

}  // namespace qb::app
