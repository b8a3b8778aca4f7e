// CListViewCheck1: the centre list of the data screen. A native report list
// with owner-drawn rows of one height, a check box in the first column of
// every row (its native state image: 1 unchecked, 2 checked), text sort by
// column and the check-all box of its header (CHeaderCtrlCheck). It shows
// one record set at a time and appends rows in blocks of 100 as the user
// reaches the bottom:
//
//   MODE      ROW RECORD (item data)   COLUMNS
//   Contacts  dbrecover::ContactItem   No., Name, Phone, Company, Email
//   Messages  dbrecover::MsgThread     No., Name, Phone
//   Files     app::ScanFileEntry       No., Name, Size, Date
//
// The records belong to the owner and outlive the rows. A change of a row's
// check by the user (click on its box, the space key, the check-all box) is
// sent to the parent as WMU_LIST_ITEM_CHECKED; the parent reflects the
// list's own notifications and owner-draw requests back to it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <span>
#include <string>
#include <vector>

#include "app/scan_model.h"
#include "dbrecover/contact_item.h"
#include "dbrecover/message_item.h"
#include "ui/check_box_strip.h"
#include "ui/control_base.h"
#include "ui/header_ctrl_check.h"
#include "ui/skin_image.h"

namespace qb::ui {

// Sent to the list's parent: wParam the row, lParam 1 when it is now ticked,
// 0 when not.
constexpr UINT WMU_LIST_ITEM_CHECKED = 1124;  // WM_USER + 100

enum class ListMode { None = 0, Contacts = 1, Messages = 2, Files = 3 };

struct ListColumn {
    const wchar_t* title;
    int width;
};

class CListViewCheck1 final : public CControlBase {
public:
    static constexpr int kBlockRows = 100;
    static constexpr int kTextLimit = 260;
    static constexpr COLORREF kOddRowColour = RGB(255, 255, 255);
    static constexpr COLORREF kEvenRowColour = RGB(245, 245, 245);
    static constexpr COLORREF kSelectedRowColour = RGB(161, 219, 238);
    static constexpr COLORREF kDeletedTextColour = RGB(255, 0, 0);

    CListViewCheck1();

    // Rows are 50 pixels high unless the owner sets another height before
    // the list is created (the main window sets 30).
    void SetRowHeight(int height) { rowHeight_ = height; }
    int RowHeight() const { return rowHeight_; }

    // Creates the native list (window name "datalistview", hidden) as a
    // child of parent and attaches to it.
    bool Create(HWND parent, int id, const RECT& place);
    // Takes over an existing native report list: its header, the pictures,
    // the check-all box, the extended styles; then has the rows measured.
    bool Attach(HWND list);

    CHeaderCtrlCheck& Header() { return header_; }

    // The columns of a mode.
    static std::span<const ListColumn> ColumnsOf(ListMode mode);

    // Shows a record set from its start: deletes every row and column,
    // inserts the mode's columns and appends the first block. The sequences
    // are borrowed and must outlive the list's use of them; files are the
    // group's entries from `first` on, following their links.
    void ShowContacts(const std::vector<dbrecover::ContactItem*>& contacts);
    void ShowConversations(const std::vector<dbrecover::MsgThread*>& threads);
    void ShowFiles(const app::ScanFileEntry* first);
    // Appends the next block of rows of the set shown; the number appended.
    int AppendNextBlock();
    // Deletes every row and column; the list shows no set afterwards.
    void Clear();

    ListMode Mode() const { return mode_; }
    // Files: the first entry not yet shown, or null.
    const app::ScanFileEntry* NextFile() const;

    // Row operations of the owner.
    int AppendRow(const std::vector<std::wstring>& texts);
    int RowCount() const;
    int ColumnCount() const;
    void SetRowRecord(int row, const void* record);
    const void* RowRecord(int row) const;
    void SetRowCheck(int row, bool checked);
    bool RowChecked(int row) const;
    std::wstring CellText(int row, int column) const;
    // Selects and focuses row 0 (clearing any other selection) and scrolls
    // it into view.
    void SelectFirstRow();
    // The first selected row, or -1.
    int SelectedRow() const;

    // The check box of the row on the screen, in client coordinates.
    RECT CheckBoxRect(int row) const;

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DrawRow(const DRAWITEMSTRUCT& item);
    bool OnLeftButtonDown(LPARAM lParam);
    void ToggleRow(int row);
    void CheckAllRows(bool checked);
    void UpdateHeaderBox();
    void SortByColumn(int column);
    bool AtBottom() const;
    bool RowIsDeleted(int row) const;
    std::vector<std::wstring> RowTexts(int number, const void* record) const;
    void AppendRecordRow(const void* record, bool selected);
    bool RefuseForeignCheckChange(const NMLISTVIEW& change) const;

    CHeaderCtrlCheck header_;
    CheckBoxStrip checkBoxes_ {4};
    SkinImage deletedMarker_;
    SkinImage fileMarker_;
    int rowHeight_ = 50;
    int originX_ = 0;
    ListMode mode_ = ListMode::None;
    const std::vector<dbrecover::ContactItem*>* contacts_ = nullptr;
    const std::vector<dbrecover::MsgThread*>* threads_ = nullptr;
    const app::ScanFileEntry* nextFile_ = nullptr;   // the first file not shown, when known
    const app::ScanFileEntry* lastFile_ = nullptr;   // the last file shown
    int ownChecks_ = 0;  // > 0 while the list itself changes a check
};

}  // namespace qb::ui
