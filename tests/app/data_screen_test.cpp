// The data screen at work, end to end: a ready phone through the fake
// bridge client, its contacts and conversations in the tree, the list and
// the panels, and the removable disks of an injected storage module (sample
// card images shown as removable disks, since Wine shows no physical
// drives): groups under their disk with their counts, a picture preview,
// and Pause, Resume and Stop.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>

#include "app/resource_ids.h"
#include "platform/file.h"
#include "tests/app/main_window_fixture.h"
#include "ui/wide_text.h"

namespace qb::app::testsupport {
namespace {

using namespace std::chrono_literals;

using DataScreen = MainWindowTest;

TEST_F(DataScreen, AReadyPhoneShowsItsCategoriesWithCountsAndItsContacts) {
    OpenLoaded();
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() == ScanFinished; }, 30s));
    ui::CTreeViewEx1& tree = window_->Tree();
    EXPECT_EQ(tree.Text(window_->ContactsItem()), L"Contacts (" + std::to_wstring(window_->ContactCount()) + L")");
    EXPECT_EQ(tree.Text(window_->MessagesItem()), L"Message (" + std::to_wstring(window_->ConversationCount()) + L")");
    EXPECT_EQ(window_->CurrentCategory(), window_->ContactsItem());
    ui::CListViewCheck1& list = window_->List();
    EXPECT_EQ(list.Mode(), ui::ListMode::Contacts);
    EXPECT_EQ(static_cast<std::size_t>(list.RowCount()), std::min<std::size_t>(window_->ContactCount(), 100));
    EXPECT_TRUE(::IsWindowVisible(list.Hwnd()));
    EXPECT_TRUE(::IsWindowVisible(window_->ContactPanel().Hwnd()));
    EXPECT_FALSE(::IsWindowVisible(window_->MessagePanel().Hwnd()));
    EXPECT_EQ(window_->ContactPanel().Contact(), list.RowRecord(0));
    // Deleted contacts come first and are ticked like everything found.
    EXPECT_EQ(static_cast<const dbrecover::ContactItem*>(list.RowRecord(0))->deleted, 1);
    EXPECT_TRUE(list.RowChecked(0));
    Snapshot("contacts");

    // Unticking the category unticks every contact, listed or not.
    const RECT box = tree.CheckBoxRect(window_->ContactsItem());
    ClickInWindow(tree.Hwnd(), POINT {(box.left + box.right) / 2, (box.top + box.bottom) / 2});
    EXPECT_FALSE(list.RowChecked(0));
    EXPECT_FALSE(list.Header().CheckAll());
    EXPECT_FALSE(tree.Checked(window_->RootItem()));
    for (int row = 0; row < list.RowCount(); ++row) {
        EXPECT_EQ(static_cast<const dbrecover::ContactItem*>(list.RowRecord(row))->selected, 0);
    }
    // Ticking a row back leaves the category unticked while other rows are not.
    const RECT rowBox = list.CheckBoxRect(0);
    ClickInWindow(list.Hwnd(), POINT {(rowBox.left + rowBox.right) / 2, (rowBox.top + rowBox.bottom) / 2});
    EXPECT_EQ(static_cast<const dbrecover::ContactItem*>(list.RowRecord(0))->selected, 1);
    EXPECT_EQ(tree.Checked(window_->ContactsItem()), list.RowCount() == 1);
}

TEST_F(DataScreen, MessagesListTheConversationsAndAClickShowsItsBubbles) {
    OpenLoaded();
    ClickTreeItem(window_->MessagesItem());
    ui::CListViewCheck1& list = window_->List();
    ASSERT_EQ(list.Mode(), ui::ListMode::Messages);
    ASSERT_GE(list.RowCount(), 2);
    EXPECT_TRUE(::IsWindowVisible(window_->MessagePanel().Hwnd()));
    EXPECT_FALSE(::IsWindowVisible(window_->ContactPanel().Hwnd()));
    ClickRow(1);
    const auto* thread = static_cast<const dbrecover::MsgThread*>(list.RowRecord(1));
    EXPECT_EQ(window_->MessagePanel().Thread(), thread);
    std::size_t withBody = 0;
    for (const dbrecover::MsgItem& message : thread->messages) withBody += message.body.empty() ? 0 : 1;
    EXPECT_EQ(window_->MessagePanel().Items().size(), withBody);
    Snapshot("conversation");
}

TEST_F(DataScreen, TheCardsGroupsAppearUnderItsDiskWithTheirCountsAndAPicturePreviews) {
    tools::CardTruth truth;
    const std::string card = Card("card.img", 7, &truth);
    storage_ = [card] { return StorageWithImages({card}); };
    OpenLoaded();
    ASSERT_TRUE(PumpUntil([&] { return window_->ScanStatus() == ScanFinished; }, 120s));
    PumpFor(200ms);

    const std::vector<HTREEITEM> categories = Children(window_->RootItem());
    ASSERT_EQ(categories.size(), 3u);  // contacts, messages, the card
    const HTREEITEM disk = categories[2];
    EXPECT_EQ(window_->Tree().NodeData(disk)->kind, kDiskCategory);
    std::map<std::string, int> expected;
    for (const tools::TruthFile& file : truth.files) ++expected[file.group];
    std::map<std::string, int> shown;
    HTREEITEM jpg = nullptr;
    for (HTREEITEM group : Children(disk)) {
        const std::string text = ui::Narrow(window_->Tree().Text(group));
        const std::size_t open = text.rfind(" (");
        ASSERT_NE(open, std::string::npos) << text;
        shown[text.substr(0, open)] = std::stoi(text.substr(open + 2));
        if (text.rfind("jpg (", 0) == 0) jpg = group;
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), 100);
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_STOP)));
    Snapshot("groups");

    ASSERT_NE(jpg, nullptr);
    ClickTreeItem(jpg);
    ui::CListViewCheck1& list = window_->List();
    ASSERT_EQ(list.Mode(), ui::ListMode::Files);
    EXPECT_EQ(list.RowCount(), std::min(expected["jpg"], 100));
    EXPECT_TRUE(::IsWindowVisible(window_->Preview().Hwnd()));
    ClickRow(0);
    ASSERT_TRUE(PumpUntil([&] { return window_->Preview().Picture() != nullptr; }, 20s));
    const auto* entry = static_cast<const ScanFileEntry*>(list.RowRecord(0));
    EXPECT_EQ(window_->Preview().LoadedPath(), PreviewTargetPath(window_->Paths().pictureFolder, *entry));
    EXPECT_TRUE(platform::FileExists(window_->Preview().LoadedPath()));
    Snapshot("preview");
}

TEST_F(DataScreen, PauseResumeAndStopFollowTheScan) {
    const std::string first = temp_.Write("first.img", std::string(1 << 20, '\0'));
    const std::string second = temp_.Write("second.img", std::string(1 << 20, '\0'));
    storage_ = [first, second] { return StorageWithSlowScan({first, second}); };
    OpenLoaded();
    ASSERT_TRUE(PumpUntil([&] { return ::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0) > 1; }, 20s));
    auto click = [&](int id) { ::SendMessageW(Control(id), BM_CLICK, 0, 0); };

    click(IDC_PAUSE);
    EXPECT_EQ(window_->ScanStatus(), ScanPaused);
    EXPECT_TRUE(::IsWindowVisible(Control(IDC_RESUME)));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_PAUSE)));
    Snapshot("paused");
    const LRESULT pausedAt = ::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0);
    PumpFor(300ms);
    EXPECT_EQ(::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0), pausedAt);

    click(IDC_RESUME);
    EXPECT_EQ(window_->ScanStatus(), ScanRunning);
    EXPECT_TRUE(::IsWindowVisible(Control(IDC_PAUSE)));
    EXPECT_FALSE(::IsWindowVisible(Control(IDC_RESUME)));

    // Stop while paused: the scan wakes, ends, and the second disk is skipped.
    click(IDC_PAUSE);
    click(IDC_STOP);
    EXPECT_EQ(window_->ScanStatus(), ScanFinished);
    ASSERT_TRUE(PumpUntil([&] { return ::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 100; }, 10s));
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_STOP)));
    EXPECT_FALSE(::IsWindowEnabled(Control(IDC_PAUSE)));
    EXPECT_EQ(SlowScans(), 1);
    Snapshot("stopped");
}

}  // namespace
}  // namespace qb::app::testsupport
