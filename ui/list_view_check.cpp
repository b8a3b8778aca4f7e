#include "ui/list_view_check.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "ui/dialog_base.h"
#include "ui/font_pool.h"
#include "ui/gdi_objects.h"
#include "ui/text_format.h"
#include "ui/wide_text.h"

namespace qb::ui {
namespace {

constexpr ListColumn kContactColumns[] = {{L"No.", 140}, {L"Name", 100}, {L"Phone", 100}, {L"Company", 80},
                                          {L"Email", 80}};
constexpr ListColumn kMessageColumns[] = {{L"No.", 160}, {L"Name", 120}, {L"Phone", 220}};
constexpr ListColumn kFileColumns[] = {{L"No.", 130}, {L"Name", 150}, {L"Size", 120}, {L"Date", 100}};

constexpr UINT kStateUnchecked = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kStateChecked = INDEXTOSTATEIMAGEMASK(2);
constexpr COLORREF kGridColour = RGB(220, 220, 220);

std::wstring Number(int number) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%d", number);
    return text;
}

// The texts of every row by its item data, taken before a sort: the native
// sort hands the comparison only the rows' item data.
struct SortTexts {
    std::map<LPARAM, std::wstring> texts;
    bool ascending = true;
};

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM context) {
    const auto* sort = reinterpret_cast<const SortTexts*>(context);
    const auto a = sort->texts.find(first);
    const auto b = sort->texts.find(second);
    const wchar_t* left = a != sort->texts.end() ? a->second.c_str() : L"";
    const wchar_t* right = b != sort->texts.end() ? b->second.c_str() : L"";
    return sort->ascending ? ::lstrcmpW(left, right) : ::lstrcmpW(right, left);
}

}  // namespace

CListViewCheck1::CListViewCheck1() = default;

std::span<const ListColumn> CListViewCheck1::ColumnsOf(ListMode mode) {
    switch (mode) {
    case ListMode::Contacts:
        return kContactColumns;
    case ListMode::Messages:
        return kMessageColumns;
    case ListMode::Files:
        return kFileColumns;
    default:
        return {};
    }
}

bool CListViewCheck1::Create(HWND parent, int id, const RECT& place) {
    HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"datalistview",
                                  WS_CHILD | WS_CLIPCHILDREN | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                                      LVS_OWNERDRAWFIXED | LVS_SHOWSELALWAYS,
                                  place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                  nullptr);
    return list != nullptr && Attach(list);
}

bool CListViewCheck1::Attach(HWND list) {
    if (!Subclass(list)) return false;
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    if (header == nullptr) {
        // Some lists make their header with the first column.
        LVCOLUMNW first {};
        first.mask = LVCF_WIDTH;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&first));
        ::SendMessageW(list, LVM_DELETECOLUMN, 0, 0);
        header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    }
    header_.Attach(header);
    checkBoxes_.Load(L"checkbox.png");
    deletedMarker_.Load(ImagePath(L"deleted.png"));
    fileMarker_.Load(ImagePath(L"file.png"));
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES,
                   LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
    // The list measures its rows when its font or size changes; both make
    // it ask again now that the row height is answered here.
    ::SendMessageW(list, WM_SETFONT, ::SendMessageW(list, WM_GETFONT, 0, 0), FALSE);
    RECT place {};
    ::GetWindowRect(list, &place);
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(list, nullptr, 0, 0, width, height + 1, flags);
    ::SetWindowPos(list, nullptr, 0, 0, width, height, flags);
    return true;
}

// ------------------------------------------------------------ rows

int CListViewCheck1::RowCount() const {
    return Hwnd() != nullptr ? static_cast<int>(::SendMessageW(Hwnd(), LVM_GETITEMCOUNT, 0, 0)) : 0;
}

int CListViewCheck1::AppendRow(const std::vector<std::wstring>& texts) {
    if (Hwnd() == nullptr) return -1;
    ++ownChecks_;
    LVITEMW item {};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<wchar_t*>(texts.empty() ? L"" : texts[0].c_str());
    const int row = static_cast<int>(::SendMessageW(Hwnd(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (std::size_t column = 1; row >= 0 && column < texts.size(); ++column) {
        LVITEMW cell {};
        cell.iSubItem = static_cast<int>(column);
        cell.pszText = const_cast<wchar_t*>(texts[column].c_str());
        ::SendMessageW(Hwnd(), LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
    --ownChecks_;
    return row;
}

void CListViewCheck1::SetRowRecord(int row, const void* record) {
    LVITEMW item {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = reinterpret_cast<LPARAM>(record);
    ::SendMessageW(Hwnd(), LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

const void* CListViewCheck1::RowRecord(int row) const {
    LVITEMW item {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (Hwnd() == nullptr || !::SendMessageW(Hwnd(), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<const void*>(item.lParam);
}

void CListViewCheck1::SetRowCheck(int row, bool checked) {
    LVITEMW item {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = checked ? kStateChecked : kStateUnchecked;
    ++ownChecks_;
    ::SendMessageW(Hwnd(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    --ownChecks_;
}

bool CListViewCheck1::RowChecked(int row) const {
    const UINT state = static_cast<UINT>(::SendMessageW(Hwnd(), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) != kStateUnchecked;
}

int CListViewCheck1::ColumnCount() const {
    return header_.Hwnd() != nullptr ? static_cast<int>(::SendMessageW(header_.Hwnd(), HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring CListViewCheck1::CellText(int row, int column) const {
    wchar_t text[kTextLimit + 1] = {};
    LVITEMW item {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kTextLimit + 1;
    ::SendMessageW(Hwnd(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

void CListViewCheck1::SelectFirstRow() {
    if (RowCount() == 0) return;
    LVITEMW none {};
    none.stateMask = LVIS_SELECTED;
    ::SendMessageW(Hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    LVITEMW first {};
    first.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    first.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(Hwnd(), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&first));
    ::SendMessageW(Hwnd(), LVM_ENSUREVISIBLE, 0, FALSE);
}

int CListViewCheck1::SelectedRow() const {
    return static_cast<int>(::SendMessageW(Hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// ------------------------------------------------------------ record sets

void CListViewCheck1::Clear() {
    mode_ = ListMode::None;
    contacts_ = nullptr;
    threads_ = nullptr;
    nextFile_ = lastFile_ = nullptr;
    if (Hwnd() == nullptr) return;
    ::SendMessageW(Hwnd(), LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(Hwnd(), LVM_DELETECOLUMN, 0, 0)) {
    }
}

void CListViewCheck1::ShowContacts(const std::vector<dbrecover::ContactItem*>& contacts) {
    Clear();
    mode_ = ListMode::Contacts;
    contacts_ = &contacts;
    AppendNextBlock();
}

void CListViewCheck1::ShowConversations(const std::vector<dbrecover::MsgThread*>& threads) {
    Clear();
    mode_ = ListMode::Messages;
    threads_ = &threads;
    AppendNextBlock();
}

void CListViewCheck1::ShowFiles(const app::ScanFileEntry* first) {
    Clear();
    mode_ = ListMode::Files;
    nextFile_ = first;
    AppendNextBlock();
}

const app::ScanFileEntry* CListViewCheck1::NextFile() const {
    if (nextFile_ != nullptr) return nextFile_;
    // Files the scan has added to the group since the last block.
    return lastFile_ != nullptr ? lastFile_->next.load(std::memory_order_acquire) : nullptr;
}

std::vector<std::wstring> CListViewCheck1::RowTexts(int number, const void* record) const {
    switch (mode_) {
    case ListMode::Contacts: {
        const auto* contact = static_cast<const dbrecover::ContactItem*>(record);
        return {Number(number), Wide(contact->name), Wide(contact->phone), Wide(contact->organization),
                Wide(contact->email)};
    }
    case ListMode::Messages: {
        const auto* thread = static_cast<const dbrecover::MsgThread*>(record);
        return {Number(number), Wide(thread->name), Wide(thread->address)};
    }
    case ListMode::Files: {
        const auto* entry = static_cast<const app::ScanFileEntry*>(record);
        return {Number(number), Wide(entry->name), Wide(FormatSize(entry->size)), Wide(entry->date)};
    }
    default:
        return {};
    }
}

void CListViewCheck1::AppendRecordRow(const void* record, bool selected) {
    const int row = AppendRow(RowTexts(RowCount() + 1, record));
    if (row < 0) return;
    SetRowRecord(row, record);
    SetRowCheck(row, selected);
}

int CListViewCheck1::AppendNextBlock() {
    if (Hwnd() == nullptr || mode_ == ListMode::None) return 0;
    if (ColumnCount() == 0) {
        for (const ListColumn& column : ColumnsOf(mode_)) {
            LVCOLUMNW info {};
            info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            info.fmt = LVCFMT_CENTER;
            info.cx = column.width;
            info.pszText = const_cast<wchar_t*>(column.title);
            ::SendMessageW(Hwnd(), LVM_INSERTCOLUMNW, ColumnCount(), reinterpret_cast<LPARAM>(&info));
        }
    }
    const int before = RowCount();
    ::SendMessageW(Hwnd(), WM_SETREDRAW, FALSE, 0);
    if (mode_ == ListMode::Contacts || mode_ == ListMode::Messages) {
        const std::size_t records = mode_ == ListMode::Contacts ? (contacts_ != nullptr ? contacts_->size() : 0)
                                                                : (threads_ != nullptr ? threads_->size() : 0);
        const std::size_t first = static_cast<std::size_t>(before);
        const std::size_t end = std::min(records, first + kBlockRows);
        for (std::size_t i = first; i < end; ++i) {
            if (mode_ == ListMode::Contacts) {
                AppendRecordRow((*contacts_)[i], (*contacts_)[i]->selected != 0);
            } else {
                AppendRecordRow((*threads_)[i], (*threads_)[i]->selected != 0);
            }
        }
    } else if (mode_ == ListMode::Files) {
        const app::ScanFileEntry* entry = NextFile();
        for (int added = 0; entry != nullptr && added < kBlockRows; ++added) {
            AppendRecordRow(entry, entry->selected.load(std::memory_order_relaxed) != 0);
            lastFile_ = entry;
            entry = entry->next.load(std::memory_order_acquire);
        }
        nextFile_ = entry;
    }
    ::SendMessageW(Hwnd(), WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
    return RowCount() - before;
}

// ------------------------------------------------------------ painting

bool CListViewCheck1::RowIsDeleted(int row) const {
    const void* record = RowRecord(row);
    if (record == nullptr) return false;
    if (mode_ == ListMode::Contacts) return static_cast<const dbrecover::ContactItem*>(record)->deleted != 0;
    if (mode_ == ListMode::Messages) return static_cast<const dbrecover::MsgThread*>(record)->deleted != 0;
    return false;
}

void CListViewCheck1::DrawRow(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) return;
    const int row = static_cast<int>(item.itemID);
    const RECT& place = item.rcItem;
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    if (width <= 0 || height <= 0) return;
    originX_ = place.left;

    OffscreenBitmap canvas(item.hDC, width, height);
    if (!canvas.Ok()) return;
    HDC dc = canvas.Dc();
    const COLORREF fill = (item.itemState & ODS_SELECTED) != 0 ? kSelectedRowColour
                          : row % 2 != 0                       ? kOddRowColour
                                                               : kEvenRowColour;
    OwnedBrush background(::CreateSolidBrush(fill));
    const RECT all {0, 0, width, height};
    ::FillRect(dc, &all, background.Get());

    OwnedPen grid(::CreatePen(PS_SOLID, 1, kGridColour));
    SelectObjectScope pen(dc, grid.Get());
    ::MoveToEx(dc, 0, 0, nullptr);
    ::LineTo(dc, 0, height);
    ::MoveToEx(dc, 0, height - 1, nullptr);
    ::LineTo(dc, width, height - 1);

    SelectObjectScope font(dc, TkFontPool::Instance().GetFont(256));
    ::SetBkMode(dc, TRANSPARENT);
    const bool deleted = RowIsDeleted(row);
    ::SetTextColor(dc, deleted ? kDeletedTextColour : ::GetTextColor(item.hDC));

    const bool checked = RowChecked(row);
    const int boxWidth = checkBoxes_.FrameWidth();
    const int boxHeight = checkBoxes_.Height();
    const int columns = ColumnCount();
    int x = 0;
    for (int column = 0; column < columns; ++column) {
        const int cellWidth = static_cast<int>(::SendMessageW(Hwnd(), LVM_GETCOLUMNWIDTH, column, 0));
        RECT text {x, 0, x + cellWidth, height};
        if (column == 0) {
            const int top = (height - boxHeight) / 2;
            checkBoxes_.Draw(dc, 5, top, checked ? 2 : 0,
                             checked ? CheckBoxStrip::Look::Checked : CheckBoxStrip::Look::Unchecked);
            text.left = x + boxWidth + 10;
            const SkinImage* marker = mode_ == ListMode::Files ? &fileMarker_ : deleted ? &deletedMarker_ : nullptr;
            if (marker != nullptr && marker->Ok()) {
                Gdiplus::Graphics graphics(dc);
                marker->Draw(graphics, boxWidth + 10, top);
                text.left += marker->Width() + 5;
            }
        } else {
            ::MoveToEx(dc, x, 0, nullptr);
            ::LineTo(dc, x, height);
        }
        const std::wstring cell = CellText(row, column);
        ::DrawTextW(dc, cell.c_str(), static_cast<int>(cell.size()), &text,
                    DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        x += cellWidth;
    }
    canvas.CopyTo(item.hDC, place.left, place.top);
}

// ------------------------------------------------------------ checks

RECT CListViewCheck1::CheckBoxRect(int row) const {
    RECT bounds {};
    bounds.left = LVIR_BOUNDS;
    if (!::SendMessageW(Hwnd(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds))) return RECT {};
    // Across, the row starts where its last paint put it.
    const int top = bounds.top + ((bounds.bottom - bounds.top) - checkBoxes_.Height()) / 2;
    return RECT {originX_ + 5, top, originX_ + 5 + checkBoxes_.FrameWidth(), top + checkBoxes_.Height()};
}

bool CListViewCheck1::OnLeftButtonDown(LPARAM lParam) {
    LVHITTESTINFO hit {};
    hit.pt = POINT {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    const int row = static_cast<int>(::SendMessageW(Hwnd(), LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0) return false;
    const RECT box = CheckBoxRect(row);
    if (!::PtInRect(&box, hit.pt)) return false;
    ToggleRow(row);
    return true;
}

void CListViewCheck1::ToggleRow(int row) {
    const bool checked = !RowChecked(row);
    SetRowCheck(row, checked);
    UpdateHeaderBox();
    ::SendMessageW(::GetParent(Hwnd()), WMU_LIST_ITEM_CHECKED, static_cast<WPARAM>(row), checked ? 1 : 0);
}

void CListViewCheck1::UpdateHeaderBox() {
    const int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        if (!RowChecked(row)) {
            header_.SetCheckAll(false);
            return;
        }
    }
    header_.SetCheckAll(true);
}

void CListViewCheck1::CheckAllRows(bool checked) {
    const int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        SetRowCheck(row, checked);
        ::SendMessageW(::GetParent(Hwnd()), WMU_LIST_ITEM_CHECKED, static_cast<WPARAM>(row), checked ? 1 : 0);
    }
}

// The native list ticks a row by itself on a click on its own state icon or
// on the space key; such a change would bypass the parent's records, so only
// the list's own changes go through.
bool CListViewCheck1::RefuseForeignCheckChange(const NMLISTVIEW& change) const {
    return ownChecks_ == 0 && (change.uChanged & LVIF_STATE) != 0 &&
           ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) != 0;
}

// ------------------------------------------------------------ sorting and paging

void CListViewCheck1::SortByColumn(int column) {
    const bool ascending = header_.SortColumn() == column ? !header_.SortAscending() : true;
    header_.SetSort(column, ascending);
    SortTexts sort;
    sort.ascending = ascending;
    const int rows = RowCount();
    for (int row = 0; row < rows; ++row) {
        sort.texts[reinterpret_cast<LPARAM>(RowRecord(row))] = CellText(row, column);
    }
    ::SendMessageW(Hwnd(), LVM_SORTITEMS, reinterpret_cast<WPARAM>(&sort), reinterpret_cast<LPARAM>(CompareRows));
}

bool CListViewCheck1::AtBottom() const {
    SCROLLINFO info {};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    // Without a scroll bar every row is in view.
    if (!::GetScrollInfo(Hwnd(), SB_VERT, &info)) return true;
    return info.nPos + static_cast<int>(info.nPage) >= info.nMax;
}

LRESULT CListViewCheck1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kReflectedDrawItem:
        if (lParam != 0) DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case kReflectedMeasureItem:
        if (lParam != 0) reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(rowHeight_);
        return TRUE;
    case kReflectedNotify: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr) return 0;
        if (header->code == LVN_COLUMNCLICK) {
            SortByColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
            return 0;
        }
        if (header->code == LVN_ITEMCHANGING) {
            return RefuseForeignCheckChange(*reinterpret_cast<const NMLISTVIEW*>(lParam)) ? TRUE : FALSE;
        }
        return 0;
    }
    case WMU_LIST_CHECK_ALL:
        CheckAllRows(wParam == 1);
        return 0;
    case WM_LBUTTONDOWN:
        if (OnLeftButtonDown(lParam)) return 0;
        break;
    case WM_VSCROLL:
        if (LOWORD(wParam) == SB_ENDSCROLL && AtBottom()) AppendNextBlock();
        break;
    case WM_MOUSEWHEEL:
        if (AtBottom()) AppendNextBlock();
        break;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            const int focused =
                static_cast<int>(::SendMessageW(Hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
            if (focused >= 0) ToggleRow(focused);
            return 0;
        }
        if (wParam == VK_END || wParam == VK_NEXT || wParam == VK_DOWN) {
            // Keys that reach the last row page on like the scroll bar does.
            const LRESULT result = DefaultProc(message, wParam, lParam);
            const int focused =
                static_cast<int>(::SendMessageW(Hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
            if (focused >= 0 && focused == RowCount() - 1) AppendNextBlock();
            return result;
        }
        break;
    case WM_CHAR:
        if (wParam == L' ') return 0;
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

}  // namespace qb::ui
