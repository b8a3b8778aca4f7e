// CMainDlg: the application's only top-level window. It walks the user
// through detection of the phone (start screen: busy animation, failure or
// authorisation picture, tips), then loads contacts and messages on a
// worker and shows them on the data screen (category tree, check-box list,
// detail panels), while the removable disks are scanned for lost files.
// Workers report only by posted window messages; only this window's thread
// touches controls.
//
// The window's code is kept by concern: main_dlg.cpp (screens, commands,
// workers), result_population.cpp (what the tree and the list show and how
// their ticks reach the records), scan_display.cpp (the disks and groups of
// the scan, its progress, Pause, Resume and Stop).
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/app_module.h"
#include "app/domain_dr.h"
#include "app/scan_control.h"
#include "dbrecover/contact_item.h"
#include "dbrecover/display_lists.h"
#include "dbrecover/message_item.h"
#include "device/acquisition.h"
#include "device/adb_client.h"
#include "output/recover_job.h"
#include "ui/contact_info_board.h"
#include "ui/frame_animation.h"
#include "ui/gdi_objects.h"
#include "ui/hyperlink.h"
#include "ui/image_preview_board.h"
#include "ui/img_button.h"
#include "ui/list_view_check.h"
#include "ui/msg_info_board.h"
#include "ui/skin_image.h"
#include "ui/skinned_dialog.h"
#include "ui/tree_view_ex.h"
#include "update/document_fetch.h"

namespace qb::app {

// Posted by the loading thread when both loads are done and the display
// lists are built.
constexpr UINT WMU_LOAD_DONE = 1134;  // WM_USER + 110

enum class MainScreen { StartScreen = 1, DataScreen = 2 };

// The kinds of the category tree's nodes.
enum CategoryKind : int {
    kRootCategory = 0,
    kContactsCategory = 1,
    kMessagesCategory = 2,
    kDiskCategory = 3,
    kGroupCategory = 4,
};

// Shown in place of the scan's progress when there is no removable disk.
extern const wchar_t kNoRemovableDisk[];
// Recover with an empty folder chosen.
extern const wchar_t kChooseFolderFirst[];
// The question Back asks.
extern const wchar_t kGoBackQuestion[];

// folder + "\QuillbrookHome" + the local time as "%Y%m%d%H%M%S".
std::wstring OutputRootIn(const std::wstring& folder);

// What the window reaches outside itself; the defaults are the product's.
struct MainDlgSettings {
    device::AdbOptions adb;           // the bridge client and its limits
    std::string tempFolder;           // empty: the user's temporary folder
    update::UpdateServer updateServer;  // the vendor's web server
    // The storage module's table; null: the product's own.
    std::function<std::unique_ptr<cdr::CdrInterface>()> makeStorage;
    // The folder Recover writes into: nothing when the user cancels; null:
    // the system's folder chooser.
    std::function<std::optional<std::wstring>(HWND owner)> chooseFolder;
    // Back's question answered without asking (tests); null: the message box.
    std::function<bool()> confirmBack;
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
    // The output root of the last Recover.
    const std::wstring& OutputFolder() const { return outputFolder_; }
    std::size_t ContactCount() const { return contacts_.size(); }
    std::size_t ConversationCount() const { return threads_.size(); }

    // The data screen's controls and the scan, for a look from outside.
    ui::CTreeViewEx1& Tree() { return tree_; }
    ui::CListViewCheck1& List() { return list_; }
    ui::CContactInfoBoard& ContactPanel() { return contactPanel_; }
    ui::CMsgInfoBoard& MessagePanel() { return messagePanel_; }
    ui::DhImagePreviewBoard& Preview() { return preview_; }
    HTREEITEM RootItem() const { return rootItem_; }
    HTREEITEM ContactsItem() const { return contactsItem_; }
    HTREEITEM MessagesItem() const { return messagesItem_; }
    HTREEITEM CurrentCategory() const { return currentCategory_; }
    ScanState ScanStatus() const { return scan_ ? scan_->State() : ScanIdle; }

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
    void Back();
    void Recover();
    std::vector<output::RecoverCategory> RecoverCategories();
    void Close(int exitCode);
    void LeaveMessageLoop();

    void StartAcquisition();
    void StartLoading();
    void WaitForWorkers();

    // Result population.
    void CreateDataControls();
    void BuildFixedTree();
    void ShowCounts();
    void OnTreeSelection();
    void OnTreeItemChecked(HTREEITEM item, bool checked);
    void OnListItemChecked(int row, bool checked);
    void OnListClick();
    void ClearResults();
    void ShowPanel(HWND panel);

    // The scan.
    void OnDisksReady();
    void HandleScanEvent(std::unique_ptr<ScanEvent> event);
    void OnPauseOrResume();
    void OnStop();
    void ShowScanButtons(bool paused);

    MainDlgSettings settings_;
    MainScreen screen_ = MainScreen::StartScreen;
    device::DeviceState state_ = device::DeviceState::Detecting;
    device::WorkPaths paths_;
    std::wstring outputFolder_;
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
    output::Evidence evidence_;  // of the copies the lists were read from

    std::thread acquisition_;
    std::stop_source acquisitionStop_;  // Back and Close cut a running acquisition short
    std::thread loading_;

    // The data screen.
    ui::SkinImage rootIcon_, contactsIcon_, messageIcon_, diskIcon_, folderIcon_;
    ui::CTreeViewEx1 tree_;
    ui::CListViewCheck1 list_;
    ui::CContactInfoBoard contactPanel_;
    ui::CMsgInfoBoard messagePanel_;
    ui::DhImagePreviewBoard preview_;
    HWND notice_ = nullptr;  // where the progress bar was, when there is no disk
    HTREEITEM rootItem_ = nullptr;
    HTREEITEM contactsItem_ = nullptr;
    HTREEITEM messagesItem_ = nullptr;
    HTREEITEM currentCategory_ = nullptr;

    // The storage module and the previews live as long as the window; the
    // scan reads through the storage module and so goes first.
    std::unique_ptr<DomainDr> domain_;
    std::unique_ptr<ScanContext> scan_;
};

}  // namespace qb::app
