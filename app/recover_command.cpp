// Recover: the user picks a folder, a new output root is made in it, and
// the recover job writes what is ticked while its dialog runs modally over
// the window. A running scan goes on meanwhile.
#include "app/main_dlg.h"

#include <commctrl.h>

#include "app/recover_snapshot.h"
#include "dbrecover/message_assembly.h"
#include "output/html_report.h"
#include "platform/file.h"
#include "platform/text.h"
#include "ui/folder_chooser.h"
#include "ui/msg_box.h"
#include "ui/recover_progress_dialog.h"
#include "ui/wide_text.h"

namespace qb::app {

const wchar_t kChooseFolderFirst[] = L"Please select the directory to save the files recovered.";

std::wstring OutputRootIn(const std::wstring& folder) {
    const std::string time =
        platform::FormatLocalTime(dbrecover::ClampDateSeconds(platform::CurrentTimeSeconds()), "%Y%m%d%H%M%S");
    std::wstring root = folder;
    if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';
    return root + L"QuillbrookHome" + ui::Wide(time);
}

std::vector<output::RecoverCategory> CMainDlg::RecoverCategories() {
    std::vector<output::RecoverCategory> categories;
    for (HTREEITEM item = TreeView_GetChild(tree_.Hwnd(), rootItem_); item != nullptr;
         item = TreeView_GetNextSibling(tree_.Hwnd(), item)) {
        const ui::TreeNodeData* data = tree_.NodeData(item);
        if (data == nullptr) continue;
        switch (data->kind) {
        case kContactsCategory: {
            output::RecoverCategory category;
            category.kind = output::kRecoverContacts;
            category.contacts = &lists_.contacts;
            category.evidence = &evidence_;
            categories.push_back(std::move(category));
            break;
        }
        case kMessagesCategory: {
            output::RecoverCategory category;
            category.kind = output::kRecoverMessages;
            category.threads = &lists_.threads;
            category.evidence = &evidence_;
            categories.push_back(std::move(category));
            break;
        }
        case kDiskCategory:
            if (const auto* disk = static_cast<const ScanNode*>(data->payload)) {
                categories.push_back(RecoverDiskOf(*disk));
            }
            break;
        default:
            break;
        }
    }
    return categories;
}

void CMainDlg::Recover() {
    wchar_t current[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    const std::optional<std::wstring> chosen =
        settings_.chooseFolder ? settings_.chooseFolder(Hwnd()) : ui::ChooseFolder(Hwnd(), current);
    if (!chosen) return;
    if (chosen->empty()) {
        ui::CMsgBox notice;
        notice.Show(ui::CMsgBox::Warning, ui::CMsgBox::kOk, kChooseFolderFirst, Hwnd());
        return;
    }
    outputFolder_ = OutputRootIn(*chosen);
    ::CreateDirectoryW(outputFolder_.c_str(), nullptr);  // the job names what it cannot write
    ::ShowWindow(notice_, SW_HIDE);
    ::SendMessageW(progress_, PBM_SETPOS, 0, 0);
    ::ShowWindow(progress_, SW_SHOW);

    ui::DhRecoverProgressDialog dialog(RecoverCategories(), ui::Narrow(outputFolder_), output::DefaultTemplatePath());
    dialog.Run(::GetActiveWindow() != nullptr ? ::GetActiveWindow() : Hwnd());
}

}  // namespace qb::app
