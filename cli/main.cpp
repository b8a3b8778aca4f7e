// quillbrook: the command-line front end.
//
//   quillbrook recover-db --contacts F [--contacts-backup F] --messages F [--messages-backup F] --out DIR
//                         [--formats LIST]
//   quillbrook phone --out DIR [--adb PATH] [--serial S] [--formats LIST]
//   quillbrook disks
//   quillbrook carve SOURCE --out DIR [--types LIST]
//   quillbrook demo [--out DIR] [--formats LIST]
//   quillbrook --version
//
// --formats chooses the files written for contacts and messages among
// html,vcf,xml,csv (all of them by default).
//
// Exit codes: 0 success, 1 nothing could be read or written, 2 usage error.
#include <CLI/CLI.hpp>

#include <iostream>

#include "cli/console_output.h"
#include "cli/database_recovery.h"
#include "cli/demo.h"
#include "cli/disk_listing.h"
#include "cli/file_carving.h"
#include "cli/phone_recovery.h"
#include "output/export_formats.h"
#include "output/html_report.h"
#include "platform/console.h"
#include "src/cdr/type_table.h"
#include "update/update_constants.h"

namespace {

constexpr int kUsageError = 2;

constexpr const char* kFormatsHelp = "files to write, comma-separated: html (Contacts.html, Messages.html), vcf "
                                     "(Contacts.vcf), xml (Messages.xml, SMS backup format), csv (Contacts.csv, "
                                     "Messages.csv)";

int RecoverDb(const qb::cli::DatabaseInputs& inputs, const std::string& out, const qb::output::ExportFormats& formats) {
    std::vector<std::string> problems;
    qb::cli::ProgressLine progress("Loading contacts and messages");
    auto data = qb::cli::RecoverDatabases(
        inputs, [&](unsigned step, unsigned steps) { progress.Step(step, steps); }, problems);
    progress.Finish();
    qb::cli::PrintProblems(problems);
    const auto reports = qb::cli::WriteReports(*data, out, qb::output::DefaultTemplatePath(), formats);
    return qb::cli::PrintRecoverySummary(std::cout, *data, reports);
}

}  // namespace

int main(int argc, char** argv) {
    qb::platform::Utf8Arguments arguments(argc, argv);
    CLI::App app {"Quillbrook recovers contacts and SMS messages, live and deleted, from Android phones and their "
                  "databases, and files from disks and disk images."};
    app.require_subcommand(1);
    app.set_version_flag("--version", "quillbrook " + std::string(qb::update::kProgramVersion),
                         "Print the version and exit");

    qb::cli::DatabaseInputs inputs;
    std::string recoverOut;
    CLI::App* recover = app.add_subcommand("recover-db", "Recover contacts and messages from copied databases");
    recover->add_option("--contacts", inputs.contacts, "contacts2.db (its -wal and -shm are read too)")->required();
    recover->add_option("--contacts-backup", inputs.contactsBackup, "backup copy of contacts2.db, without its log");
    recover->add_option("--messages", inputs.messages, "mmssms.db (its -wal and -shm are read too)")->required();
    recover->add_option("--messages-backup", inputs.messagesBackup, "backup copy of mmssms.db, without its log");
    recover->add_option("--out", recoverOut, "folder for Contacts.html and Messages.html")->required();
    std::string formatList = qb::output::kAllExportFormats;
    recover->add_option("--formats", formatList, kFormatsHelp)->capture_default_str();

    std::string phoneOut, adbPath, serial;
    CLI::App* phone = app.add_subcommand("phone", "Copy the databases from an attached phone and recover them");
    phone->add_option("--out", phoneOut, "folder for Contacts.html and Messages.html")->required();
    phone->add_option("--adb", adbPath, "the Android Debug Bridge client to run (default: the one beside quillbrook, "
                                        "else adb on the PATH)");
    phone->add_option("--serial", serial, "the serial number of the device to read, as \"adb devices\" lists it "
                                          "(default: the first one ready)");
    phone->add_option("--formats", formatList, kFormatsHelp)->capture_default_str();

    CLI::App* disks = app.add_subcommand("disks", "List the disks and partitions of this computer");

    std::string carveSource, carveOut, carveTypes;
    CLI::App* carve = app.add_subcommand("carve", "Find files on a disk or disk image by their structure and copy them out");
    carve->add_option("SOURCE", carveSource, "a disk device (such as /dev/sdb) or a disk image file")->required();
    carve->add_option("--out", carveOut, "folder for the found files (disk<time>/<type>/<block>.<ext>)")->required();
    carve->add_option("--types", carveTypes,
                      "comma-separated types to look for (default: all of "
                      "jpg,gif,bmp,wmv,mov,rif,htm,ole,zip,rar,exe,png,mpg,pdf)");

    std::string demoOut = "quillbrook-demo";
    CLI::App* demo = app.add_subcommand("demo", "Recover a generated sample phone and carve a generated sample card");
    demo->add_option("--out", demoOut, "folder for the sample phone and the reports")->capture_default_str();
    demo->add_option("--formats", formatList, kFormatsHelp)->capture_default_str();

    try {
        app.parse(arguments.argc(), arguments.argv());
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "quillbrook: " << e.what() << "\n" << "Run with --help for more information.\n";
        return kUsageError;
    }

    std::string unknownFormat;
    const auto formats = qb::output::ParseExportFormats(formatList, &unknownFormat);
    if (!formats) {
        std::cerr << "quillbrook: --formats: unknown format \"" << unknownFormat << "\" (choose from "
                  << qb::output::kAllExportFormats << ")\n";
        return kUsageError;
    }
    if (recover->parsed()) return RecoverDb(inputs, recoverOut, *formats);
    if (phone->parsed()) return qb::cli::RunPhone(phoneOut, adbPath, serial, *formats);
    if (disks->parsed()) return qb::cli::RunDiskListing();
    if (carve->parsed()) {
        std::string unknown;
        if (!carveTypes.empty() && !qb::cdr::TypeTableFromList(carveTypes, &unknown)) {
            std::cerr << "quillbrook: --types: unknown file type \"" << unknown << "\"\n";
            return kUsageError;
        }
        return qb::cli::PrintCarveSummary(std::cout, qb::cli::CarveSource(carveSource, carveOut, carveTypes));
    }
    if (demo->parsed()) return qb::cli::RunDemo(demoOut, *formats);
    return kUsageError;
}
