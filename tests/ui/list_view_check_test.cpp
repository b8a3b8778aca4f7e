// The check-box list as a user meets it: 30-pixel rows under a 30-pixel
// header, paging in blocks of 100, text sort by column, the check boxes of
// the rows and the header driven by real clicks, the painted rows, and the
// list without its skin.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/windows_support.h"
#include "tests/app/gdi_count.h"
#include "tests/support/temp_folder.h"
#include "tests/ui/control_host.h"
#include "ui/list_view_check.h"
#include "ui/skin_image.h"

namespace qb::ui::testsupport {
namespace {

using app::testsupport::Near;
using dbrecover::ContactItem;

constexpr RECT kPlace {10, 10, 527, 518};  // the main window's 517 x 508

class CheckBoxList : public ::testing::Test {
protected:
    void Open() {
        list_.SetRowHeight(30);
        ASSERT_TRUE(list_.Create(host_.Hwnd(), 1004, kPlace));
        ::ShowWindow(list_.Hwnd(), SW_SHOW);
    }
    // n contacts named after their number; every `deletedEvery`-th deleted.
    void MakeContacts(int n, int deletedEvery = 0) {
        for (int i = 1; i <= n; ++i) {
            auto contact = std::make_unique<ContactItem>();
            contact->name = "Person " + std::to_string(i);
            contact->phone = "+4930" + std::to_string(1000 + i);
            contact->deleted = deletedEvery > 0 && i % deletedEvery == 0 ? 1 : 0;
            contacts_.push_back(contact.get());
            store_.push_back(std::move(contact));
        }
    }
    std::vector<std::wstring> Column(int column) {
        std::vector<std::wstring> texts;
        for (int row = 0; row < list_.RowCount(); ++row) texts.push_back(list_.CellText(row, column));
        return texts;
    }
    // The list scrolled to its last row and the scroll bar let go, as at
    // the end of a drag of its thumb.
    void ScrollToEnd() {
        ::SendMessageW(list_.Hwnd(), LVM_SCROLL, 0, 30 * list_.RowCount());
        ::SendMessageW(list_.Hwnd(), WM_VSCROLL, SB_ENDSCROLL, 0);
    }
    // The centre of a row's check box, and a point on its text, in the
    // list's client coordinates.
    POINT BoxOf(int row) {
        const RECT box = list_.CheckBoxRect(row);
        return POINT {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
    }
    RECT RowRect(int row) {
        RECT bounds {};
        bounds.left = LVIR_BOUNDS;
        ::SendMessageW(list_.Hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
        return bounds;
    }
    std::vector<Notification> Checks() { return host_.NotificationsOf(WMU_LIST_ITEM_CHECKED); }

    ControlHost host_ {560, 540};
    CListViewCheck1 list_;
    std::vector<std::unique_ptr<ContactItem>> store_;
    std::vector<ContactItem*> contacts_;
};

TEST_F(CheckBoxList, RowsAre30PixelsUnderA30PixelHeader) {
    Open();
    MakeContacts(3);
    list_.ShowContacts(contacts_);
    RECT header {};
    ::GetWindowRect(list_.Header().Hwnd(), &header);
    EXPECT_EQ(header.bottom - header.top, 30);
    EXPECT_EQ(RowRect(0).top, 30);
    EXPECT_EQ(RowRect(0).bottom - RowRect(0).top, 30);
    wchar_t name[32] = {};
    ::GetWindowTextW(list_.Hwnd(), name, 32);
    EXPECT_STREQ(name, L"datalistview");
    EXPECT_EQ(::GetDlgCtrlID(list_.Hwnd()), 1004);
}

TEST_F(CheckBoxList, AppendsBlocksOf100AsTheUserReachesTheEnd) {
    Open();
    MakeContacts(250);
    list_.ShowContacts(contacts_);
    EXPECT_EQ(list_.RowCount(), 100);
    ScrollToEnd();
    EXPECT_EQ(list_.RowCount(), 200);
    // The wheel at the bottom pages on too.
    ::SendMessageW(list_.Hwnd(), LVM_SCROLL, 0, 30 * list_.RowCount());
    WheelAt(list_.Hwnd(), POINT {200, 200}, -1);
    EXPECT_EQ(list_.RowCount(), 250);
    ScrollToEnd();
    WheelAt(list_.Hwnd(), POINT {200, 200}, -1);
    EXPECT_EQ(list_.RowCount(), 250);
    EXPECT_EQ(list_.CellText(249, 0), L"250");
    EXPECT_EQ(list_.CellText(249, 1), L"Person 250");
    EXPECT_EQ(list_.RowRecord(249), contacts_[249]);
    // Scrolling that has not reached the end appends nothing.
    list_.ShowContacts(contacts_);
    ::SendMessageW(list_.Hwnd(), WM_VSCROLL, SB_LINEDOWN, 0);
    ::SendMessageW(list_.Hwnd(), WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(list_.RowCount(), 100);
}

TEST_F(CheckBoxList, SortsAColumnAsTextAndAClickAgainReversesIt) {
    Open();
    MakeContacts(120);
    list_.ShowContacts(contacts_);
    RECT column {};
    ::SendMessageW(list_.Header().Hwnd(), HDM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&column));
    const POINT onTitle {column.right - 40, 15};  // away from the check-all box
    ClickAt(list_.Header().Hwnd(), onTitle);
    std::vector<std::wstring> numbers = Column(0);
    ASSERT_EQ(numbers.size(), 100u);
    EXPECT_EQ(std::vector<std::wstring>(numbers.begin(), numbers.begin() + 4),
              (std::vector<std::wstring> {L"1", L"10", L"100", L"11"}));
    EXPECT_EQ(list_.Header().SortColumn(), 0);
    EXPECT_TRUE(list_.Header().SortAscending());
    CaptureClient(host_.Hwnd(), "sorted");

    ClickAt(list_.Header().Hwnd(), onTitle);
    const std::vector<std::wstring> reversed = Column(0);
    EXPECT_EQ(reversed, std::vector<std::wstring>(numbers.rbegin(), numbers.rend()));
    EXPECT_FALSE(list_.Header().SortAscending());
    // Each row keeps its own record and texts.
    for (int row = 0; row < list_.RowCount(); ++row) {
        const auto* contact = static_cast<const ContactItem*>(list_.RowRecord(row));
        EXPECT_EQ(L"Person " + list_.CellText(row, 0), list_.CellText(row, 1));
        EXPECT_EQ(contact->name, "Person " + platform::win::Narrow(list_.CellText(row, 0)));
    }
}

TEST_F(CheckBoxList, AClickOnABoxTogglesItAndTheHeaderBoxFollows) {
    Open();
    MakeContacts(5);
    list_.ShowContacts(contacts_);
    list_.Header().SetCheckAll(true);
    ClickAt(list_.Hwnd(), BoxOf(2));
    ASSERT_EQ(Checks().size(), 1u);
    EXPECT_EQ(Checks()[0].wParam, 2u);
    EXPECT_EQ(Checks()[0].lParam, 0);
    EXPECT_FALSE(list_.RowChecked(2));
    EXPECT_FALSE(list_.Header().CheckAll());
    EXPECT_EQ(list_.SelectedRow(), -1);  // the click on a box selects nothing

    ClickAt(list_.Hwnd(), BoxOf(2));
    EXPECT_EQ(Checks().back().lParam, 1);
    EXPECT_TRUE(list_.Header().CheckAll());

    // A click on the text selects the row and leaves its box alone, and so
    // does one beside the box where the native list keeps its own.
    host_.ClearNotifications();
    const RECT row = RowRect(3);
    ClickAt(list_.Hwnd(), POINT {row.left + 250, (row.top + row.bottom) / 2});
    ClickAt(list_.Hwnd(), POINT {row.left + 2, (row.top + row.bottom) / 2});
    EXPECT_EQ(list_.SelectedRow(), 3);
    EXPECT_TRUE(list_.RowChecked(3));
    EXPECT_TRUE(Checks().empty());
    EXPECT_TRUE(host_.SawNotifyCode(NM_CLICK));

    // The space key ticks the focused row the way its box does.
    ::SendMessageW(list_.Hwnd(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_FALSE(list_.RowChecked(3));
    ASSERT_EQ(Checks().size(), 1u);
    EXPECT_EQ(Checks()[0].wParam, 3u);
}

TEST_F(CheckBoxList, TheHeaderBoxTicksTheLoadedRowsOnlyAndTellsEachOne) {
    Open();
    MakeContacts(300);
    list_.ShowContacts(contacts_);
    list_.Header().SetCheckAll(false);
    ClickAt(list_.Header().Hwnd(), POINT {11, 14});
    EXPECT_TRUE(list_.Header().CheckAll());
    std::vector<Notification> checks = Checks();
    ASSERT_EQ(checks.size(), 100u);
    for (int row = 0; row < 100; ++row) {
        EXPECT_EQ(checks[row].wParam, static_cast<WPARAM>(row));
        EXPECT_EQ(checks[row].lParam, 1);
    }
    host_.ClearNotifications();
    ClickAt(list_.Header().Hwnd(), POINT {11, 14});
    EXPECT_EQ(Checks().size(), 100u);
    EXPECT_EQ(Checks().back().lParam, 0);
    EXPECT_FALSE(list_.RowChecked(99));
    // The records are the owner's: the rows not loaded keep their flags and
    // new rows start from them.
    EXPECT_EQ(contacts_[150]->selected, 1);
    ScrollToEnd();
    EXPECT_TRUE(list_.RowChecked(150));
}

TEST_F(CheckBoxList, DeletedRowsAreRedWithTheirMarkerAndFileRowsShowTheFileMarker) {
    Open();
    MakeContacts(4, 2);  // rows 1 and 3 (0-based) deleted
    list_.ShowContacts(contacts_);
    const app::testsupport::ScreenPixels shot = CaptureClient(host_.Hwnd(), "contacts");
    const int frame = list_.CheckBoxRect(0).right - list_.CheckBoxRect(0).left;
    for (int row = 0; row < 4; ++row) {
        RECT place = RowRect(row);
        ::OffsetRect(&place, kPlace.left, kPlace.top);
        const bool deleted = row % 2 == 1;
        EXPECT_EQ(shot.CountNear(place, RGB(255, 0, 0), 40) > 40, deleted) << row;
        // Background: even rows grey, odd rows white (no row is selected).
        EXPECT_EQ(shot.At(place.right - 3, place.top + 3), row % 2 == 0 ? RGB(245, 245, 245) : RGB(255, 255, 255));
        const RECT box = list_.CheckBoxRect(row);
        int total = 0;
        const int marker = FramePixelsMatching(shot, ImagePath(L"deleted.png"), 1, 0,
                                               kPlace.left + box.left + frame + 5, kPlace.top + box.top, &total);
        EXPECT_EQ(marker == total && total > 0, deleted) << row;
        EXPECT_EQ(FramePixelsMatching(shot, ImagePath(L"checkbox.png"), 4, 2, kPlace.left + box.left,
                                      kPlace.top + box.top, &total),
                  total);
    }

    app::ScanNode group;
    for (const char* name : {"2048.jpg", "4096.png"}) {
        app::ScanFileEntry& entry = app::NewEntry(group);
        entry.name = name;
        entry.size = 1536;
        entry.date = "2026-12-08";
        app::PublishEntry(group, entry);
    }
    list_.ShowFiles(group.firstEntry.load());
    EXPECT_EQ(list_.Mode(), ListMode::Files);
    EXPECT_EQ(list_.CellText(1, 1), L"4096.png");
    EXPECT_EQ(list_.CellText(1, 2), L"1.5 KB");
    EXPECT_EQ(list_.CellText(1, 3), L"2026-12-08");
    const app::testsupport::ScreenPixels files = CaptureClient(host_.Hwnd(), "files");
    int total = 0;
    EXPECT_EQ(FramePixelsMatching(files, ImagePath(L"file.png"), 1, 0,
                                  kPlace.left + list_.CheckBoxRect(0).left + frame + 5,
                                  kPlace.top + list_.CheckBoxRect(0).top, &total),
              total);
    EXPECT_GT(total, 0);
}

TEST_F(CheckBoxList, AGroupPagesThroughItsEntriesAndPicksUpFilesFoundLater) {
    Open();
    app::ScanNode group;
    auto add = [&](int n) {
        for (int i = 0; i < n; ++i) {
            app::ScanFileEntry& entry = app::NewEntry(group);
            entry.name = std::to_string(group.fileCount.load() + 1) + ".jpg";
            entry.selected = entry.name == "5.jpg" ? 0 : 1;
            app::PublishEntry(group, entry);
        }
    };
    add(101);
    list_.ShowFiles(group.firstEntry.load());
    EXPECT_EQ(list_.RowCount(), 100);
    ASSERT_NE(list_.NextFile(), nullptr);
    EXPECT_EQ(list_.NextFile()->number, 101u);
    EXPECT_FALSE(list_.RowChecked(4));
    EXPECT_EQ(list_.AppendNextBlock(), 1);
    EXPECT_EQ(list_.NextFile(), nullptr);
    add(2);  // the scan goes on
    EXPECT_EQ(list_.AppendNextBlock(), 2);
    EXPECT_EQ(list_.CellText(102, 0), L"103");
    EXPECT_EQ(list_.CellText(102, 1), L"103.jpg");
}

TEST_F(CheckBoxList, WithoutItsCheckBoxPictureEveryRowStaysTickable) {
    qb::testsupport::ScopedTempFolder empty("qb-no-skin-");
    const std::wstring skin = ImageFolder();
    SetImageFolder(platform::win::Wide(empty.path()) + L"\\");
    Open();
    SetImageFolder(skin);
    MakeContacts(3);
    list_.ShowContacts(contacts_);
    const RECT box = list_.CheckBoxRect(1);
    EXPECT_EQ(box.right - box.left, CheckBoxStrip::kPlainSize);
    ClickAt(list_.Hwnd(), BoxOf(1));
    EXPECT_FALSE(list_.RowChecked(1));
    EXPECT_EQ(Checks().size(), 1u);
    CaptureClient(host_.Hwnd(), "no-skin");
}

TEST_F(CheckBoxList, RepaintingLeavesNoGdiObjectBehind) {
    Open();
    MakeContacts(40, 3);
    list_.ShowContacts(contacts_);
    list_.SelectFirstRow();
    CaptureClient(host_.Hwnd());
    const std::size_t before = app::testsupport::GdiObjectCount();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) {
        ::RedrawWindow(list_.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    EXPECT_EQ(app::testsupport::GdiObjectCount(), before);
}

}  // namespace
}  // namespace qb::ui::testsupport
