#include "cli/database_recovery.h"

#include "dbrecover/recovery_driver.h"
#include "dbrecover/schema_probe.h"
#include "platform/file.h"
#include "platform/notifier.h"

#include <algorithm>
#include <string_view>

namespace qb::cli {
namespace {

using dbrecover::TableKind;

// Copies one input into the working folder under the name the loaders
// expect, with the log and journal beside it. Returns the staged path, or
// empty when there is nothing to read. A copy SQLite refuses (cut short,
// damaged) is still staged and named: its pages are carved as they are.
std::string Stage(const std::string& input, const std::string& folder, TableKind kind, bool withLog,
                  const char* option, std::vector<std::string>& problems) {
    if (input.empty()) return {};
    platform::CreateFolders(folder);
    const std::string staged = platform::JoinPath(folder, dbrecover::DatabaseFileName(kind));
    std::string error;
    if (!platform::CopyFileReplace(input, staged, &error)) {
        std::string reason = dbrecover::DatabaseProblem(input, kind);
        problems.push_back(std::string(option) + " " + input + ": " + (reason.empty() ? error : reason));
        return {};
    }
    for (const char* companion : {"-wal", "-shm", "-journal"}) {
        if (!withLog && std::string_view(companion) != "-journal") continue;
        if (platform::FileExists(input + companion)) platform::CopyFileReplace(input + companion, staged + companion);
    }
    const std::string reason = dbrecover::DatabaseProblem(staged, kind);
    if (reason.empty()) return staged;
    // Past the header check, a refusal by SQLite leaves pages worth carving;
    // a file of another kind or without the table has none.
    if (reason.rfind("cannot be", 0) != 0) {
        problems.push_back(std::string(option) + " " + input + ": " + reason);
        return {};
    }
    problems.push_back(std::string(option) + " " + input + ": " + reason + "; its pages are read as they are");
    return staged;
}

// Removes the working folder however the road ends.
struct WorkFolder {
    std::string path = platform::MakeUniqueTempFolder("quillbrook-work-");
    ~WorkFolder() {
        if (!path.empty()) platform::RemoveFolderTree(path);
    }
};

}  // namespace

Counts CountRecovered(const RecoveredData& data) {
    Counts c;
    c.contacts = data.contacts.size();
    for (const auto& [key, contact] : data.contacts) c.deletedContacts += contact.deleted;
    c.conversations = data.threads.size();
    for (const auto& [key, thread] : data.threads) {
        c.deletedConversations += thread.deleted;
        c.messages += thread.messages.size();
    }
    return c;
}

std::unique_ptr<RecoveredData> RecoverDatabases(const DatabaseInputs& in, const ProgressFn& progress,
                                                std::vector<std::string>& problems) {
    auto data = std::make_unique<RecoveredData>();
    // The inputs as given, before anything reads them.
    data->evidence = output::CollectEvidence({in.contacts, in.contactsBackup, in.messages, in.messagesBackup});
    WorkFolder work;
    if (work.path.empty()) {
        problems.push_back("cannot create a working folder under " + platform::TempFolder());
        return data;
    }
    const std::string contactsFolder = platform::JoinPath(work.path, "contacts");
    const std::string messagesFolder = platform::JoinPath(work.path, "messages");
    const std::string contacts = Stage(in.contacts, contactsFolder, TableKind::Contacts, true, "--contacts", problems);
    const std::string contactsBackup = Stage(in.contactsBackup, platform::JoinPath(contactsFolder, "bak"),
                                             TableKind::Contacts, false, "--contacts-backup", problems);
    const std::string messages = Stage(in.messages, messagesFolder, TableKind::Messages, true, "--messages", problems);
    const std::string messagesBackup = Stage(in.messagesBackup, platform::JoinPath(messagesFolder, "bak"),
                                             TableKind::Messages, false, "--messages-backup", problems);

    platform::CallbackNotifier notifier([&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        if (message == dbrecover::WMU_LOAD_PROGRESS && progress) {
            progress(static_cast<unsigned>(wParam), static_cast<unsigned>(lParam));
        }
    });
    dbrecover::LoadContacts(contacts, contactsBackup, data->contacts, notifier);
    dbrecover::LoadMessages(data->contacts, messages, messagesBackup, data->threads, notifier);
    data->lists = dbrecover::BuildDisplayLists(data->contacts, data->threads);
    return data;
}

bool ReportOutcome::AnyWritten() const {
    const auto written = [](const output::ReportResult& r) { return r.status == output::ReportStatus::Written; };
    return written(contacts) || written(messages) || std::any_of(exports.begin(), exports.end(), written);
}

ReportOutcome WriteReports(const RecoveredData& data, const std::string& folder, const std::string& templatePath,
                           const output::ExportFormats& formats) {
    ReportOutcome outcome;
    outcome.formats = formats;
    if (!platform::CreateFolders(folder)) {
        const output::ReportResult failed {output::ReportStatus::OutputFailed, folder, "cannot create the folder"};
        if (formats.html && !data.lists.contacts.empty()) outcome.contacts = failed;
        if (formats.html && !data.lists.threads.empty()) outcome.messages = failed;
        const bool exports = formats.vcf || formats.xml || formats.csv;
        if (exports && !(data.lists.contacts.empty() && data.lists.threads.empty())) outcome.exports.push_back(failed);
        return outcome;
    }
    output::ExportFormats others = formats;
    others.html = false;
    output::DomainExport contacts(data.lists.contacts, folder);
    contacts.templatePath = templatePath;
    contacts.evidence = &data.evidence;
    if (formats.html) outcome.contacts = output::ExportContacts(contacts);
    outcome.exports = output::ExportRecords(contacts, others);
    output::DomainExport messages(data.lists.threads, folder);
    messages.templatePath = templatePath;
    messages.evidence = &data.evidence;
    if (formats.html) outcome.messages = output::ExportMessages(messages);
    for (output::ReportResult& r : output::ExportRecords(messages, others)) outcome.exports.push_back(std::move(r));
    return outcome;
}

}  // namespace qb::cli
