#include "app/main_dlg.h"

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <utility>

#include "app/resource_ids.h"
#include "dbrecover/recovery_driver.h"
#include "device/connection_tips.h"
#include "platform/file.h"
#include "platform/window_notifier.h"
#include "ui/about_box.h"
#include "ui/browser.h"
#include "ui/font_pool.h"
#include "ui/msg_box.h"
#include "ui/ui_helpers.h"
#include "ui/wide_text.h"
#include "update/http_checks.h"
#include "update/update_check.h"
#include "update/update_constants.h"
#include "update/vendor_pages.h"

namespace qb::app {

namespace {

// A point size in pixels of the screen.
int PointsToPixels(HDC dc, int points) { return ::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72); }

void DrawTextAt(HDC dc, int x, int y, std::string_view utf8) {
    const std::wstring text = ui::Wide(utf8);
    ::TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void OpenVendorPage(const std::string& address) { ui::OpenInBrowser(ui::Wide(address)); }

struct ButtonLayout {
    int id;
    ui::CImgButton CMainDlg::*button;
    const wchar_t* picture;
    const wchar_t* name;
    int x, y, frames;
};

struct LabelLayout {
    const wchar_t* text;
    int left;
};
constexpr LabelLayout kLabels[5] = {{L"Back", 260}, {L"Recover", 340}, {L"Pause", 420}, {L"Resume", 420}, {L"Stop", 500}};

}  // namespace

CMainDlg::CMainDlg(MainDlgSettings settings) : settings_(std::move(settings)) {}

CMainDlg::~CMainDlg() { WaitForWorkers(); }

bool CMainDlg::CreateMain() { return Create(nullptr, IDD_MAINDLG); }

// ------------------------------------------------------------ set-up

void CMainDlg::OnInit() {
    if (CMessageLoop* loop = Module().GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }
    domain_ = std::make_unique<DomainDr>(settings_.makeStorage ? settings_.makeStorage() : nullptr);
    scan_ = std::make_unique<ScanContext>(domain_->Engine(), platform::MakeWindowNotifier(Hwnd()));

    ::SetWindowTextW(Hwnd(), ui::kProductTitle);
    const LONG_PTR style = ::GetWindowLongPtrW(Hwnd(), GWL_STYLE);
    ::SetWindowLongPtrW(Hwnd(), GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    startBackground_.Load(ui::ImagePath(L"mainbg1.png"));
    dataBackground_.Load(ui::ImagePath(L"mainbg2.png"));
    step1_.Load(ui::ImagePath(L"step1.png"));
    step2_.Load(ui::ImagePath(L"step2.png"));
    failure_.Load(ui::ImagePath(L"loadfail.png"));
    authorise_.Load(ui::ImagePath(L"rsa_tip.png"));
    animation_.Load(ui::ImagePath(L"loaddata.gif"));
    ui::SetRoundedRegion(Hwnd());
    ui::CenterOnWorkArea(Hwnd());

    CreateControls();
    CreateDataControls();

    paths_ = device::BuildWorkPaths(settings_.tempFolder.empty() ? platform::TempFolder() : settings_.tempFolder);
    ::SetTimer(Hwnd(), kStartupCheckTimer, kStartupCheckDelay, nullptr);
    StartAcquisition();
}

HWND CMainDlg::CreateButton(int id, const wchar_t* name) {
    // The name is what a screen reader says, and what the button shows when
    // its picture is missing.
    HWND button = ::CreateWindowExW(0, WC_BUTTONW, name, WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 1, 1, Hwnd(),
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                    nullptr);
    if (button != nullptr) {
        ::SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(ui::TkFontPool::Instance().GetFont(256)), FALSE);
    }
    return button;
}

void CMainDlg::CreateControls() {
    const ButtonLayout buttons[] = {
        {IDC_CLOSE, &CMainDlg::closeButton_, L"close.png", L"Close", -8, 5, 4},
        {IDC_MINIMIZE, &CMainDlg::minimizeButton_, L"min.png", L"Minimize", -29, 5, 4},
        {IDC_MENU, &CMainDlg::menuButton_, L"menu.png", L"Menu", -50, 5, 3},
        {IDC_SUPPORT, &CMainDlg::helpButton_, L"btn_help.png", L"Help", -90, 5, 4},
        {IDC_HOME, &CMainDlg::homeButton_, L"btn_home.png", L"Home", -120, 5, 4},
        {IDC_REFRESH, &CMainDlg::refreshButton_, L"refresh.png", L"Refresh", -30, -35, 4},
        {IDC_BACK, &CMainDlg::backButton_, L"back.png", L"Back", 280, 50, 4},
        {IDC_RECOVER, &CMainDlg::recoverButton_, L"recover.png", L"Recover", 360, 50, 4},
        {IDC_PAUSE, &CMainDlg::pauseButton_, L"pause.png", L"Pause", 440, 50, 4},
        {IDC_RESUME, &CMainDlg::resumeButton_, L"resume.png", L"Resume", 440, 50, 4},
        {IDC_STOP, &CMainDlg::stopButton_, L"stop_toolbar.png", L"Stop", 520, 50, 4},
    };
    for (const ButtonLayout& layout : buttons) {
        ui::CImgButton& button = this->*layout.button;
        button.Attach(CreateButton(layout.id, layout.name), ui::ImagePath(layout.picture), layout.x, layout.y,
                      layout.frames);
    }
    // The toolbar waits for the data screen.
    for (ui::CImgButton* hidden : {&backButton_, &recoverButton_, &pauseButton_, &resumeButton_, &stopButton_}) {
        ::ShowWindow(hidden->Hwnd(), SW_HIDE);
    }
    refreshButton_.SetEnabled(false);
    ::EnableWindow(refreshButton_.Hwnd(), FALSE);

    labelFont_.Reset(ui::get_font(L"Courier New", 16, 400));
    for (std::size_t i = 0; i < toolbarLabels_.size(); ++i) {
        toolbarLabels_[i] = ::CreateWindowExW(0, WC_STATICW, kLabels[i].text, WS_CHILD | SS_CENTER, kLabels[i].left,
                                              90, 80, 16, Hwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(toolbarLabels_[i], WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_.Get()), FALSE);
    }

    HWND link = ::CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 380, 540, 10, 10, Hwnd(),
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    // The tooltip names the help page; the link itself leads to the product page.
    helpLink_.Attach(link, L"Have Problems?", ui::Wide(update::OnlineHelpAddress()), ui::get_font(L"Arial", 16, 400),
                     380, 540, [] { OpenVendorPage(update::ProductPageAddress()); });

    progress_ = ::CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD, 20, 639, 940, 20, Hwnd(),
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)),
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(progress_, PBM_SETRANGE32, 0, 100);
    ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
    notice_ = ::CreateWindowExW(0, WC_STATICW, kNoRemovableDisk, WS_CHILD | SS_LEFT, 20, 639, 940, 20, Hwnd(), nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(notice_, WM_SETFONT, reinterpret_cast<WPARAM>(ui::TkFontPool::Instance().GetFont(512)), FALSE);
}

// ------------------------------------------------------------ painting

void CMainDlg::Repaint() { ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN); }

void CMainDlg::PaintStartScreen(HDC dc, Gdiplus::Graphics& graphics) {
    startBackground_.Draw(graphics, 0, 0);
    if (state_ == device::DeviceState::Ready) {
        step2_.Draw(graphics, 1, 74);
        return;
    }
    step1_.Draw(graphics, 1, 74);
    const RECT& box = kAnimationRect;
    const int boxWidth = box.right - box.left;
    const int boxHeight = box.bottom - box.top;
    switch (state_) {
    case device::DeviceState::Detecting:
        animation_.Draw(graphics, box.left, box.top, boxWidth, boxHeight);
        if (!animation_.Running()) {
            animation_.SetRunning(true);
            ::SetTimer(Hwnd(), kAnimationTimer, kFirstAnimationTick, nullptr);
        }
        break;
    case device::DeviceState::NoDevice:
        failure_.Draw(graphics, box.left, box.top, boxWidth, boxHeight);
        break;
    case device::DeviceState::NeedsAuthorization: {
        authorise_.Draw(graphics, box.left, box.top, boxWidth, boxHeight);
        ui::OwnedFont titleFont(ui::get_font(L"Arial", PointsToPixels(dc, 14), 400));
        {
            ui::SelectObjectScope select(dc, titleFont.Get());
            ::SetTextColor(dc, RGB(52, 166, 106));
            DrawTextAt(dc, 240, 200, device::kAuthorizationTitle);
        }
        ui::OwnedFont lineFont(ui::get_font(L"Arial", PointsToPixels(dc, 10), 400));
        {
            ui::SelectObjectScope select(dc, lineFont.Get());
            ::SetTextColor(dc, RGB(0, 0, 0));
            DrawTextAt(dc, 260, 230, device::kAuthorizationLine);
        }
        break;
    }
    default:
        break;
    }

    ui::TkFontPool& fonts = ui::TkFontPool::Instance();
    {
        ui::SelectObjectScope select(dc, fonts.GetFont(512));
        ::SetTextColor(dc, RGB(189, 58, 6));
        DrawTextAt(dc, 80, 540, device::kConnectionTipsHeading);
    }
    ui::SelectObjectScope select(dc, fonts.GetFont(256));
    ::SetTextColor(dc, RGB(10, 0, 0));
    int top = 560;
    for (const std::string_view tip : device::kConnectionTips) {
        DrawTextAt(dc, 100, top, tip);
        top += 20;
    }
}

void CMainDlg::Paint() {
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    ui::OffscreenBitmap canvas(dc, kWidth, kHeight);
    if (canvas.Ok()) {
        const RECT all {0, 0, kWidth, kHeight};
        ::FillRect(canvas.Dc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::SetBkMode(canvas.Dc(), TRANSPARENT);
        {
            Gdiplus::Graphics graphics(canvas.Dc());
            if (screen_ == MainScreen::StartScreen) {
                PaintStartScreen(canvas.Dc(), graphics);
            } else {
                dataBackground_.Draw(graphics, 0, 0);
            }
        }
        canvas.CopyTo(dc);
        for (ui::CImgButton* button :
             {&closeButton_, &minimizeButton_, &menuButton_, &helpButton_, &homeButton_, &refreshButton_}) {
            button->CaptureBackground(canvas.Dc());
        }
        if (screen_ == MainScreen::DataScreen) {
            for (ui::CImgButton* button : {&backButton_, &recoverButton_, &pauseButton_, &resumeButton_, &stopButton_}) {
                button->CaptureBackground(canvas.Dc());
                if (::IsWindowVisible(button->Hwnd())) ::InvalidateRect(button->Hwnd(), nullptr, FALSE);
            }
        }
    }
    ::EndPaint(Hwnd(), &paint);
}

void CMainDlg::OnAnimationTick() {
    if (!animation_.Running()) return;
    ::KillTimer(Hwnd(), kAnimationTimer);
    const std::uint32_t delay = animation_.Tick();
    if (delay == 0) return;
    ::InvalidateRect(Hwnd(), &kAnimationRect, FALSE);
    ::SetTimer(Hwnd(), kAnimationTimer, delay, nullptr);
}

// ------------------------------------------------------------ workers

void CMainDlg::StartAcquisition() {
    if (acquisition_.joinable()) acquisition_.join();  // it has reported already, or was stopped
    acquisitionStop_ = std::stop_source();
    // The thread owns copies of what it uses, so nothing of the window is
    // touched while it runs.
    acquisition_ = std::thread([paths = paths_, options = settings_.adb, stop = acquisitionStop_.get_token(),
                                window = platform::MakeWindowNotifier(Hwnd())]() mutable {
        device::AcquireDatabases(paths, *window, options, stop);
    });
}

void CMainDlg::StartLoading() {
    if (loading_.joinable()) loading_.join();
    loading_ = std::thread([this, paths = paths_, window = platform::MakeWindowNotifier(Hwnd())]() mutable {
        // The copies as pulled, before SQLite opens them.
        evidence_ = output::CollectEvidence(
            {paths.contactsDb, paths.contactsBackup, paths.messagesDb, paths.messagesBackup});
        dbrecover::LoadContacts(paths.contactsDb, paths.contactsBackup, contacts_, *window);
        dbrecover::LoadMessages(contacts_, paths.messagesDb, paths.messagesBackup, threads_, *window);
        lists_ = dbrecover::BuildDisplayLists(contacts_, threads_);
        window->Post(WMU_LOAD_DONE, 0, 0);
    });
}

void CMainDlg::WaitForWorkers() {
    if (acquisition_.joinable()) acquisition_.join();
    if (loading_.joinable()) loading_.join();
}

// ------------------------------------------------------------ messages from workers

void CMainDlg::OnAcquisitionDone(device::DeviceState state) {
    if (animation_.Running()) {
        ::KillTimer(Hwnd(), kAnimationTimer);
        animation_.SetRunning(false);
    }
    animation_.Rewind();
    state_ = state;
    if (state != device::DeviceState::Ready) {
        ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        refreshButton_.SetEnabled(true);
        ::EnableWindow(refreshButton_.Hwnd(), TRUE);
        return;
    }
    BuildFixedTree();
    screen_ = MainScreen::DataScreen;
    ::ShowWindow(tree_.Hwnd(), SW_SHOW);
    ::ShowWindow(progress_, SW_SHOW);
    Repaint();
    for (HWND hidden : {backButton_.Hwnd(), refreshButton_.Hwnd(), helpLink_.Hwnd()}) ::ShowWindow(hidden, SW_HIDE);
    StartLoading();
}

void CMainDlg::OnLoadProgress(WPARAM step, LPARAM steps) {
    if (steps <= 0) return;
    ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(step * 100 / static_cast<WPARAM>(steps)), 0);
}

void CMainDlg::OnLoadDone() {
    if (loading_.joinable()) loading_.join();  // it has posted its last word
    ::ShowWindow(progress_, SW_SHOW);
    ::SendMessageW(progress_, PBM_SETPOS, 1, 0);
    for (ui::CImgButton* shown : {&backButton_, &recoverButton_, &pauseButton_, &stopButton_}) {
        ::ShowWindow(shown->Hwnd(), SW_SHOW);
    }
    for (int label : {0, 1, 2, 4}) ::ShowWindow(toolbarLabels_[label], SW_SHOW);
    for (ui::CImgButton* enabled : {&pauseButton_, &resumeButton_, &stopButton_}) {
        enabled->SetEnabled(true);
        ::EnableWindow(enabled->Hwnd(), TRUE);
    }
    ::ShowWindow(resumeButton_.Hwnd(), SW_HIDE);
    ::ShowWindow(toolbarLabels_[3], SW_HIDE);
    Repaint();
    ShowCounts();
    StartDiskList(*scan_);
}

void CMainDlg::OnUpdateResult(WPARAM wParam, LPARAM lParam) {
    if (wParam == 1) {
        const std::wstring version = ui::Wide(update::TakeUpdateVersion(lParam));
        wchar_t text[512];
        std::swprintf(text, std::size(text),
                      L"A new version of (%ls) is available. Click Yes to open download page.", version.c_str());
        ui::CMsgBox box;
        if (box.Show(ui::CMsgBox::Information, ui::CMsgBox::kYes | ui::CMsgBox::kNo, text, Hwnd()) ==
            ui::CMsgBox::kYesCode) {
            OpenVendorPage(update::ProductPageAddress());
        }
        return;
    }
    wchar_t text[256];
    std::swprintf(text, std::size(text), L"This version of (%ls) is the latest version.",
                  ui::Wide(update::kProgramVersion).c_str());
    ui::CMsgBox box;
    box.Show(ui::CMsgBox::Information, ui::CMsgBox::kYes, text, Hwnd());
}

// ------------------------------------------------------------ commands

void CMainDlg::ShowMenu() {
    HMENU menu = ::CreatePopupMenu();
    if (menu == nullptr) return;
    ::AppendMenuW(menu, MF_STRING, ID_MENU_HOME, L"Home");
    ::AppendMenuW(menu, MF_STRING, ID_MENU_ABOUT, L"About");
    ::AppendMenuW(menu, MF_STRING, ID_MENU_HELP, L"Help");
    ::AppendMenuW(menu, MF_STRING, ID_MENU_UPDATE, L"Update");
    ::AppendMenuW(menu, MF_STRING, ID_MENU_EXIT, L"Exit");
    POINT at {884, 32};
    ::ClientToScreen(Hwnd(), &at);
    const int choice =
        static_cast<int>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
                                          at.y, 0, Hwnd(), nullptr));
    ::DestroyMenu(menu);
    if (choice != 0) OnCommand(choice);
}

void CMainDlg::ShowAbout() {
    ui::CAboutBox about;
    about.Show(Hwnd());
}

void CMainDlg::OnCommand(int id) {
    switch (id) {
    case IDC_CLOSE:
        Close(1000);
        break;
    case IDC_MINIMIZE:
        ::SendMessageW(Hwnd(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        break;
    case IDC_MENU:
        ShowMenu();
        break;
    case IDC_HOME:
    case ID_MENU_HOME:
        OpenVendorPage(update::ProductPageAddress());
        break;
    case IDC_SUPPORT:
        OpenVendorPage(update::SupportPageAddress());
        break;
    case ID_MENU_HELP:
        OpenVendorPage(update::OnlineHelpAddress());
        break;
    case ID_MENU_ABOUT:
        ShowAbout();
        break;
    case ID_MENU_UPDATE:
        update::StartManualCheck(platform::MakeWindowNotifier(Hwnd()), settings_.updateServer);
        break;
    case ID_MENU_EXIT:
        Close(0);
        break;
    case IDC_REFRESH:
        Refresh();
        break;
    case IDC_BACK:
        Back();
        break;
    case IDC_RECOVER:
        Recover();
        break;
    case IDC_PAUSE:
    case IDC_RESUME:
        OnPauseOrResume();
        break;
    case IDC_STOP:
        OnStop();
        break;
    default:
        break;  // IDOK and IDCANCEL among them: Enter and Escape do nothing
    }
}

void CMainDlg::Refresh() {
    ::ShowWindow(helpLink_.Hwnd(), SW_SHOW);
    refreshButton_.SetEnabled(false);
    ::EnableWindow(refreshButton_.Hwnd(), FALSE);
    animation_.SetRunning(false);
    state_ = device::DeviceState::Detecting;
    Repaint();
    StartAcquisition();
}

const wchar_t kGoBackQuestion[] = L"Are you sure to go back to reload the data from Android phone?";

void CMainDlg::Back() {
    bool yes = false;
    if (settings_.confirmBack) {
        yes = settings_.confirmBack();
    } else {
        ui::CMsgBox question;
        yes = question.Show(ui::CMsgBox::Warning, ui::CMsgBox::kYes | ui::CMsgBox::kNo, kGoBackQuestion, Hwnd()) ==
              ui::CMsgBox::kYesCode;
    }
    if (!yes) return;

    // The scan ends (a paused one without resuming first) and its tree,
    // mirror and queued events are released before anything is cleared.
    StopScan(*scan_);
    ReleaseScan(*scan_);
    tree_.DeleteAllNodes();
    rootItem_ = contactsItem_ = messagesItem_ = currentCategory_ = nullptr;
    ::ShowWindow(tree_.Hwnd(), SW_HIDE);
    ClearResults();

    for (HWND hidden : {list_.Hwnd(), recoverButton_.Hwnd(), backButton_.Hwnd(), pauseButton_.Hwnd(),
                        resumeButton_.Hwnd(), stopButton_.Hwnd(), contactPanel_.Hwnd(), messagePanel_.Hwnd(),
                        preview_.Hwnd(), progress_, notice_}) {
        ::ShowWindow(hidden, SW_HIDE);
    }
    for (HWND label : toolbarLabels_) ::ShowWindow(label, SW_HIDE);
    ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
    ::ShowWindow(refreshButton_.Hwnd(), SW_SHOW);
    ::ShowWindow(helpLink_.Hwnd(), SW_SHOW);

    screen_ = MainScreen::StartScreen;
    state_ = device::DeviceState::Detecting;
    animation_.SetRunning(false);
    ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    WaitForWorkers();
    device::DeleteDatabaseCopies(paths_);
    StartAcquisition();
}

void CMainDlg::Close(int exitCode) {
    if (closing_) return;
    closing_ = true;
    // Out of sight at once; what follows may wait for a worker. A running
    // acquisition is cut short: its client is killed and it posts nothing.
    ::ShowWindow(Hwnd(), SW_HIDE);
    acquisitionStop_.request_stop();
    // The scan reads the disks and the loading thread fills the record maps,
    // the acquisition thread the database copies: all of them finish before
    // anything is freed or deleted.
    if (scan_) {
        StopScan(*scan_);
        ReleaseScan(*scan_);
        // The events the scan posted before it ended carry records of their
        // own; a destroyed window would never take them.
        MSG pending {};
        while (::PeekMessageW(&pending, Hwnd(), WMU_SCAN_EVENT, WMU_SCAN_EVENT, PM_REMOVE)) {
            TakeScanEvent(pending.wParam);
        }
    }
    WaitForWorkers();
    ClearResults();
    if (list_.Hwnd() != nullptr) ::DestroyWindow(list_.Hwnd());
    device::DeleteDatabaseCopies(paths_);
    if (animation_.Running()) {
        ::KillTimer(Hwnd(), kAnimationTimer);
        animation_.SetRunning(false);
    }
    device::KillServer(settings_.adb);
    LeaveMessageLoop();
    ::DestroyWindow(Hwnd());
    ::PostQuitMessage(exitCode);
}

// ------------------------------------------------------------ message table

void CMainDlg::LeaveMessageLoop() {
    if (CMessageLoop* loop = Module().GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
}

bool CMainDlg::PreTranslateMessage(MSG& message) {
    if (Hwnd() == nullptr) return false;
    if (message.hwnd != Hwnd() && !::IsChild(Hwnd(), message.hwnd)) return false;
    return ::IsDialogMessageW(Hwnd(), &message) != FALSE;
}

bool CMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        result = TRUE;
        return true;
    case WM_PAINT:
        Paint();
        return true;
    case WM_TIMER:
        if (wParam == kAnimationTimer) {
            OnAnimationTick();
        } else if (wParam == kStartupCheckTimer) {
            ::KillTimer(Hwnd(), kStartupCheckTimer);
            update::StartStartupCheck(platform::MakeWindowNotifier(Hwnd()), settings_.updateServer);
        }
        return true;
    case WM_COMMAND:
        // Buttons and menu choices; other control commands go back to the
        // controls.
        if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
            OnCommand(LOWORD(wParam));
            return true;
        }
        return OnSkinnedMessage(message, wParam, lParam, result);
    case WM_CLOSE:
        Close(0);
        return true;
    case WM_DEVICECHANGE:
        result = TRUE;  // a new detection runs only on Refresh
        return true;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header != nullptr && header->hwndFrom == tree_.Hwnd() && header->code == TVN_SELCHANGEDW) {
            OnTreeSelection();
            return true;
        }
        if (header != nullptr && header->hwndFrom == list_.Hwnd() && header->code == NM_CLICK) {
            OnListClick();
            return true;
        }
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
    case ui::WMU_TREE_ITEM_CHECKED:
        OnTreeItemChecked(reinterpret_cast<HTREEITEM>(wParam), lParam != 0);
        return true;
    case ui::WMU_LIST_ITEM_CHECKED:
        if (currentCategory_ != nullptr) OnListItemChecked(static_cast<int>(wParam), lParam != 0);
        return true;
    case WMU_DISKS_READY:
        OnDisksReady();
        return true;
    case WMU_SCAN_EVENT:
        HandleScanEvent(TakeScanEvent(wParam));
        return true;
    case WMU_PREVIEW_READY:
        ::RedrawWindow(preview_.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        return true;
    case device::WMU_ACQUISITION_DONE:
        OnAcquisitionDone(static_cast<device::DeviceState>(static_cast<int>(wParam)));
        return true;
    case dbrecover::WMU_LOAD_PROGRESS:
        OnLoadProgress(wParam, lParam);
        return true;
    case WMU_LOAD_DONE:
        OnLoadDone();
        return true;
    case update::WMU_UPDATE_RESULT:
        OnUpdateResult(wParam, lParam);
        return true;
    case WM_DESTROY:
        LeaveMessageLoop();
        return false;
    default:
        return OnSkinnedMessage(message, wParam, lParam, result);
    }
}

}  // namespace qb::app
