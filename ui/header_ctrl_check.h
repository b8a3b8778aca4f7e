// CHeaderCtrlCheck: the header of the check-box list, a subclassed native
// header that paints itself (the stretched "list_hearder.bmp", grid lines,
// centred titles, the sort arrow "inc.png" / "dec.png" of the sorted
// column), keeps the list's sort state, is forced to 30 pixels high, and
// carries the check-all box: a native check box at (5, 7), 13 x 14 pixels,
// whose click flips it and tells the list to tick or untick every row.
#pragma once

#include <windows.h>

#include "ui/control_base.h"
#include "ui/gdi_objects.h"
#include "ui/skin_image.h"

namespace qb::ui {

// Sent by the header to its list: wParam 1 ticks every row, any other value
// unticks every row; result 0.
constexpr UINT WMU_LIST_CHECK_ALL = 1129;  // WM_USER + 105

class CHeaderCtrlCheck final : public CControlBase {
public:
    static constexpr int kHeight = 30;

    // Loads the background bitmap.
    CHeaderCtrlCheck();

    // Takes over the list's native header: the arrows and the check-all box.
    bool Attach(HWND header);

    void SetCheckAll(bool checked);
    bool CheckAll() const;
    HWND CheckAllBox() const { return checkAll_; }

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }
    // Records the sort state and repaints the arrow.
    void SetSort(int column, bool ascending);

private:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();

    OwnedBitmap background_;
    SkinImage ascending_;
    SkinImage descending_;
    int sortColumn_ = -1;
    bool sortAscending_ = true;
    HWND checkAll_ = nullptr;
    OwnedBrush boxBrush_;  // the header's colour behind the check-all box
};

}  // namespace qb::ui
