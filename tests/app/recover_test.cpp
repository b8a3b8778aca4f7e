// Recover, Back and Close on the data screen, end to end: what is ticked is
// written into a new output root (reports and copies checked byte for byte
// against the sample phone and the sample card), the recover dialog while it
// runs and when it has finished, Back answered No and Yes, and Close during
// a scan.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <filesystem>

#include "app/resource_ids.h"
#include "platform/file.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/modal_watcher.h"
#include "ui/msg_box.h"
#include "ui/resource_ids.h"
#include "ui/wide_text.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;
using RecoverRoad = MainWindowTest;

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), error)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::string Bytes(const std::string& path, std::uint64_t offset, std::uint64_t size) {
    const std::string all = platform::ReadWholeFile(path).value_or("");
    return offset + size <= all.size() ? all.substr(offset, size) : std::string("<short>");
}

void ClickBoxOf(ui::CTreeViewEx1& tree, HTREEITEM item) {
    const RECT box = tree.CheckBoxRect(item);
    ClickInWindow(tree.Hwnd(), POINT {(box.left + box.right) / 2, (box.top + box.bottom) / 2});
}

void ClickRowBox(ui::CListViewCheck1& list, int row) {
    const RECT box = list.CheckBoxRect(row);
    ClickInWindow(list.Hwnd(), POINT {(box.left + box.right) / 2, (box.top + box.bottom) / 2});
}

std::wstring Text(HWND dialog, int id) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

TEST_F(RecoverRoad, RecoverWritesWhatIsTickedIntoANewFolderByteForByte) {
    tools::CardTruth truth;
    const std::string card = Card("card.img", 7, &truth);
    storage_ = [card] { return StorageWithImages({card}); };
    chooseFolder_ = [this](HWND) { return std::optional<std::wstring>(ui::Wide(temp_.File("chosen"))); };
    platform::CreateFolders(temp_.File("chosen"));
    OpenLoaded();
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() == ScanFinished; }, 120s));

    // Untick the GIF pictures and every contact but the first two.
    ui::CTreeViewEx1& tree = window_->Tree();
    HTREEITEM disk = Children(window_->RootItem()).at(2);
    for (HTREEITEM group : Children(disk)) {
        const std::wstring text = tree.Text(group);
        if (text.starts_with(L"gif (")) ClickBoxOf(tree, group);
    }
    ClickBoxOf(tree, window_->ContactsItem());
    for (int row : {0, 1}) ClickRowBox(window_->List(), row);
    const std::vector<std::string> names {
        static_cast<const dbrecover::ContactItem*>(window_->List().RowRecord(0))->name,
        static_cast<const dbrecover::ContactItem*>(window_->List().RowRecord(1))->name};

    std::wstring status;
    ModalWatcher watcher(IDC_RECOVER_FINISHED, [&](HWND dialog) {
        for (int i = 0; i < 600 && !::IsWindowVisible(::GetDlgItem(dialog, IDC_RECOVER_FINISHED)); ++i) ::Sleep(50);
        ::Sleep(200);
        status = Text(dialog, IDC_RECOVER_STATUS);
        CaptureWindow(dialog).Save("RecoverRoad.dialog-finished");
        ClickButton(dialog, IDC_RECOVER_CLOSE);
    }, 60s);
    ::SendMessageW(Control(IDC_RECOVER), BM_CLICK, 0, 0);
    ASSERT_TRUE(watcher.Found());

    const std::string root = ui::Narrow(window_->OutputFolder());
    EXPECT_EQ(root.rfind(temp_.File("chosen") + "\\QuillbrookHome", 0), 0u) << root;
    std::size_t expectedFiles = 0;
    for (const tools::TruthFile& file : truth.files) expectedFiles += file.group == "gif" ? 0 : 1;
    EXPECT_EQ(status.rfind(std::to_wstring(2 + window_->ConversationCount() + expectedFiles) + L"/", 0), 0u)
        << ui::Narrow(status);

    const std::string contacts = platform::ReadWholeFile(root + "\\Contacts(2)\\Contacts.html").value_or("");
    for (const std::string& name : names) EXPECT_NE(contacts.find(name), std::string::npos) << name;
    EXPECT_TRUE(platform::FileExists(
        root + "\\Messages(" + std::to_string(window_->ConversationCount()) + ")\\Messages.html"));

    std::vector<std::string> disks;
    for (const std::string& name : Entries(root)) {
        if (name.rfind("disk", 0) == 0) disks.push_back(name);
    }
    ASSERT_EQ(disks.size(), 1u);
    std::size_t written = 0;
    for (const std::string& group : Entries(root + "\\" + disks[0])) written += Entries(root + "\\" + disks[0] + "\\" + group).size();
    EXPECT_EQ(written, expectedFiles);
    for (const tools::TruthFile& file : truth.files) {
        const std::string copy = root + "\\" + disks[0] + "\\" + file.group + "\\" + file.name;
        if (file.group == "gif") {
            EXPECT_FALSE(platform::FileExists(copy)) << copy;
        } else {
            EXPECT_EQ(platform::ReadWholeFile(copy).value_or("<none>"), Bytes(card, file.offset, file.size)) << copy;
        }
    }
}

TEST_F(RecoverRoad, StopEndsTheJobBeforeItsLastFileAndTheDialogWaitsForClose) {
    const std::string card = Card("card.img", 3);
    storage_ = [card] { return StorageWithImages({card}, /*slowCopies=*/true); };
    chooseFolder_ = [this](HWND) { return std::optional<std::wstring>(ui::Wide(temp_.path())); };
    OpenLoaded();
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() == ScanFinished; }, 120s));
    std::wstring status;
    bool finishedAtOnce = true;
    ModalWatcher watcher(IDC_RECOVER_FINISHED, [&](HWND dialog) {
        CaptureWindow(dialog).Save("RecoverRoad.dialog-running");
        finishedAtOnce = ::IsWindowVisible(::GetDlgItem(dialog, IDC_RECOVER_FINISHED)) != FALSE;
        ClickButton(dialog, IDC_RECOVER_STOP);
        for (int i = 0; i < 200 && !::IsWindowVisible(::GetDlgItem(dialog, IDC_RECOVER_FINISHED)); ++i) ::Sleep(50);
        ::Sleep(300);
        status = Text(dialog, IDC_RECOVER_STATUS);
        CaptureWindow(dialog).Save("RecoverRoad.dialog-stopped");
        ClickButton(dialog, IDC_RECOVER_CLOSE);
    }, 60s, 1500ms);
    ::SendMessageW(Control(IDC_RECOVER), BM_CLICK, 0, 0);
    ASSERT_TRUE(watcher.Found());
    EXPECT_FALSE(finishedAtOnce);
    // Some files were written before the stop, not all of them.
    const std::size_t slash = status.find(L'/');
    ASSERT_NE(slash, std::wstring::npos);
    const unsigned long done = std::stoul(status.substr(0, slash));
    const unsigned long total = std::stoul(status.substr(slash + 1));
    EXPECT_LT(done, total) << ui::Narrow(status);
}

TEST_F(RecoverRoad, RecoverAsksForAFolderAndACancelledChoiceDoesNothing) {
    int asked = 0;
    std::optional<std::wstring> answer;
    chooseFolder_ = [&](HWND) {
        ++asked;
        return answer;
    };
    OpenLoaded();
    ::SendMessageW(Control(IDC_RECOVER), BM_CLICK, 0, 0);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window_->OutputFolder().empty());

    answer = L"";
    std::wstring text;
    ModalWatcher watcher(IDC_MSGBOX_TEXT, [&](HWND dialog) {
        text = Text(dialog, IDC_MSGBOX_TEXT);
        ClickButton(dialog, IDC_MSGBOX_OK);
    });
    ::SendMessageW(Control(IDC_RECOVER), BM_CLICK, 0, 0);
    ASSERT_TRUE(watcher.Found());
    EXPECT_EQ(text, kChooseFolderFirst);
    EXPECT_TRUE(window_->OutputFolder().empty());
}

TEST_F(RecoverRoad, BackAnsweredNoChangesNothingAndYesDuringAPausedScanStartsAgain) {
    const std::string image = temp_.Write("disk.img", std::string(1 << 20, '\0'));
    storage_ = [image] { return StorageWithSlowScan({image}); };
    bool answer = false;
    confirmBack_ = [&] { return answer; };
    OpenLoaded();
    ::SendMessageW(Control(IDC_PAUSE), BM_CLICK, 0, 0);
    ASSERT_EQ(window_->ScanStatus(), ScanPaused);

    ::SendMessageW(Control(IDC_BACK), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->Screen(), MainScreen::DataScreen);
    EXPECT_EQ(window_->ScanStatus(), ScanPaused);
    EXPECT_GT(window_->ContactCount(), 0u);

    answer = true;
    const std::string copy = window_->Paths().contactsDb;
    ::SendMessageW(Control(IDC_BACK), BM_CLICK, 0, 0);
    EXPECT_EQ(window_->Screen(), MainScreen::StartScreen);
    EXPECT_EQ(window_->ScanStatus(), ScanFinished);
    EXPECT_EQ(window_->ContactCount(), 0u);
    EXPECT_FALSE(::IsWindowVisible(window_->Tree().Hwnd()));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_BACK)));
    EXPECT_TRUE(::IsWindowVisible(Control(IDC_REFRESH)));
    Snapshot("back");
    // A new acquisition brings the phone back, and the disks are scanned again.
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() == ScanRunning && window_->ContactCount() > 0; }, 30s));
    EXPECT_EQ(window_->Screen(), MainScreen::DataScreen);
    EXPECT_EQ(SlowScans(), 2);
    EXPECT_TRUE(platform::FileExists(copy));
}

TEST_F(RecoverRoad, CloseDuringAScanEndsCleanlyAndDeletesTheCopies) {
    const std::string image = temp_.Write("disk.img", std::string(1 << 20, '\0'));
    storage_ = [image] { return StorageWithSlowScan({image}); };
    OpenLoaded();
    ASSERT_EQ(window_->ScanStatus(), ScanRunning);
    const std::string copy = window_->Paths().contactsDb;
    ASSERT_TRUE(platform::FileExists(copy));
    ::SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(ID_MENU_EXIT, 0), 0);
    int code = -1;
    ASSERT_TRUE(PumpUntil([&] { return QuitRequested(&code); }, 10s));
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(::IsWindow(window_->Hwnd()));
    EXPECT_FALSE(platform::FileExists(copy));
}

}  // namespace
}  // namespace qb::app::testsupport
