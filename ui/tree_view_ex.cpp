#include "ui/tree_view_ex.h"

#include <algorithm>
#include <cstring>

#include "ui/font_pool.h"
#include "ui/ui_helpers.h"

namespace qb::ui {
namespace {

constexpr int kTextLimit = 260;
// Deeper trees are not built by the window; the bound keeps a walk up the
// ancestors finite whatever the native tree reports.
constexpr int kMaxDepth = 64;
// The expander without its bitmaps: a plain box with a plus or a minus.
constexpr int kPlainExpander = 9;
constexpr UINT kStateUnchecked = INDEXTOSTATEIMAGEMASK(1);
constexpr UINT kStateChecked = INDEXTOSTATEIMAGEMASK(2);

int CentredTop(const RECT& row, int height) { return row.top + ((row.bottom - row.top) - height) / 2; }

}  // namespace

CTreeViewEx1::CTreeViewEx1() = default;

CTreeViewEx1::~CTreeViewEx1() {
    // The nodes' item data point into nodeData_: the native tree must not
    // outlive it with them.
    if (Hwnd() != nullptr) ::SendMessageW(Hwnd(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
}

bool CTreeViewEx1::Create(HWND parent, int id, const RECT& place) {
    HWND tree = ::CreateWindowExW(0, WC_TREEVIEWW, L"",
                                  WS_CHILD | WS_TABSTOP | TVS_SHOWSELALWAYS | TVS_FULLROWSELECT | TVS_NOTOOLTIPS |
                                      TVS_DISABLEDRAGDROP,
                                  place.left, place.top, place.right - place.left, place.bottom - place.top, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                  nullptr);
    return tree != nullptr && Attach(tree);
}

bool CTreeViewEx1::Attach(HWND tree) {
    if (!Subclass(tree)) return false;
    opened_ = LoadSkinBitmap(L"tree_opened.bmp");
    closed_ = LoadSkinBitmap(L"tree_closed.bmp");
    checkBoxes_.Load(L"checkboxes.png");
    ::SendMessageW(tree, TVM_SETITEMHEIGHT, static_cast<WPARAM>(itemHeight_), 0);
    return true;
}

// ------------------------------------------------------------ nodes

HTREEITEM CTreeViewEx1::InsertNode(HTREEITEM parent, int kind, const std::wstring& text, const SkinImage* icon,
                                   bool hasChildren) {
    if (Hwnd() == nullptr) return nullptr;
    auto data = std::make_unique<TreeNodeData>();
    data->kind = kind;
    data->icon = icon;
    TVINSERTSTRUCTW insert {};
    insert.hParent = parent != nullptr ? parent : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.lParam = reinterpret_cast<LPARAM>(data.get());
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    insert.item.state = kStateUnchecked;
    insert.item.cChildren = hasChildren ? 1 : 0;
    auto* node = reinterpret_cast<HTREEITEM>(
        ::SendMessageW(Hwnd(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
    if (node != nullptr) nodeData_.push_back(std::move(data));
    return node;
}

TreeNodeData* CTreeViewEx1::NodeData(HTREEITEM node) const {
    if (node == nullptr || Hwnd() == nullptr) return nullptr;
    TVITEMW item {};
    item.mask = TVIF_PARAM | TVIF_HANDLE;
    item.hItem = node;
    if (!::SendMessageW(Hwnd(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<TreeNodeData*>(item.lParam);
}

void CTreeViewEx1::SetPayload(HTREEITEM node, void* payload, const std::wstring* text) {
    if (TreeNodeData* data = NodeData(node)) {
        data->enabled = 1;
        data->payload = payload;
    }
    if (text != nullptr) SetText(node, *text);
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void CTreeViewEx1::SetEnabled(HTREEITEM node, bool enabled) {
    if (TreeNodeData* data = NodeData(node)) data->enabled = enabled ? 1 : 0;
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

std::wstring CTreeViewEx1::Text(HTREEITEM node) const {
    wchar_t text[kTextLimit + 1] = {};
    TVITEMW item {};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node;
    item.pszText = text;
    item.cchTextMax = kTextLimit + 1;
    ::SendMessageW(Hwnd(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

void CTreeViewEx1::SetText(HTREEITEM node, const std::wstring& text) {
    TVITEMW item {};
    item.mask = TVIF_TEXT | TVIF_HANDLE;
    item.hItem = node;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(Hwnd(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void CTreeViewEx1::DeleteAllNodes() {
    if (Hwnd() != nullptr) ::SendMessageW(Hwnd(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    nodeData_.clear();
}

// ------------------------------------------------------------ checks

void CTreeViewEx1::SetCheck(HTREEITEM node, bool checked) {
    TVITEMW item {};
    item.mask = TVIF_STATE | TVIF_HANDLE;
    item.hItem = node;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.state = checked ? kStateChecked : kStateUnchecked;
    ::SendMessageW(Hwnd(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

bool CTreeViewEx1::Checked(HTREEITEM node) const {
    const UINT state = static_cast<UINT>(
        ::SendMessageW(Hwnd(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(node), TVIS_STATEIMAGEMASK));
    return (state & TVIS_STATEIMAGEMASK) != kStateUnchecked;
}

void CTreeViewEx1::Notify(HTREEITEM node, bool checked) {
    ::SendMessageW(::GetParent(Hwnd()), WMU_TREE_ITEM_CHECKED, reinterpret_cast<WPARAM>(node), checked ? 1 : 0);
}

void CTreeViewEx1::SetSubtreeCheck(HTREEITEM node, bool checked) {
    // Depth first in display order, without recursion: the node, then each
    // child's subtree in turn.
    std::vector<HTREEITEM> pending {node};
    while (!pending.empty()) {
        HTREEITEM current = pending.back();
        pending.pop_back();
        SetCheck(current, checked);
        Notify(current, checked);
        std::vector<HTREEITEM> children;
        for (auto* child = TreeView_GetChild(Hwnd(), current); child != nullptr;
             child = TreeView_GetNextSibling(Hwnd(), child)) {
            children.push_back(child);
        }
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
}

void CTreeViewEx1::UpdateAncestors(HTREEITEM node, bool checked) {
    HTREEITEM current = node;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        HTREEITEM parent = TreeView_GetParent(Hwnd(), current);
        if (parent == nullptr) return;
        if (checked) {
            for (auto* child = TreeView_GetChild(Hwnd(), parent); child != nullptr;
                 child = TreeView_GetNextSibling(Hwnd(), child)) {
                if (!Checked(child)) return;
            }
        }
        SetCheck(parent, checked);
        Notify(parent, checked);
        current = parent;
    }
}

void CTreeViewEx1::Toggle(HTREEITEM node) {
    const bool checked = !Checked(node);
    SetSubtreeCheck(node, checked);
    UpdateAncestors(node, checked);
}

// ------------------------------------------------------------ geometry

bool CTreeViewEx1::HasChildren(HTREEITEM node) const {
    TVITEMW item {};
    item.mask = TVIF_CHILDREN | TVIF_HANDLE;
    item.hItem = node;
    if (::SendMessageW(Hwnd(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.cChildren != 0) return true;
    return TreeView_GetChild(Hwnd(), node) != nullptr;
}

RECT CTreeViewEx1::RowRect(HTREEITEM node) const {
    // The request names the node in the rectangle's first bytes.
    RECT row {};
    static_assert(sizeof row >= sizeof node);
    std::memcpy(&row, &node, sizeof node);
    if (!::SendMessageW(Hwnd(), TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&row))) return RECT {};
    return row;
}

int CTreeViewEx1::OriginX() const {
    SCROLLINFO info {};
    info.cbSize = sizeof info;
    info.fMask = SIF_POS;
    return ::GetScrollInfo(Hwnd(), SB_HORZ, &info) ? -info.nPos : 0;
}

int CTreeViewEx1::ExpanderWidth() const {
    const SIZE size = BitmapSize(closed_.Get());
    return closed_ ? static_cast<int>(size.cx) : kPlainExpander;
}

CTreeViewEx1::Geometry CTreeViewEx1::GeometryOf(HTREEITEM node) const {
    // The node's line of boxes comes from its ancestors' icons: walk up to
    // the root, then lay the nodes out downwards.
    std::vector<HTREEITEM> chain {node};
    for (HTREEITEM up = TreeView_GetParent(Hwnd(), node); up != nullptr && chain.size() < kMaxDepth;
         up = TreeView_GetParent(Hwnd(), up)) {
        chain.push_back(up);
    }
    const int expander = ExpanderWidth();
    const int box = checkBoxes_.FrameWidth();
    Geometry geometry;
    int line = OriginX() + 5;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const bool isRoot = it == chain.rbegin();
        geometry = Geometry {};
        geometry.startX = line;
        geometry.hasChildren = HasChildren(*it);
        if (geometry.hasChildren) {
            const int x = isRoot ? line : line - (expander + 5);
            geometry.expanderX = x;
            geometry.boxX = x + expander + 5;
            geometry.iconX = x + expander + box + 10;
        } else {
            geometry.boxX = line;
            geometry.iconX = line + box + 5;
        }
        line = geometry.iconX;
    }
    return geometry;
}

RECT CTreeViewEx1::CheckBoxRect(HTREEITEM node) const {
    const RECT row = RowRect(node);
    const Geometry geometry = GeometryOf(node);
    const int top = CentredTop(row, checkBoxes_.Height());
    const int left = geometry.iconX - checkBoxes_.FrameWidth() - 5;
    return RECT {left, top, left + checkBoxes_.FrameWidth(), top + checkBoxes_.Height()};
}

RECT CTreeViewEx1::ExpanderRect(HTREEITEM node) const {
    const Geometry geometry = GeometryOf(node);
    if (!geometry.hasChildren) return RECT {};
    const RECT row = RowRect(node);
    const SIZE size = BitmapSize(closed_.Get());
    const int height = closed_ ? static_cast<int>(size.cy) : kPlainExpander;
    const int top = CentredTop(row, height);
    return RECT {geometry.expanderX, top, geometry.expanderX + ExpanderWidth(), top + height};
}

// ------------------------------------------------------------ painting

void CTreeViewEx1::DrawExpander(HDC dc, HTREEITEM node, int x, const RECT& row) const {
    const bool expanded = (TreeView_GetItemState(Hwnd(), node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
    HBITMAP picture = expanded ? opened_.Get() : closed_.Get();
    if (picture != nullptr) {
        const SIZE size = BitmapSize(picture);
        HDC source = ::CreateCompatibleDC(dc);
        {
            SelectObjectScope select(source, picture);
            ::BitBlt(dc, x, CentredTop(row, size.cy), size.cx, size.cy, source, 0, 0, SRCCOPY);
        }
        ::DeleteDC(source);
        return;
    }
    const int top = CentredTop(row, kPlainExpander);
    OwnedPen pen(::CreatePen(PS_SOLID, 1, RGB(120, 120, 120)));
    SelectObjectScope selectPen(dc, pen.Get());
    SelectObjectScope selectBrush(dc, ::GetStockObject(WHITE_BRUSH));
    ::Rectangle(dc, x, top, x + kPlainExpander, top + kPlainExpander);
    const int middle = top + kPlainExpander / 2;
    ::MoveToEx(dc, x + 2, middle, nullptr);
    ::LineTo(dc, x + kPlainExpander - 2, middle);
    if (!expanded) {
        ::MoveToEx(dc, x + kPlainExpander / 2, top + 2, nullptr);
        ::LineTo(dc, x + kPlainExpander / 2, top + kPlainExpander - 2);
    }
}

void CTreeViewEx1::DrawNode(HDC dc, HTREEITEM node, const RECT& row, int contentRight) {
    TreeNodeData* data = NodeData(node);
    const bool enabled = data == nullptr || data->enabled != 0;
    const SkinImage* icon = data != nullptr ? data->icon : nullptr;
    const int iconWidth = icon != nullptr ? icon->Width() : 0;
    const Geometry geometry = GeometryOf(node);
    const bool checked = Checked(node);
    const CheckBoxStrip::Look look = checked ? CheckBoxStrip::Look::Checked : CheckBoxStrip::Look::Unchecked;
    const int boxTop = CentredTop(row, checkBoxes_.Height());
    const int textLeft = geometry.iconX + iconWidth + 5;

    std::uint16_t fontKey = 256;
    int textHeight = 15;
    COLORREF textColour = RGB(0, 0, 0);
    if (geometry.hasChildren) {
        DrawExpander(dc, node, geometry.expanderX, row);
        checkBoxes_.Draw(dc, geometry.boxX, boxTop, checked ? 3 : 0, look);
        fontKey = 260;
        textHeight = 16;
    } else if (enabled) {
        checkBoxes_.Draw(dc, geometry.boxX, boxTop, checked ? 3 : 0, look);
        const bool selected = (TreeView_GetItemState(Hwnd(), node, TVIS_SELECTED) & TVIS_SELECTED) != 0;
        const bool showSelection =
            ::GetFocus() == Hwnd() || (::GetWindowLongPtrW(Hwnd(), GWL_STYLE) & TVS_SHOWSELALWAYS) != 0;
        if (selected && showSelection) {
            const RECT highlight {textLeft, row.top, contentRight, row.bottom};
            gradient_fillrect(dc, &highlight, RGB(168, 229, 246), RGB(241, 247, 249), 0);
            textColour = kSelectedTextColour;
        }
    } else {
        checkBoxes_.Draw(dc, geometry.boxX, boxTop, 4, CheckBoxStrip::Look::Disabled);
        textColour = kDisabledTextColour;
    }
    if (data != nullptr) data->iconX = geometry.iconX;
    if (icon != nullptr && icon->Ok()) {
        Gdiplus::Graphics graphics(dc);
        icon->Draw(graphics, geometry.iconX, CentredTop(row, icon->Height()));
    }

    const std::wstring text = Text(node);
    const int textTop = row.top + ((row.bottom - row.top) - 15) / 2;
    RECT place {textLeft, textTop, row.right, textTop + textHeight};
    SelectObjectScope font(dc, TkFontPool::Instance().GetFont(fontKey));
    ::SetTextColor(dc, textColour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &place,
                DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void CTreeViewEx1::Paint() {
    PaintOffscreen(Hwnd(), [this](HDC out, const RECT& client) {
        ::FillRect(out, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::SetBkMode(out, TRANSPARENT);
        SCROLLINFO info {};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE;
        const int scrollWidth = ::GetScrollInfo(Hwnd(), SB_HORZ, &info) ? info.nMax + 1 : 0;
        const int contentRight = std::max<int>(client.right, scrollWidth) + OriginX();
        const int visible = static_cast<int>(::SendMessageW(Hwnd(), TVM_GETVISIBLECOUNT, 0, 0)) + 2;
        int drawn = 0;
        for (HTREEITEM node = TreeView_GetFirstVisible(Hwnd()); node != nullptr && drawn < visible;
             node = TreeView_GetNextVisible(Hwnd(), node), ++drawn) {
            const RECT row = RowRect(node);
            if (row.top >= client.bottom) break;
            DrawNode(out, node, row, contentRight);
        }
    });
}

// ------------------------------------------------------------ input

bool CTreeViewEx1::OnLeftButtonDown(LPARAM lParam) {
    TVHITTESTINFO hit {};
    hit.pt = POINT {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    auto* node = reinterpret_cast<HTREEITEM>(::SendMessageW(Hwnd(), TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (node == nullptr) return false;
    const TreeNodeData* data = NodeData(node);
    if (data != nullptr && data->enabled == 0) return true;  // a greyed row takes no click
    const RECT expander = ExpanderRect(node);
    if (::PtInRect(&expander, hit.pt)) {
        ::SendMessageW(Hwnd(), TVM_EXPAND, TVE_TOGGLE, reinterpret_cast<LPARAM>(node));
        return true;
    }
    const RECT box = CheckBoxRect(node);
    if (!::PtInRect(&box, hit.pt)) return false;
    Toggle(node);
    return true;
}

LRESULT CTreeViewEx1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_LBUTTONDOWN:
        if (OnLeftButtonDown(lParam)) return 0;
        break;
    case WM_LBUTTONDBLCLK:
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            HTREEITEM selected = TreeView_GetSelection(Hwnd());
            const TreeNodeData* data = NodeData(selected);
            if (selected != nullptr && (data == nullptr || data->enabled != 0)) Toggle(selected);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L' ') return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

}  // namespace qb::ui
