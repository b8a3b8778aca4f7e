#include "cli/demo.h"

#include <iostream>

#include "cli/console_output.h"
#include "cli/file_carving.h"
#include "cli/phone_recovery.h"
#include "cli/recover_output.h"
#include "device/acquisition.h"
#include "platform/file.h"
#include "platform/process.h"
#include "tools/fake_adb/fake_phone_layout.h"
#include "tools/sample_card/sample_card.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb::cli {
namespace {

// The fake bridge client and the variable that points it at a phone folder
// (tools/fake_adb describes the folder).
constexpr const char* kFakeClientName = "qb-fake-adb";
constexpr const char* kFakePhoneVariable = "QB_FAKE_ADB_PHONE";

// A few of the deleted records, so the user sees what recovery brought back.
void PrintDeleted(std::ostream& out, const RecoveredData& data) {
    constexpr std::size_t kShown = 6;
    std::size_t shown = 0;
    out << "Deleted contacts, for example:\n";
    for (const dbrecover::ContactItem* c : data.lists.contacts) {
        if (!c->deleted || c->name.empty() || shown == kShown) continue;
        out << "  " << c->name << (c->phone.empty() ? "" : "  " + c->phone) << "\n";
        ++shown;
    }
    shown = 0;
    out << "Deleted conversations, for example:\n";
    for (const dbrecover::MsgThread* t : data.lists.threads) {
        if (!t->deleted || shown == kShown) continue;
        out << "  " << (t->name.empty() ? t->address : t->name + " (" + t->address + ")") << ": "
            << t->messages.size() << " message" << (t->messages.size() == 1 ? "" : "s") << "\n";
        ++shown;
    }
}

std::size_t CountLines(const std::string& text) {
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines;
}

// Removes the private temporary folder however the stage ends.
struct ScratchFolder {
    std::string path = platform::MakeUniqueTempFolder("quillbrook-demo-");
    ~ScratchFolder() {
        if (!path.empty()) platform::RemoveFolderTree(path);
    }
};

// An installed program comes without the fake bridge client (a test
// double): the sample phone's databases are then read as acquisition would
// have copied them, and written as Recover writes them.
int RecoverSamplePhoneDirectly(const std::string& samplePhone, const std::string& out, std::string& root,
                               const output::ExportFormats& formats) {
    std::cout << "Sample phone generated in " << samplePhone
              << "; without the fake bridge client beside quillbrook, its databases are read as acquisition "
                 "would have copied them\n";
    const tools::SamplePhonePaths sample = tools::SamplePhoneLayout(samplePhone);
    const DatabaseInputs inputs {sample.contacts, sample.contactsBackup, sample.messages, sample.messagesBackup};
    std::vector<std::string> problems;
    ProgressLine progress("Loading contacts and messages");
    const std::unique_ptr<RecoveredData> data =
        RecoverDatabases(inputs, [&](unsigned step, unsigned steps) { progress.Step(step, steps); }, problems);
    progress.Finish();
    PrintProblems(problems);
    PrintCounts(std::cout, *data);
    root = MakeOutputRoot(out);
    if (root.empty()) {
        std::cerr << "quillbrook: cannot create a folder in " << out << "\n";
        return 1;
    }
    std::cout << "Recovered into " << root << ":\n";
    const output::RecoverOutcome outcome = WriteRecovered(RecordCategories(*data), root, std::cout, formats);
    PrintDeleted(std::cout, *data);
    return outcome.reports.empty() ? 1 : 0;
}

}  // namespace

int RunPhoneDemo(const std::string& out, std::string& root, const output::ExportFormats& formats) {
    const std::string samplePhone = platform::JoinPath(out, "sample-phone");
    std::string error;
    if (!tools::GenerateSamplePhone(samplePhone, tools::SamplePhoneOptions {}, &error)) {
        std::cerr << "quillbrook: cannot generate the sample phone: " << error << "\n";
        return 1;
    }
    device::AdbOptions options;
    options.clientPath = platform::JoinPath(platform::ExecutableFolder(),
                                            std::string(kFakeClientName) + std::string(platform::ExecutableSuffix()));
    if (!platform::FileExists(options.clientPath)) return RecoverSamplePhoneDirectly(samplePhone, out, root, formats);
    const std::string phone = platform::JoinPath(out, "phone");
    if (!tools::LayOutFakePhone(tools::SamplePhoneLayout(samplePhone), phone, {}, &error)) {
        std::cerr << "quillbrook: cannot lay out the sample phone: " << error << "\n";
        return 1;
    }
    std::cout << "Sample phone generated in " << samplePhone << ", attached as " << phone << "\n";
    platform::SetEnvironmentValue(kFakePhoneVariable, phone);

    // The working folders of a real run, under a temporary folder of the
    // demo's own so that a real run's copies are left alone.
    ScratchFolder scratch;
    if (scratch.path.empty()) {
        std::cerr << "quillbrook: cannot create a working folder under " << platform::TempFolder() << "\n";
        return 1;
    }
    const device::WorkPaths paths = device::BuildWorkPaths(scratch.path);

    ProgressLine progress("Loading contacts and messages");
    const PhoneRecovery recovery =
        RecoverPhone(paths, options, [&](unsigned step, unsigned steps) { progress.Step(step, steps); });
    progress.Finish();
    std::cout << "Bridge client runs: "
              << CountLines(platform::ReadWholeFile(platform::JoinPath(phone, "log")).value_or(""))
              << " (logged in " << platform::JoinPath(phone, "log") << ")\n";
    const int code = ReportPhoneRecovery(recovery, out, std::cout, &root, formats);
    if (recovery.state == device::DeviceState::Ready) PrintDeleted(std::cout, *recovery.data);

    // What the application does when it closes.
    device::DeleteDatabaseCopies(paths);
    device::KillServer(options);
    return code;
}

int RunCardDemo(const std::string& out, const std::string& root) {
    const std::string image = platform::JoinPath(out, "sample-card.img");
    std::string error;
    const std::optional<tools::CardTruth> truth = tools::GenerateSampleCard(image, tools::SampleCardOptions {}, &error);
    if (!truth) {
        std::cerr << "quillbrook: cannot generate the sample card: " << error << "\n";
        return 1;
    }
    std::cout << "\nSample card generated in " << image << " (" << truth->files.size()
              << " files to find, with decoys and files off block boundaries)\n";
    // The copies join the reports in the output root, as Recover leaves them.
    const CarveResult result = CarveSource(image, root.empty() ? out : root, "");
    const int code = PrintCarveSummary(std::cout, result);
    if (code != 0) return code;
    std::uint64_t found = 0;
    for (const auto& [group, tally] : result.groups) found += tally.files;
    std::cout << "Found " << found << " of the " << truth->files.size() << " files the card holds\n";
    return 0;
}

int RunDemo(const std::string& out, const output::ExportFormats& formats) {
    std::string root;
    const int phone = RunPhoneDemo(out, root, formats);
    const int card = RunCardDemo(out, root);
    return phone != 0 ? phone : card;
}

}  // namespace qb::cli
