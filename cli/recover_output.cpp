#include "cli/recover_output.h"

#include <iostream>

#include "cli/console_output.h"
#include "dbrecover/message_assembly.h"
#include "output/html_report.h"
#include "output/recover_state.h"
#include "platform/file.h"
#include "platform/text.h"

namespace qb::cli {

std::string MakeOutputRoot(const std::string& out) {
    const std::string time =
        platform::FormatLocalTime(dbrecover::ClampDateSeconds(platform::CurrentTimeSeconds()), "%Y%m%d%H%M%S");
    const std::string root = platform::JoinPath(out, "QuillbrookHome" + time);
    return platform::CreateFolders(root) ? root : std::string();
}

std::vector<output::RecoverCategory> RecordCategories(const RecoveredData& data) {
    std::vector<output::RecoverCategory> categories(2);
    categories[0].kind = output::kRecoverContacts;
    categories[0].contacts = &data.lists.contacts;
    categories[1].kind = output::kRecoverMessages;
    categories[1].threads = &data.lists.threads;
    for (output::RecoverCategory& c : categories) c.evidence = &data.evidence;
    return categories;
}

output::RecoverCategory ScannedDiskCategory(const cdr::DeviceNode& scanned) {
    output::RecoverCategory category;
    category.kind = output::kRecoverDisk;
    category.diskName = scanned.name;
    for (const auto& group : scanned.children) {
        if (group->files.empty()) continue;
        output::RecoverGroup rows;
        rows.name = group->name;
        for (const auto& found : group->files) {
            output::RecoverFile file;
            file.item = *found;
            file.item.group = nullptr;
            file.input = scanned.copyHandle;
            rows.files.push_back(std::move(file));
        }
        category.groups.push_back(std::move(rows));
    }
    return category;
}

output::RecoverOutcome WriteRecovered(const std::vector<output::RecoverCategory>& categories, const std::string& root,
                                      std::ostream& summary, const output::ExportFormats& formats) {
    output::RecoverProgress progress;
    const output::RecoverOutcome outcome =
        output::RunRecoverJob(categories, root, progress, output::DefaultTemplatePath(), formats);
    output::recoverState.store(output::kRecoverFinished);
    for (const std::string& report : outcome.reports) summary << "  written: " << report << "\n";
    if (outcome.filesWhole + outcome.filesCutShort > 0) {
        summary << "  files: " << outcome.filesWhole << " written whole, " << outcome.filesCutShort
                << " cut short (kept as " << output::kPartialSuffix << ")\n";
    }
    PrintProblems(outcome.problems);
    return outcome;
}

}  // namespace qb::cli
