// The category tree as a user meets it: ticking a node ticks its subtree and
// brings its ancestors in line, each change told once; greyed nodes take no
// click; a double click changes nothing; the expander folds; the painted
// boxes sit where clicks find them, also without the skin.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/windows_support.h"
#include "tests/app/gdi_count.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/control_host.h"
#include "ui/skin_image.h"
#include "ui/tree_view_ex.h"

namespace qb::ui::testsupport {
namespace {

using app::testsupport::Near;

constexpr RECT kPlace {1, 32, 222, 629};  // the main window's 221 x 597

// A tree like the data screen's: the phone, contacts and messages, a disk
// with three groups.
class CategoryTree : public ::testing::Test {
protected:
    void Open(bool allChecked = false) {
        tree_.SetItemHeight(25);
        ASSERT_TRUE(tree_.Create(host_.Hwnd(), 1003, kPlace));
        root_ = tree_.InsertNode(TVI_ROOT, 0, L"android phone", &rootIcon_, true);
        contacts_ = tree_.InsertNode(root_, 1, L"Contacts (12)", &contactsIcon_, false);
        messages_ = tree_.InsertNode(root_, 2, L"Message (3)", &messageIcon_, false);
        disk_ = tree_.InsertNode(root_, 3, L"sdb [Removable]", &diskIcon_, true);
        for (const wchar_t* name : {L"jpg (4)", L"png (2)", L"pdf (1)"}) {
            groups_.push_back(tree_.InsertNode(disk_, 4, name, &folderIcon_, false));
        }
        for (HTREEITEM node : All()) tree_.SetCheck(node, allChecked);
        ::SendMessageW(tree_.Hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root_));
        ::SendMessageW(tree_.Hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(disk_));
        ::ShowWindow(tree_.Hwnd(), SW_SHOW);
        Pump();
    }
    std::vector<HTREEITEM> All() const {
        std::vector<HTREEITEM> nodes {root_, contacts_, messages_, disk_};
        nodes.insert(nodes.end(), groups_.begin(), groups_.end());
        return nodes;
    }
    void ClickBox(HTREEITEM node) {
        const RECT box = tree_.CheckBoxRect(node);
        ClickAt(tree_.Hwnd(), POINT {(box.left + box.right) / 2, (box.top + box.bottom) / 2});
    }
    // The (node, state) pairs told to the parent, in order.
    std::vector<std::pair<HTREEITEM, LPARAM>> Told() const {
        std::vector<std::pair<HTREEITEM, LPARAM>> told;
        for (const Notification& n : host_.NotificationsOf(WMU_TREE_ITEM_CHECKED)) {
            told.emplace_back(reinterpret_cast<HTREEITEM>(n.wParam), n.lParam);
        }
        return told;
    }

    ControlHost host_ {240, 640};
    SkinImage rootIcon_ {L"treeroot.png"}, contactsIcon_ {L"contacts.png"}, messageIcon_ {L"message.png"},
        diskIcon_ {L"disk.png"}, folderIcon_ {L"folder.png"};
    CTreeViewEx1 tree_;
    HTREEITEM root_ = nullptr, contacts_ = nullptr, messages_ = nullptr, disk_ = nullptr;
    std::vector<HTREEITEM> groups_;
};

TEST_F(CategoryTree, TickingTheRootTicksEveryCategoryAndTellsEachOnceRootFirst) {
    Open();
    ClickBox(root_);
    const std::vector<std::pair<HTREEITEM, LPARAM>> expected {
        {root_, 1}, {contacts_, 1}, {messages_, 1}, {disk_, 1}, {groups_[0], 1}, {groups_[1], 1}, {groups_[2], 1}};
    EXPECT_EQ(Told(), expected);
    for (HTREEITEM node : All()) EXPECT_TRUE(tree_.Checked(node));
}

TEST_F(CategoryTree, AncestorsFollowTheirChildren) {
    struct Step {
        const char* what;
        int group;       // the group clicked
        bool diskAfter;  // the disk's box afterwards
        bool rootAfter;
        std::size_t told;  // notifications of the click
    };
    // Everything ticked at the start.
    const Step steps[] = {
        {"unticking a group unticks the disk and the root", 1, false, false, 3},
        {"ticking it again ticks the disk and the root", 1, true, true, 3},
        {"unticking the first group", 0, false, false, 3},
        {"unticking the last group", 2, false, false, 3},
        {"ticking the last while the first is unticked leaves the disk unticked", 2, false, false, 1},
    };
    Open(true);
    for (const Step& step : steps) {
        host_.ClearNotifications();
        ClickBox(groups_[step.group]);
        EXPECT_EQ(tree_.Checked(disk_), step.diskAfter) << step.what;
        EXPECT_EQ(tree_.Checked(root_), step.rootAfter) << step.what;
        EXPECT_EQ(Told().size(), step.told) << step.what;
    }
    EXPECT_FALSE(tree_.Checked(groups_[0]));
    EXPECT_TRUE(tree_.Checked(groups_[1]));
    EXPECT_TRUE(tree_.Checked(groups_[2]));
}

TEST_F(CategoryTree, AGreyedNodeTakesNoClickAndDrawsGrey) {
    Open(true);
    tree_.SetEnabled(messages_, false);
    TreeView_SelectItem(tree_.Hwnd(), contacts_);
    ClickBox(messages_);
    const RECT box = tree_.CheckBoxRect(messages_);
    ClickAt(tree_.Hwnd(), POINT {box.right + 40, (box.top + box.bottom) / 2});  // on its text
    EXPECT_TRUE(tree_.Checked(messages_));
    EXPECT_TRUE(Told().empty());
    EXPECT_EQ(TreeView_GetSelection(tree_.Hwnd()), contacts_);

    const app::testsupport::ScreenPixels shot = CaptureClient(host_.Hwnd(), "greyed");
    int total = 0;
    EXPECT_EQ(FramePixelsMatching(shot, ImagePath(L"checkboxes.png"), 5, 4, kPlace.left + box.left,
                                  kPlace.top + box.top, &total),
              total);
    RECT row = box;
    row.right = kPlace.right - kPlace.left;
    ::OffsetRect(&row, kPlace.left, kPlace.top);
    EXPECT_GT(shot.CountNear(row, CTreeViewEx1::kDisabledTextColour, 20), 20);
    // The selected leaf is highlighted and written in blue.
    RECT selected = tree_.CheckBoxRect(contacts_);
    selected.right = kPlace.right - kPlace.left;
    ::OffsetRect(&selected, kPlace.left, kPlace.top);
    EXPECT_GT(shot.CountNear(selected, CTreeViewEx1::kSelectedTextColour, 40), 20);
}

TEST_F(CategoryTree, BoxesLineUpUnderTheirParentsIcon) {
    Open(true);
    const app::testsupport::ScreenPixels shot = CaptureClient(host_.Hwnd(), "tree");
    const int line = tree_.CheckBoxRect(contacts_).left;
    EXPECT_EQ(tree_.CheckBoxRect(messages_).left, line);
    EXPECT_EQ(tree_.CheckBoxRect(disk_).left, line);
    EXPECT_LT(tree_.ExpanderRect(disk_).right, line);  // the disk's expander hangs left of the line
    EXPECT_GT(tree_.CheckBoxRect(groups_[0]).left, line);
    for (HTREEITEM node : All()) {
        const RECT box = tree_.CheckBoxRect(node);
        int total = 0;
        EXPECT_EQ(FramePixelsMatching(shot, ImagePath(L"checkboxes.png"), 5, 3, kPlace.left + box.left,
                                      kPlace.top + box.top, &total),
                  total);
        EXPECT_GT(total, 0);
    }
}

TEST_F(CategoryTree, TheExpanderFoldsAndADoubleClickChangesNothing) {
    Open();
    auto expanded = [&](HTREEITEM node) {
        return (TreeView_GetItemState(tree_.Hwnd(), node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    };
    const RECT expander = tree_.ExpanderRect(disk_);
    ClickAt(tree_.Hwnd(), POINT {(expander.left + expander.right) / 2, (expander.top + expander.bottom) / 2});
    EXPECT_FALSE(expanded(disk_));

    const RECT box = tree_.CheckBoxRect(root_);
    const POINT text {box.right + 60, (box.top + box.bottom) / 2};
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(text.x, text.y));
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(text.x, text.y));
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(text.x, text.y));
    ::SendMessageW(tree_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(text.x, text.y));
    Pump();
    EXPECT_TRUE(expanded(root_));
    EXPECT_FALSE(tree_.Checked(root_));
}

TEST_F(CategoryTree, WithoutItsPicturesEveryBoxStaysTickable) {
    qb::testsupport::ScopedTempFolder empty("qb-no-skin-");
    const std::wstring skin = ImageFolder();
    SetImageFolder(platform::win::Wide(empty.path()) + L"\\");
    Open();
    SetImageFolder(skin);
    const RECT box = tree_.CheckBoxRect(groups_[1]);
    EXPECT_EQ(box.right - box.left, CheckBoxStrip::kPlainSize);
    ClickBox(groups_[1]);
    EXPECT_TRUE(tree_.Checked(groups_[1]));
    const RECT expander = tree_.ExpanderRect(disk_);
    ClickAt(tree_.Hwnd(), POINT {(expander.left + expander.right) / 2, (expander.top + expander.bottom) / 2});
    EXPECT_EQ(TreeView_GetItemState(tree_.Hwnd(), disk_, TVIS_EXPANDED) & TVIS_EXPANDED, 0u);
    CaptureClient(host_.Hwnd(), "no-skin");
}

TEST_F(CategoryTree, RepaintingLeavesNoGdiObjectBehind) {
    Open(true);
    TreeView_SelectItem(tree_.Hwnd(), groups_[0]);
    CaptureClient(host_.Hwnd());
    const std::size_t before = app::testsupport::GdiObjectCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) ::RedrawWindow(tree_.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(app::testsupport::GdiObjectCount(), before);
}

}  // namespace
}  // namespace qb::ui::testsupport
