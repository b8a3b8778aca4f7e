// quillbrook: the command-line front end.
//
//   quillbrook recover-db --contacts F [--contacts-backup F] --messages F [--messages-backup F] --out DIR
//   quillbrook demo [--out DIR]
//
// Exit codes: 0 success, 1 nothing could be read or written, 2 usage error.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/console_output.h"
#include "cli/database_recovery.h"
#include "cli/demo.h"
#include "output/html_report.h"

namespace {

constexpr int kUsageError = 2;

int RecoverDb(const qb::cli::DatabaseInputs& inputs, const std::string& out) {
    std::vector<std::string> problems;
    qb::cli::ProgressLine progress("Loading contacts and messages");
    auto data = qb::cli::RecoverDatabases(
        inputs, [&](unsigned step, unsigned steps) { progress.Step(step, steps); }, problems);
    progress.Finish();
    qb::cli::PrintProblems(problems);
    const auto reports = qb::cli::WriteReports(*data, out, qb::output::DefaultTemplatePath());
    return qb::cli::PrintRecoverySummary(std::cout, *data, reports);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app {"Quillbrook recovers contacts and SMS messages, live and deleted, from Android phone databases."};
    app.require_subcommand(1);

    qb::cli::DatabaseInputs inputs;
    std::string recoverOut;
    CLI::App* recover = app.add_subcommand("recover-db", "Recover contacts and messages from copied databases");
    recover->add_option("--contacts", inputs.contacts, "contacts2.db (its -wal and -shm are read too)")->required();
    recover->add_option("--contacts-backup", inputs.contactsBackup, "backup copy of contacts2.db, without its log");
    recover->add_option("--messages", inputs.messages, "mmssms.db (its -wal and -shm are read too)")->required();
    recover->add_option("--messages-backup", inputs.messagesBackup, "backup copy of mmssms.db, without its log");
    recover->add_option("--out", recoverOut, "folder for Contacts.html and Messages.html")->required();

    std::string demoOut = "quillbrook-demo";
    CLI::App* demo = app.add_subcommand("demo", "Recover a generated sample phone");
    demo->add_option("--out", demoOut, "folder for the sample phone and the reports")->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "quillbrook: " << e.what() << "\n" << "Run with --help for more information.\n";
        return kUsageError;
    }

    if (recover->parsed()) return RecoverDb(inputs, recoverOut);
    if (demo->parsed()) return qb::cli::RunDemo(demoOut);
    return kUsageError;
}
