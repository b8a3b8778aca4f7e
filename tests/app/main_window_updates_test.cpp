// The answers of the two update checks as the main window shows them, with
// the vendor's server played by a loopback server; the busy animation's
// timing; Close while the workers run; and the window's GDI objects across
// many paints and boxes.
#include <windows.h>

#include <algorithm>
#include <map>

#include <psapi.h>

#include "app/resource_ids.h"
#include "platform/file.h"
#include "tests/app/gdi_count.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/modal_watcher.h"
#include "tools/fake_adb/fake_phone_layout.h"
#include "tools/sample_phone/sample_phone.h"
#include "ui/msg_box.h"
#include "ui/resource_ids.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;
using device::DeviceState;

std::wstring TextOf(HWND dialog) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, IDC_MSGBOX_TEXT, text, 512);
    return text;
}

std::string ProductList(const std::string& version) {
    return "<?xml version=\"1.0\"?>\n<products>\n  <product name=\"Velmora Photo\" version=\"9.9.9.9\"/>\n"
           "  <product name=\"Velmora Quillbrook\" version=\"" + version + "\"/>\n</products>\n";
}

std::string StartupDocument(const std::string& newest) {
    return R"({"Fernhollow":[{"Version":"1.0.0.22","Nversion":")" + newest + R"(","Update_URL":""}]})";
}

// Opens the box a check's answer brings and answers it.
struct AnsweredBox {
    bool shown = false;
    std::wstring text;
    bool noButton = false;
};

TEST_F(MainWindowTest, TheStartupCheckOffersANewVersionAndYesOpensTheDownloadPage) {
    ServeUpdate(StartupDocument("1.0.0.23"));
    phone_.SetState("none");
    AnsweredBox box;
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
            box.text = TextOf(dialog);
            box.noButton = ::IsWindowVisible(::GetDlgItem(dialog, IDC_MSGBOX_NO)) != FALSE;
            CaptureWindow(dialog).Save("MainWindowTest.StartupCheck.new-version");
            ClickButton(dialog, IDC_MSGBOX_YES);
        },
        15s);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PumpUntil([&] { return !OpenedPages().empty(); }, 15s));
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(box.text, L"A new version of (1.0.0.23) is available. Click Yes to open download page.");
    EXPECT_TRUE(box.noButton);
    EXPECT_EQ(OpenedPages(), (std::vector<std::wstring> {L"http://www.velmora.com/quillbrook.html"}));
    EXPECT_EQ(updates_->Requests().size(), 1u);
}

TEST_F(MainWindowTest, TheStartupCheckIsSilentWhenTheVersionIsTheSame) {
    ServeUpdate(StartupDocument("1.0.0.22"));
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PumpUntil([&] { return !updates_->Requests().empty(); }, 10s));
    PumpFor(1500ms);
    HWND box = ::FindWindowExW(nullptr, nullptr, L"#32770", L"Velmora Quillbrook");
    while (box == Window()) box = ::FindWindowExW(nullptr, box, L"#32770", L"Velmora Quillbrook");
    EXPECT_EQ(box, nullptr);
    EXPECT_TRUE(OpenedPages().empty());
}

TEST_F(MainWindowTest, TheManualCheckAnswersNewerOrLatest) {
    phone_.SetState("none");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NoDevice));
    ASSERT_TRUE(PumpUntil([&] { return !updates_->Requests().empty(); }, 10s));  // the start-up check is done

    struct Case {
        std::string version;
        std::wstring text;
        int answer;
        std::size_t pagesOpened;
    } const cases[] = {
        {"1.0.0.23", L"A new version of (1.0.0.23) is available. Click Yes to open download page.", IDC_MSGBOX_YES, 1},
        {"1.1.0.0", L"A new version of (1.1.0.0) is available. Click Yes to open download page.", IDC_MSGBOX_NO, 0},
        {"1.0.23", L"A new version of (1.0.23) is available. Click Yes to open download page.", IDC_MSGBOX_NO, 0},
        {"1.0.0.22", L"This version of (1.0.0.22) is the latest version.", IDC_MSGBOX_YES, 0},
        {"1.0.0.21", L"This version of (1.0.0.22) is the latest version.", IDC_MSGBOX_CLOSE, 0},
    };
    int shot = 0;
    for (const Case& c : cases) {
        updates_->SetAnswer({ProductList(c.version)});
        const std::size_t before = OpenedPages().size();
        std::wstring text;
        bool yesOnly = false;
        ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
                text = TextOf(dialog);
                yesOnly = !::IsWindowVisible(::GetDlgItem(dialog, IDC_MSGBOX_NO));
                CaptureWindow(dialog).Save("MainWindowTest.ManualCheck." + std::to_string(++shot));
                ClickButton(dialog, c.answer);
            });
        ::PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_UPDATE, 0), 0);
        // The box runs inside the window's handler of the answer.
        PumpUntil([&] { return !text.empty() && ::GetForegroundWindow() == Window(); }, 20s);
        ASSERT_TRUE(watcher.Found()) << c.version;
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(yesOnly, c.text.rfind(L"This version", 0) == 0) << c.version;
        PumpFor(100ms);
        EXPECT_EQ(OpenedPages().size() - before, c.pagesOpened) << c.version;
    }
    const auto requests = updates_->Requests();
    ASSERT_GE(requests.size(), 6u);
    EXPECT_EQ(requests.back().userAgent, "WinHTTP Example/1.0");
    EXPECT_EQ(requests.front().userAgent, "Velmora@Update");
}

TEST_F(MainWindowTest, TheManualCheckWithTheServerUnreachableSaysLatest) {
    phone_.SetState("none");
    updates_.reset();  // nothing listens on the port any more
    ASSERT_TRUE(Open());
    std::wstring text;
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
        text = TextOf(dialog);
        ClickButton(dialog, IDC_MSGBOX_YES);
    });
    ::PostMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_UPDATE, 0), 0);
    PumpUntil([&] { return !text.empty(); }, 20s);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(text, L"This version of (1.0.0.22) is the latest version.");
}

TEST_F(MainWindowTest, TheBusyAnimationShowsEachFrameForItsOwnDelay) {
    phone_.HangOn({"devices"});
    ASSERT_TRUE(Open());
    const std::vector<std::uint32_t> delays = window_->Animation().DelaysMs();
    const int frames = window_->Animation().FrameCount();
    ASSERT_GT(frames, 2);
    // When each frame index was reached, over more than one round.
    std::vector<std::pair<int, std::chrono::steady_clock::time_point>> seen;
    PumpUntil(
        [&] {
            const int index = window_->Animation().FrameIndex();
            if (seen.empty() || seen.back().first != index) seen.emplace_back(index, std::chrono::steady_clock::now());
            return static_cast<int>(seen.size()) > frames + 3;
        },
        10s);
    ASSERT_GT(static_cast<int>(seen.size()), frames + 3);
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        // Index k is reached when frame k - 1 is shown; it stays until the
        // next tick, its own delay later.
        EXPECT_EQ(seen[i + 1].first, (seen[i].first + 1) % frames);
        const int shownFrame = (seen[i].first + frames - 1) % frames;
        const auto stayed = std::chrono::duration_cast<std::chrono::milliseconds>(seen[i + 1].second - seen[i].second);
        EXPECT_GE(stayed.count() + 20, static_cast<long long>(delays[shownFrame])) << "frame " << shownFrame;
    }
    // Close while the detection still waits for the client.
    ::SendMessageW(Control(IDC_CLOSE), BM_CLICK, 0, 0);
    int code = -1;
    ASSERT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 10s));
    EXPECT_EQ(code, 1000);
}

TEST_F(MainWindowTest, CloseWhileLoadingWaitsForTheLoaderAndDeletesTheCopies) {
    std::string error;
    tools::SamplePhoneOptions big;
    big.scale = 20;
    ASSERT_TRUE(tools::GenerateSamplePhone(temp_.File("sample"), big, &error)) << error;
    ASSERT_TRUE(tools::LayOutFakePhone(tools::SamplePhoneLayout(temp_.File("sample")), phone_.folder() + "\\phone", {},
                                       &error))
        << error;
    ASSERT_TRUE(Open());
    ASSERT_TRUE(PumpUntil([&] { return window_->State() == DeviceState::Ready; }, 30s));
    const device::WorkPaths paths = window_->Paths();
    ::SendMessageW(Control(IDC_CLOSE), BM_CLICK, 0, 0);
    int code = -1;
    ASSERT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 30s));
    EXPECT_EQ(code, 1000);
    EXPECT_EQ(window_->ContactCount(), 0u);
    for (const std::string* copy : {&paths.contactsDb, &paths.messagesDb, &paths.contactsBackup, &paths.messagesBackup}) {
        EXPECT_FALSE(platform::FileExists(*copy)) << *copy;
    }
    // The working folders stay.
    EXPECT_TRUE(platform::FolderExists(paths.contactsBackupFolder));
    EXPECT_TRUE(platform::FolderExists(paths.messagesBackupFolder));
}

TEST_F(MainWindowTest, RepaintsAndMessageBoxesLeaveNoGdiObjectsBehind) {
    phone_.SetState("unauthorized");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(WaitForState(DeviceState::NeedsAuthorization));
    // Fonts of the pool and the boxes' first pictures are made once; one of
    // each first.
    auto oneBox = [&] {
        ModalWatcher watcher(IDC_MSGBOX_TEXT, [](HWND dialog) { ClickButton(dialog, IDC_MSGBOX_NO); }, 20s, 60ms);
        ui::CMsgBox box;
        box.Show(ui::CMsgBox::Warning, ui::CMsgBox::kYes | ui::CMsgBox::kNo,
                 L"Are you sure to go back to reload the data from Android phone?", Window());
        return watcher.Found();
    };
    ASSERT_TRUE(oneBox());
    PumpFor(200ms);
    const std::size_t gdiBefore = GdiObjectCount();
    ASSERT_GT(gdiBefore, 0u);
    PROCESS_MEMORY_COUNTERS memoryBefore {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memoryBefore, sizeof memoryBefore);

    for (int i = 0; i < 100; ++i) {
        ::RedrawWindow(Window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    PumpFor(100ms);
    EXPECT_LE(GdiObjectCount(), gdiBefore) << "after 100 repaints";
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(oneBox()) << i;
    PumpFor(200ms);
    EXPECT_LE(GdiObjectCount(), gdiBefore) << "after 100 message boxes";

    PROCESS_MEMORY_COUNTERS memoryAfter {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memoryAfter, sizeof memoryAfter);
    EXPECT_LT(memoryAfter.PagefileUsage, memoryBefore.PagefileUsage + 4 * 1024 * 1024);
}

}  // namespace
}  // namespace qb::app::testsupport
