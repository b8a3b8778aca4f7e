// The command line: the recover-db road through its library, and the
// program's exit codes, messages and files through real runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/database_recovery.h"
#include "tests/cli/run_quillbrook.h"
#include "platform/file.h"
#include "tools/sample_phone/sample_phone.h"


namespace qb {
namespace {

class SamplePhoneFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-cli-");
        ASSERT_FALSE(folder_.empty());
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(platform::JoinPath(folder_, "phone"), {}, &error)) << error;
        paths_ = tools::SamplePhoneLayout(platform::JoinPath(folder_, "phone"));
    }
    void TearDown() override { platform::RemoveFolderTree(folder_); }

    cli::DatabaseInputs AllInputs() const {
        return {paths_.contacts, paths_.contactsBackup, paths_.messages, paths_.messagesBackup};
    }
    std::string Path(const std::string& name) const { return platform::JoinPath(folder_, name); }

    std::string folder_;
    tools::SamplePhonePaths paths_;
};

using DatabaseRecovery = SamplePhoneFolder;

TEST_F(DatabaseRecovery, RecoversEverySourceAndReportsProgress) {
    std::vector<std::string> problems;
    std::vector<unsigned> steps;
    auto data = cli::RecoverDatabases(AllInputs(), [&](unsigned step, unsigned total) {
        EXPECT_EQ(total, 8u);
        steps.push_back(step);
    }, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(steps, (std::vector<unsigned> {1, 2, 3, 4, 5, 6, 7, 8}));
    const cli::Counts c = cli::CountRecovered(*data);
    EXPECT_GT(c.contacts, c.deletedContacts);
    EXPECT_GT(c.deletedContacts, 0u);
    EXPECT_GT(c.deletedConversations, 0u);
    EXPECT_GE(c.messages, c.conversations);
    ASSERT_EQ(data->lists.contacts.size(), c.contacts);
    EXPECT_TRUE(data->lists.contacts.front()->deleted);
}

TEST_F(DatabaseRecovery, NeverWritesToTheFilesItIsGiven) {
    // SQLite would fold a log into the file it opens for writing; the inputs
    // are evidence and must stay as they were, log included.
    const std::vector<std::string> files = {paths_.contacts, paths_.contacts + "-wal", paths_.contacts + "-shm",
                                            paths_.contactsBackup, paths_.messages, paths_.messages + "-wal",
                                            paths_.messagesBackup};
    std::vector<std::string> before;
    for (const auto& f : files) before.push_back(platform::ReadWholeFile(f).value_or("missing"));
    std::vector<std::string> problems;
    cli::RecoverDatabases(AllInputs(), nullptr, problems);
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(platform::ReadWholeFile(files[i]).value_or("missing"), before[i]) << files[i];
    }
}

TEST_F(DatabaseRecovery, AcceptsDatabasesUnderAnyFileName) {
    ASSERT_TRUE(platform::CopyFileReplace(paths_.contacts, Path("phone-contacts.sqlite")));
    ASSERT_TRUE(platform::CopyFileReplace(paths_.contacts + "-wal", Path("phone-contacts.sqlite-wal")));
    ASSERT_TRUE(platform::CopyFileReplace(paths_.messages, Path("sms.sqlite")));
    ASSERT_TRUE(platform::CopyFileReplace(paths_.messages + "-wal", Path("sms.sqlite-wal")));
    std::vector<std::string> problems;
    auto renamed = cli::RecoverDatabases({Path("phone-contacts.sqlite"), "", Path("sms.sqlite"), ""}, nullptr, problems);
    auto original = cli::RecoverDatabases({paths_.contacts, "", paths_.messages, ""}, nullptr, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(cli::CountRecovered(*renamed).contacts, cli::CountRecovered(*original).contacts);
    EXPECT_EQ(cli::CountRecovered(*renamed).messages, cli::CountRecovered(*original).messages);
    EXPECT_GT(cli::CountRecovered(*renamed).deletedContacts, 0u);
}

TEST_F(DatabaseRecovery, NamesEachUnreadableInputWithItsReasonAndGoesOn) {
    ASSERT_TRUE(platform::WriteWholeFile(Path("notes.txt"), "not a database at all, just some words"));
    std::vector<std::string> problems;
    auto data = cli::RecoverDatabases(
        {Path("missing.db"), paths_.messages, paths_.messages, Path("notes.txt")}, nullptr, problems);
    ASSERT_EQ(problems.size(), 3u);
#ifdef _WIN32
    const std::string missing = "File not found.";  // the system's own words
#else
    const std::string missing = "No such file or directory";
#endif
    EXPECT_NE(problems[0].find("--contacts " + Path("missing.db") + ": "), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find(missing), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("--contacts-backup"), std::string::npos) << problems[1];
    EXPECT_NE(problems[1].find("has no table data"), std::string::npos) << problems[1];
    EXPECT_NE(problems[2].find("--messages-backup " + Path("notes.txt") + ": is not an SQLite database"),
              std::string::npos)
        << problems[2];
    EXPECT_TRUE(data->contacts.empty());
    EXPECT_FALSE(data->threads.empty());
}

TEST_F(DatabaseRecovery, ReadsAJournalBesideAnInputAndTheCopiesSqliteRefuses) {
    // Secure delete leaves the deleted messages only in the journal's page
    // images; renamed inputs must keep their journal.
    tools::SamplePhoneOptions options;
    options.persistJournal = true;
    options.secureDelete = true;
    std::string error;
    ASSERT_TRUE(tools::GenerateSamplePhone(Path("journal"), options, &error)) << error;
    const auto journalPhone = tools::SamplePhoneLayout(Path("journal"));
    ASSERT_TRUE(platform::CopyFileReplace(journalPhone.messages, Path("sms.db")));
    ASSERT_TRUE(platform::CopyFileReplace(journalPhone.messages + "-journal", Path("sms.db-journal")));
    std::vector<std::string> problems;
    const auto withJournal = cli::CountRecovered(*cli::RecoverDatabases({"", "", Path("sms.db"), ""}, nullptr, problems));
    ASSERT_TRUE(platform::DeleteFileIfExists(Path("sms.db-journal")));
    const auto without = cli::CountRecovered(*cli::RecoverDatabases({"", "", Path("sms.db"), ""}, nullptr, problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_GT(withJournal.deletedConversations, without.deletedConversations);

    // A damaged first page: SQLite refuses the copy, its other pages are carved.
    std::string bytes = platform::ReadWholeFile(paths_.messagesBackup).value_or("");
    ASSERT_GT(bytes.size(), 100u);
    bytes[100] = 0;  // page 1's page type
    ASSERT_TRUE(platform::WriteWholeFile(Path("damaged.db"), bytes));
    problems.clear();
    const auto damaged = cli::CountRecovered(*cli::RecoverDatabases({"", "", "", Path("damaged.db")}, nullptr, problems));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("its pages are read as they are"), std::string::npos) << problems[0];
    EXPECT_GT(damaged.messages, 0u);
}

TEST_F(DatabaseRecovery, WritesBothReportsOrSaysWhyNot) {
    std::vector<std::string> problems;
    auto data = cli::RecoverDatabases(AllInputs(), nullptr, problems);
    const std::string out = Path("out/nested");
    const auto written = cli::WriteReports(*data, out, QB_TEMPLATE_PATH);
    EXPECT_TRUE(written.AnyWritten());
    EXPECT_EQ(written.contacts.status, output::ReportStatus::Written);
    EXPECT_EQ(written.messages.status, output::ReportStatus::Written);
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(out, "Contacts.html")));
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(out, "Messages.html")));

    EXPECT_EQ(written.exports.size(), 4u);

    // The exports need no page template.
    const auto noTemplate = cli::WriteReports(*data, Path("out2"), Path("no-template.html"));
    EXPECT_TRUE(noTemplate.AnyWritten());
    EXPECT_EQ(noTemplate.contacts.status, output::ReportStatus::TemplateMissing);
    EXPECT_FALSE(platform::FileExists(platform::JoinPath(Path("out2"), "Contacts.html")));
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(Path("out2"), "Contacts.vcf")));
    output::ExportFormats pagesOnly;
    pagesOnly.vcf = pagesOnly.xml = pagesOnly.csv = false;
    const auto noPages = cli::WriteReports(*data, Path("out3"), Path("no-template.html"), pagesOnly);
    EXPECT_FALSE(noPages.AnyWritten());
    EXPECT_TRUE(noPages.exports.empty());

    ASSERT_TRUE(platform::WriteWholeFile(Path("blocker"), "a file where the folder should be"));
    const auto blocked = cli::WriteReports(*data, platform::JoinPath(Path("blocker"), "out"), QB_TEMPLATE_PATH);
    EXPECT_EQ(blocked.contacts.status, output::ReportStatus::OutputFailed);
    EXPECT_EQ(blocked.messages.status, output::ReportStatus::OutputFailed);
    ASSERT_EQ(blocked.exports.size(), 1u);
    EXPECT_EQ(blocked.exports[0].status, output::ReportStatus::OutputFailed);
}

// ------------------------------------------------------------ the program

using ProgramRun = testsupport::ShellRun;

class Program : public SamplePhoneFolder {
protected:
    ProgramRun Quillbrook(const std::string& arguments) { return testsupport::RunQuillbrookInShell(arguments, folder_); }
    std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
};

TEST_F(Program, UsageErrorsExitWithTwoAndSayWhat) {
    ProgramRun none = Quillbrook("");
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("subcommand"), std::string::npos) << none.err;

    ProgramRun noOut = Quillbrook("recover-db --contacts " + Quoted(paths_.contacts) + " --messages " + Quoted(paths_.messages));
    EXPECT_EQ(noOut.exitCode, 2);
    EXPECT_NE(noOut.err.find("--out"), std::string::npos) << noOut.err;

    ProgramRun unknown = Quillbrook("recover-db --bogus");
    EXPECT_EQ(unknown.exitCode, 2);

    ProgramRun help = Quillbrook("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("recover-db"), std::string::npos);
}

TEST_F(Program, RecoverDbWritesReportsAndASummary) {
    const std::string out = Path("reports");
    ProgramRun run = Quillbrook("recover-db --contacts " + Quoted(paths_.contacts) + " --contacts-backup " +
                         Quoted(paths_.contactsBackup) + " --messages " + Quoted(paths_.messages) +
                         " --messages-backup " + Quoted(paths_.messagesBackup) + " --out " + Quoted(out));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    for (const char* line : {"Contacts:", "Conversations:", "Messages:", "deleted"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << run.out;
    }
    const auto page = platform::ReadWholeFile(platform::JoinPath(out, "Contacts.html"));
    ASSERT_TRUE(page);
    EXPECT_NE(page->find("var data = [[\"ID\",\"Deleted\",\"Name\""), std::string::npos);
    EXPECT_NE(page->find("<title>Contacts</title>"), std::string::npos);
    for (const char* file : {"Messages.html", "Contacts.vcf", "Messages.xml", "Contacts.csv", "Messages.csv"}) {
        EXPECT_TRUE(platform::FileExists(platform::JoinPath(out, file))) << file;
        EXPECT_NE(run.out.find(std::string(file) + " written to"), std::string::npos) << run.out;
    }
}

TEST_F(Program, FormatsChooseTheFilesWritten) {
    const std::string inputs = "recover-db --contacts " + Quoted(paths_.contacts) + " --messages " +
                               Quoted(paths_.messages) + " --out ";
    ProgramRun chosen = Quillbrook(inputs + Quoted(Path("chosen")) + " --formats vcf,csv");
    EXPECT_EQ(chosen.exitCode, 0) << chosen.err;
    for (const char* file : {"Contacts.vcf", "Contacts.csv", "Messages.csv"}) {
        EXPECT_TRUE(platform::FileExists(platform::JoinPath(Path("chosen"), file))) << file;
    }
    for (const char* file : {"Contacts.html", "Messages.html", "Messages.xml"}) {
        EXPECT_FALSE(platform::FileExists(platform::JoinPath(Path("chosen"), file))) << file;
        EXPECT_EQ(chosen.out.find(file), std::string::npos) << chosen.out;
    }

    ProgramRun unknown = Quillbrook(inputs + Quoted(Path("unknown")) + " --formats html,pdf");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("--formats: unknown format \"pdf\""), std::string::npos) << unknown.err;
    EXPECT_FALSE(platform::FolderExists(Path("unknown")));
}

TEST_F(Program, NothingReadableExitsWithOneNamingEachInput) {
    ProgramRun run = Quillbrook("recover-db --contacts " + Quoted(Path("gone.db")) + " --messages " +
                         Quoted(Path("also-gone.db")) + " --out " + Quoted(Path("reports")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(Path("gone.db")), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(Path("also-gone.db")), std::string::npos) << run.err;
    EXPECT_FALSE(platform::FileExists(platform::JoinPath(Path("reports"), "Contacts.html")));
}

TEST_F(Program, DemoRecoversTheSamplePhoneAndSaysWhat) {
    const std::string out = Path("demo");
    ProgramRun run = Quillbrook("demo --out " + Quoted(out));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("Deleted contacts"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Deleted conversations"), std::string::npos) << run.out;
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(out, "Contacts(", "Contacts.html")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(out, "Messages(", "Messages.html")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(out, "Contacts(", "Contacts.vcf")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(out, "Messages(", "Messages.xml")));
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(platform::JoinPath(out, "sample-phone"), "truth.json")));
}

}  // namespace
}  // namespace qb
