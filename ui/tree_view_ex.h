// CTreeViewEx1: the category tree of the data screen. A subclassed native
// tree view whose painting is its own: every node has a check box (its
// native state image: 1 unchecked, 2 checked) drawn from "checkboxes.png",
// nodes with children an expander ("tree_opened.bmp" / "tree_closed.bmp"),
// and every node its owner's icon and text. Ticking a node ticks its whole
// subtree and brings its ancestors' boxes in line; each box set that way is
// sent to the parent as WMU_TREE_ITEM_CHECKED.
//
// Layout of one row (A = check box width, E = expander width): the boxes of
// a node's children line up under the node's icon; a child that has
// children of its own hangs its expander to the left of that line.
//
//   node without children   [box] [icon] text          box at the line
//   node with children    [+] [box] [icon] text        box at the line
//                                                      (a root: line at 5 + E + 5)
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/check_box_strip.h"
#include "ui/control_base.h"
#include "ui/gdi_objects.h"
#include "ui/skin_image.h"

namespace qb::ui {

// Sent to the tree's parent: wParam the node (HTREEITEM), lParam 1 when its
// box is now ticked, 0 when not.
constexpr UINT WMU_TREE_ITEM_CHECKED = 1130;  // WM_USER + 106

// The owner's data of one node, held in the node's item data.
struct TreeNodeData {
    int kind = 0;                     // the owner's category kind
    int enabled = 1;                  // 0: greyed, its box cannot be ticked
    const SkinImage* icon = nullptr;  // not owned
    int iconX = 0;                    // where the icon was drawn last
    void* payload = nullptr;          // not owned
};

class CTreeViewEx1 final : public CControlBase {
public:
    static constexpr COLORREF kSelectedTextColour = RGB(0, 0, 200);
    static constexpr COLORREF kDisabledTextColour = RGB(200, 200, 200);

    CTreeViewEx1();
    ~CTreeViewEx1() override;

    // The item height the tree gets when attached (the main window sets 25).
    void SetItemHeight(int height) { itemHeight_ = height; }

    // Creates the native tree as a hidden child of parent and attaches to it.
    bool Create(HWND parent, int id, const RECT& place);
    bool Attach(HWND tree);

    // A new last child of parent (TVI_ROOT for a root) with the owner's kind,
    // text and icon, enabled, unticked.
    HTREEITEM InsertNode(HTREEITEM parent, int kind, const std::wstring& text, const SkinImage* icon,
                         bool hasChildren);
    // Enables the node and sets its payload, and its text when one is given.
    void SetPayload(HTREEITEM node, void* payload, const std::wstring* text = nullptr);
    void SetEnabled(HTREEITEM node, bool enabled);
    TreeNodeData* NodeData(HTREEITEM node) const;
    std::wstring Text(HTREEITEM node) const;
    void SetText(HTREEITEM node, const std::wstring& text);

    void SetCheck(HTREEITEM node, bool checked);
    bool Checked(HTREEITEM node) const;
    // Sets the node and every node below it, telling the parent of each.
    void SetSubtreeCheck(HTREEITEM node, bool checked);
    // Brings the ancestors' boxes in line after the node changed to checked:
    // unticked, every ancestor is unticked; ticked, each ancestor whose
    // children are all ticked becomes ticked. Each change is told.
    void UpdateAncestors(HTREEITEM node, bool checked);

    // Deletes every node and frees the node data.
    void DeleteAllNodes();

    // Where the node's box and expander are now, in client coordinates
    // (empty for a node without children's expander).
    RECT CheckBoxRect(HTREEITEM node) const;
    RECT ExpanderRect(HTREEITEM node) const;

private:
    struct Geometry {
        int startX = 0;
        int expanderX = 0;
        int boxX = 0;
        int iconX = 0;
        bool hasChildren = false;
    };

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint();
    void DrawNode(HDC dc, HTREEITEM node, const RECT& row, int contentRight);
    bool OnLeftButtonDown(LPARAM lParam);
    void Toggle(HTREEITEM node);
    Geometry GeometryOf(HTREEITEM node) const;
    bool HasChildren(HTREEITEM node) const;
    RECT RowRect(HTREEITEM node) const;
    int OriginX() const;
    int ExpanderWidth() const;
    void DrawExpander(HDC dc, HTREEITEM node, int x, const RECT& row) const;
    void Notify(HTREEITEM node, bool checked);

    int itemHeight_ = 25;
    OwnedBitmap opened_;
    OwnedBitmap closed_;
    CheckBoxStrip checkBoxes_ {5};
    std::vector<std::unique_ptr<TreeNodeData>> nodeData_;
};

}  // namespace qb::ui
