// What the data screen shows: the tree's fixed categories and their counts,
// what a category puts into the list and the detail panel, and how the
// ticks of tree, list and header reach the records' selected flags, which
// the recover job reads.
#include "app/main_dlg.h"

#include <commctrl.h>

#include <cstdio>

#include "app/resource_ids.h"
#include "platform/window_notifier.h"

namespace qb::app {
namespace {

constexpr RECT kTreePlace {1, 32, 1 + 221, 32 + 597};
constexpr RECT kListPlace {225, 119, 225 + 517, 119 + 508};
constexpr RECT kPanelPlace {743, 120, 743 + 240, 120 + 507};
constexpr int kTreeItemHeight = 25;
constexpr int kListRowHeight = 30;

std::wstring Counted(const wchar_t* name, std::size_t count) {
    wchar_t text[64];
    std::swprintf(text, 64, L"%ls (%d)", name, static_cast<int>(count));
    return text;
}

// Every entry of a group, including those the scan adds while it is walked.
template <typename Visit>
void ForEachEntry(const ScanNode& group, Visit visit) {
    for (ScanFileEntry* entry = group.firstEntry.load(std::memory_order_acquire); entry != nullptr;
         entry = entry->next.load(std::memory_order_acquire)) {
        visit(*entry);
    }
}

}  // namespace

void CMainDlg::CreateDataControls() {
    rootIcon_.Load(ui::ImagePath(L"treeroot.png"));
    contactsIcon_.Load(ui::ImagePath(L"contacts.png"));
    messageIcon_.Load(ui::ImagePath(L"message.png"));
    diskIcon_.Load(ui::ImagePath(L"disk.png"));
    folderIcon_.Load(ui::ImagePath(L"folder.png"));
    tree_.SetItemHeight(kTreeItemHeight);
    tree_.Create(Hwnd(), IDC_CATEGORY_TREE, kTreePlace);
    list_.SetRowHeight(kListRowHeight);
    list_.Create(Hwnd(), IDC_RESULT_LIST, kListPlace);
    contactPanel_.Create(Hwnd(), kPanelPlace);
    messagePanel_.Create(Hwnd(), kPanelPlace);
    preview_.Create(Hwnd(), kPanelPlace);
}

void CMainDlg::BuildFixedTree() {
    tree_.DeleteAllNodes();
    currentCategory_ = nullptr;
    rootItem_ = tree_.InsertNode(TVI_ROOT, kRootCategory, L"android phone", &rootIcon_, true);
    contactsItem_ = tree_.InsertNode(rootItem_, kContactsCategory, L"Contacts", &contactsIcon_, false);
    messagesItem_ = tree_.InsertNode(rootItem_, kMessagesCategory, L"Message", &messageIcon_, false);
    // Everything found starts ticked, and so do its categories.
    for (HTREEITEM item : {rootItem_, contactsItem_, messagesItem_}) tree_.SetCheck(item, true);
    ::SendMessageW(tree_.Hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(rootItem_));
}

void CMainDlg::ShowCounts() {
    if (!contacts_.empty()) tree_.SetText(contactsItem_, Counted(L"Contacts", contacts_.size()));
    if (!threads_.empty()) tree_.SetText(messagesItem_, Counted(L"Message", threads_.size()));
    ::SendMessageW(tree_.Hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(rootItem_));
    ::SendMessageW(tree_.Hwnd(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(contactsItem_));
}

void CMainDlg::ShowPanel(HWND panel) {
    for (HWND each : {contactPanel_.Hwnd(), messagePanel_.Hwnd(), preview_.Hwnd()}) {
        ::ShowWindow(each, each == panel ? SW_SHOW : SW_HIDE);
    }
}

void CMainDlg::OnTreeSelection() {
    HTREEITEM item = TreeView_GetSelection(tree_.Hwnd());
    const ui::TreeNodeData* data = tree_.NodeData(item);
    if (item == nullptr || data == nullptr || data->enabled == 0) return;
    const bool hasChildren = TreeView_GetChild(tree_.Hwnd(), item) != nullptr;
    if (hasChildren || data->kind == kRootCategory || data->kind == kDiskCategory) return;  // the list keeps its rows
    currentCategory_ = item;
    list_.Header().SetCheckAll(tree_.Checked(item));
    list_.Clear();

    switch (data->kind) {
    case kContactsCategory:
        list_.ShowContacts(lists_.contacts);
        list_.SelectFirstRow();
        ::ShowWindow(list_.Hwnd(), SW_SHOW);
        ShowPanel(contactPanel_.Hwnd());
        ::SendMessageW(contactPanel_.Hwnd(), ui::WMU_SHOW_CONTACT, 0,
                       reinterpret_cast<LPARAM>(list_.RowCount() > 0 ? list_.RowRecord(0) : nullptr));
        break;
    case kMessagesCategory:
        list_.ShowConversations(lists_.threads);
        list_.SelectFirstRow();
        ::SendMessageW(messagePanel_.Hwnd(), ui::WMU_SHOW_MESSAGE, 0,
                       reinterpret_cast<LPARAM>(list_.RowCount() > 0 ? list_.RowRecord(0) : nullptr));
        ::ShowWindow(list_.Hwnd(), SW_SHOW);
        ShowPanel(messagePanel_.Hwnd());
        break;
    case kGroupCategory: {
        const auto* group = static_cast<const ScanNode*>(data->payload);
        list_.ShowFiles(group != nullptr ? group->firstEntry.load(std::memory_order_acquire) : nullptr);
        list_.SelectFirstRow();
        ::ShowWindow(list_.Hwnd(), SW_SHOW);
        ShowPanel(preview_.Hwnd());
        ::RedrawWindow(preview_.Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        break;
    }
    default:
        break;
    }
}

void CMainDlg::OnTreeItemChecked(HTREEITEM item, bool checked) {
    if (item == currentCategory_ && item != nullptr) {
        list_.Header().SetCheckAll(checked);
        for (int row = 0; row < list_.RowCount(); ++row) list_.SetRowCheck(row, checked);
    }
    const ui::TreeNodeData* data = tree_.NodeData(item);
    if (data == nullptr) return;
    const std::uint8_t flag = checked ? 1 : 0;
    switch (data->kind) {
    case kContactsCategory:
        for (auto& [key, contact] : contacts_) contact.selected = flag;
        break;
    case kMessagesCategory:
        for (auto& [key, thread] : threads_) thread.selected = flag;
        break;
    case kDiskCategory:
        if (auto* disk = static_cast<ScanNode*>(data->payload)) disk->selected.store(flag);
        break;
    case kGroupCategory:
        if (auto* group = static_cast<ScanNode*>(data->payload)) {
            group->selected.store(flag);
            ForEachEntry(*group, [flag](ScanFileEntry& entry) { entry.selected.store(flag); });
        }
        break;
    default:
        break;  // the root: its children tell their own changes
    }
}

void CMainDlg::OnListItemChecked(int row, bool checked) {
    const ui::TreeNodeData* data = tree_.NodeData(currentCategory_);
    if (data == nullptr) return;
    // The rows borrow this window's records, which it may change.
    void* record = const_cast<void*>(list_.RowRecord(row));
    if (record == nullptr) return;
    const std::uint8_t flag = checked ? 1 : 0;
    switch (data->kind) {
    case kContactsCategory:
        static_cast<dbrecover::ContactItem*>(record)->selected = flag;
        break;
    case kMessagesCategory:
        static_cast<dbrecover::MsgThread*>(record)->selected = flag;
        break;
    case kGroupCategory:
        static_cast<ScanFileEntry*>(record)->selected.store(flag);
        break;
    default:
        return;
    }
    const bool all = list_.Header().CheckAll();
    tree_.SetCheck(currentCategory_, all);
    tree_.UpdateAncestors(currentCategory_, all);
}

void CMainDlg::OnListClick() {
    const int row = list_.SelectedRow();
    const ui::TreeNodeData* data = tree_.NodeData(currentCategory_);
    if (row < 0 || data == nullptr) return;
    const void* record = list_.RowRecord(row);
    switch (data->kind) {
    case kContactsCategory:
        ::SendMessageW(contactPanel_.Hwnd(), ui::WMU_SHOW_CONTACT, 0, reinterpret_cast<LPARAM>(record));
        break;
    case kMessagesCategory:
        ::SendMessageW(messagePanel_.Hwnd(), ui::WMU_SHOW_MESSAGE, 0, reinterpret_cast<LPARAM>(record));
        break;
    case kGroupCategory:
        if (const auto* entry = static_cast<const ScanFileEntry*>(record)) {
            std::string target = PreviewTargetPath(paths_.pictureFolder, *entry);
            preview_.SetRequestedPath(target);
            domain_->Previews().QueuePreview(*entry, std::move(target), platform::MakeWindowNotifier(Hwnd()));
        }
        break;
    default:
        break;
    }
}

void CMainDlg::ClearResults() {
    list_.Clear();
    messagePanel_.DestroyItems();
    contactPanel_.ClearContact();
    lists_ = {};
    contacts_.clear();
    threads_.clear();
}

}  // namespace qb::app
