// The scan as the window shows it: each removable disk under the phone's
// root, the type groups under their disk as they are found and their file
// counts when the disk is done, the progress per disk, and the Pause,
// Resume and Stop buttons of the toolbar.
#include "app/main_dlg.h"

#include <commctrl.h>

#include <cstdio>

#include "ui/wide_text.h"

namespace qb::app {

const wchar_t kNoRemovableDisk[] = L"No removable disk was found.";

void CMainDlg::OnDisksReady() {
    const int added = AddDisksAndScan(*scan_, [this](ScanNode& disk) {
        HTREEITEM item = tree_.InsertNode(rootItem_, kDiskCategory, ui::Wide(disk.name), &diskIcon_, true);
        tree_.SetPayload(item, &disk);
        tree_.SetCheck(item, disk.selected.load() != 0);
        return reinterpret_cast<std::uintptr_t>(item);
    });
    if (added == 0 && screen_ == MainScreen::DataScreen) {
        // Nothing to scan: say so where the scan's progress would be.
        ::ShowWindow(progress_, SW_HIDE);
        ::ShowWindow(notice_, SW_SHOW);
    }
}

void CMainDlg::HandleScanEvent(std::unique_ptr<ScanEvent> event) {
    // An event of a scan released since it was posted names freed nodes.
    if (event == nullptr || !scan_ || !IsCurrentScanEvent(*scan_, *event)) return;
    auto* disk = reinterpret_cast<HTREEITEM>(event->item);
    switch (event->type) {
    case ScanProgressEvent:
        ::SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(event->value), 0);
        break;
    case ScanNewGroupEvent: {
        if (event->node == nullptr || disk == nullptr) break;
        const bool first = TreeView_GetChild(tree_.Hwnd(), disk) == nullptr;
        HTREEITEM item = tree_.InsertNode(disk, kGroupCategory, ui::Wide(event->node->name), &folderIcon_, false);
        tree_.SetPayload(item, event->node);
        tree_.SetCheck(item, event->node->selected.load() != 0);
        // The disk opens with its first group, so that found files show.
        if (first) ::SendMessageW(tree_.Hwnd(), TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(disk));
        break;
    }
    case ScanDiskDoneEvent:
        for (HTREEITEM group = TreeView_GetChild(tree_.Hwnd(), disk); group != nullptr;
             group = TreeView_GetNextSibling(tree_.Hwnd(), group)) {
            const ui::TreeNodeData* data = tree_.NodeData(group);
            const auto* node = data != nullptr ? static_cast<const ScanNode*>(data->payload) : nullptr;
            if (node == nullptr) continue;
            wchar_t text[300];
            std::swprintf(text, 300, L"%ls (%d)", tree_.Text(group).c_str(),
                          static_cast<int>(node->fileCount.load(std::memory_order_acquire)));
            tree_.SetText(group, text);
        }
        break;
    case ScanAllDoneEvent:
        ShowScanButtons(false);
        for (ui::CImgButton* button : {&pauseButton_, &stopButton_}) {
            button->SetEnabled(false);
            ::EnableWindow(button->Hwnd(), FALSE);
        }
        ::SendMessageW(progress_, PBM_SETPOS, 100, 0);
        break;
    default:
        break;
    }
}

void CMainDlg::ShowScanButtons(bool paused) {
    ::ShowWindow(pauseButton_.Hwnd(), paused ? SW_HIDE : SW_SHOW);
    ::ShowWindow(toolbarLabels_[2], paused ? SW_HIDE : SW_SHOW);
    ::ShowWindow(resumeButton_.Hwnd(), paused ? SW_SHOW : SW_HIDE);
    ::ShowWindow(toolbarLabels_[3], paused ? SW_SHOW : SW_HIDE);
}

void CMainDlg::OnPauseOrResume() {
    const ScanState before = scan_->State();
    const ScanState after = TogglePause(*scan_);
    if (after != before) ShowScanButtons(after == ScanPaused);
}

void CMainDlg::OnStop() {
    for (ui::CImgButton* button : {&stopButton_, &pauseButton_}) {
        button->SetEnabled(false);
        ::EnableWindow(button->Hwnd(), FALSE);
    }
    StopScan(*scan_);
}

}  // namespace qb::app
