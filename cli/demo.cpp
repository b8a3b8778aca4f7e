#include "cli/demo.h"

#include <iostream>

#include "cli/console_output.h"
#include "cli/database_recovery.h"
#include "output/html_report.h"
#include "platform/file.h"
#include "tools/sample_phone/sample_phone.h"

namespace qb::cli {
namespace {

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

}  // namespace

int RunDemo(const std::string& out) {
    const std::string phone = platform::JoinPath(out, "sample-phone");
    std::string error;
    if (!tools::GenerateSamplePhone(phone, tools::SamplePhoneOptions {}, &error)) {
        std::cerr << "quillbrook: cannot generate the sample phone: " << error << "\n";
        return 1;
    }
    const tools::SamplePhonePaths paths = tools::SamplePhoneLayout(phone);
    std::cout << "Sample phone generated in " << phone << "\n";

    std::vector<std::string> problems;
    ProgressLine progress("Loading contacts and messages");
    auto data = RecoverDatabases({paths.contacts, paths.contactsBackup, paths.messages, paths.messagesBackup},
                                 [&](unsigned step, unsigned steps) { progress.Step(step, steps); }, problems);
    progress.Finish();
    PrintProblems(problems);
    const ReportOutcome reports = WriteReports(*data, out, output::DefaultTemplatePath());
    const int code = PrintRecoverySummary(std::cout, *data, reports);
    PrintDeleted(std::cout, *data);
    return code;
}

}  // namespace qb::cli
