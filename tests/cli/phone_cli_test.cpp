// quillbrook phone and the demo's road through acquisition, run as the real
// program against the fake bridge client (and, with no phone, against the
// real one), with the working folders under a temporary folder of the
// test's own (its path has spaces).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "tests/cli/run_quillbrook.h"
#include "platform/process.h"
#include "tools/fake_adb/fake_phone_layout.h"
#include "tools/sample_phone/sample_phone.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace qb {
namespace {

// The variable that names the user's temporary folder.
#ifdef _WIN32
constexpr const char* kTempVariable = "TMP";
constexpr char kPathListSeparator = ';';
#else
constexpr const char* kTempVariable = "TMPDIR";
constexpr char kPathListSeparator = ':';
#endif

constexpr const char* kContactsRemote = "/data/data/com.android.providers.contacts/databases/contacts2.db";
constexpr const char* kMessagesRemote = "/data/data/com.android.providers.telephony/databases/mmssms.db";

const char* const kTips[] = {
    "Cannot load data from Android Phone, please : \n",
    "1. Be sure you've installed the drive of your device\n",
    "2. Make sure device enables USB Debugging(Setting >> Applications >> Development >> USB debugging).\n",
    "3. If you want to recover SMS or contacts, please make sure you've got ROOT access on your Android phone.\n",
    "4. If you want to recover the data on the phone's SD card, you should turn on USB storage on the device.\n",
};

class PhoneCommand : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-phone-cli-");
        ASSERT_FALSE(folder_.empty());
        temp_ = Path("user temp");
        phone_ = Path("phone");
        ASSERT_TRUE(platform::CreateFolder(temp_));
        ASSERT_TRUE(platform::CreateFolder(phone_));
        platform::SetEnvironmentValue("QB_FAKE_ADB_PHONE", phone_);
        oldTemp_ = platform::GetEnvironmentValue(kTempVariable);
        platform::SetEnvironmentValue(kTempVariable, temp_);
        SetPhone("state", "device\n");
        SetPhone("su", "");
    }
    void TearDown() override {
        platform::UnsetEnvironmentValue("QB_FAKE_ADB_PHONE");
        if (oldTemp_) platform::SetEnvironmentValue(kTempVariable, *oldTemp_);
        else platform::UnsetEnvironmentValue(kTempVariable);
        platform::RemoveFolderTree(folder_);
    }

    std::string Path(const std::string& name) const { return platform::JoinPath(folder_, name); }
    void SetPhone(const std::string& name, const std::string& bytes) const {
        ASSERT_TRUE(platform::WriteWholeFile(platform::JoinPath(phone_, name), bytes));
    }
    // The generated sample databases where Android keeps them.
    void PutSampleDatabases() const {
        std::string error;
        ASSERT_TRUE(tools::GenerateSamplePhone(Path("sample"), {}, &error)) << error;
        ASSERT_TRUE(tools::LayOutFakePhone(tools::SamplePhoneLayout(Path("sample")), phone_, {}, &error)) << error;
    }
    // What the program printed, with the line ends of a Windows console
    // program (CR LF) read as line feeds.
    static platform::ProcessResult Quillbrook(std::vector<std::string> args) {
        platform::ProcessResult run = testsupport::RunQuillbrook(std::move(args));
#ifdef _WIN32
        std::string lines;
        for (std::size_t i = 0; i < run.output.size(); ++i) {
            if (!(run.output[i] == '\r' && i + 1 < run.output.size() && run.output[i + 1] == '\n')) lines += run.output[i];
        }
        run.output = lines;
#endif
        return run;
    }
    std::string Work(const std::string& relative) const { return platform::JoinPath(temp_, relative); }

    std::string folder_, temp_, phone_;
    std::optional<std::string> oldTemp_;
};

TEST_F(PhoneCommand, NoDeviceShowsTheConnectionTipsAndExitsWithOne) {
    SetPhone("state", "none\n");
    const auto run = Quillbrook({"phone", "--out", Path("out"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_EQ(run.exitCode, 1);
    std::string tips;
    for (const char* line : kTips) tips += line;
    EXPECT_NE(run.output.find(tips), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Devices attached: none\nPhone: no phone found\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Authorization"), std::string::npos);
    EXPECT_FALSE(platform::FolderExists(Path("out")));
    EXPECT_FALSE(platform::FileExists(Work("Velmora/contacts2.db")));
}

TEST_F(PhoneCommand, AnUnauthorisedPhoneAlsoAsksForAuthorisation) {
    SetPhone("state", "unauthorized\n");
    const auto run = Quillbrook({"phone", "--out", Path("out"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("Authorization on device is required in order to continue.\n"
                              "Please check your phone screen and authorize this computer as shown below.\n" +
                              std::string(kTips[0])),
              std::string::npos)
        << run.output;
}

TEST_F(PhoneCommand, AMissingClientIsNamedAndMeansNoDevice) {
    const auto run = Quillbrook({"phone", "--out", Path("out"), "--adb", Path("no adb here")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("no Android Debug Bridge client at " + Path("no adb here")), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(kTips[0]), std::string::npos);
}

TEST_F(PhoneCommand, ABareClientNameIsLookedUpOnThePath) {
    SetPhone("state", "none\n");
    const std::string fake = QB_FAKE_ADB_PATH;
    const std::string oldPath = platform::GetEnvironmentValue("PATH").value_or("");
    const std::size_t slash = fake.find_last_of("/\\");
    platform::SetEnvironmentValue("PATH", fake.substr(0, slash) + kPathListSeparator + oldPath);
    const auto run = Quillbrook({"phone", "--out", Path("out"), "--adb", fake.substr(slash + 1)});
    platform::SetEnvironmentValue("PATH", oldPath);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output.find("no Android Debug Bridge client"), std::string::npos) << run.output;
    const std::string log = platform::ReadWholeFile(platform::JoinPath(phone_, "log")).value_or("");
    EXPECT_EQ(log, "start-server\ndevices\nkill-server\n");
}

TEST_F(PhoneCommand, AReadyPhoneIsRecoveredIntoBothReportsAndTheCopiesAreDeleted) {
    PutSampleDatabases();
    const auto run = Quillbrook({"phone", "--out", Path("reports"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Phone: ready"), std::string::npos) << run.output;
    // The same counts as the sample's own copies give.
    const tools::SamplePhonePaths sample = tools::SamplePhoneLayout(Path("sample"));
    const auto direct = Quillbrook({"recover-db", "--contacts", sample.contacts, "--contacts-backup",
                                    sample.contactsBackup, "--messages", sample.messages, "--messages-backup",
                                    sample.messagesBackup, "--out", Path("direct")});
    ASSERT_EQ(direct.exitCode, 0) << direct.output;
    const std::string counts = direct.output.substr(0, direct.output.find("Reports:"));
    EXPECT_NE(counts.find("deleted)"), std::string::npos) << counts;
    EXPECT_NE(run.output.find(counts), std::string::npos) << run.output << "\nexpected:\n" << counts;
    // Written as Recover writes them, in a new output root.
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("reports"), "Contacts(", "Contacts.html")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("reports"), "Messages(", "Messages.html")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("reports"), "Contacts(", "Contacts.vcf")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("reports"), "Messages(", "Messages.xml")));
    // Only the formats asked for.
    const auto chosen = Quillbrook({"phone", "--out", Path("chosen"), "--adb", QB_FAKE_ADB_PATH, "--formats", "xml"});
    EXPECT_EQ(chosen.exitCode, 0) << chosen.output;
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("chosen"), "Messages(", "Messages.xml")));
    EXPECT_FALSE(platform::FileExists(testsupport::RecoveredPath(Path("chosen"), "Messages(", "Messages.html")));
    EXPECT_EQ(testsupport::RecoveredPath(Path("chosen"), "Contacts(", ""), "") << "no contacts folder";
    // Nothing of the phone stays on this computer, and no bridge server runs.
    EXPECT_FALSE(platform::FolderExists(Work("Velmora")));
    EXPECT_FALSE(platform::FolderExists(Work("velmora-quillbrook")));
    EXPECT_FALSE(platform::FileExists(platform::JoinPath(phone_, "server")));
    // The phone's databases are no longer readable by every app.
    const std::string modes = platform::ReadWholeFile(platform::JoinPath(phone_, "modes")).value_or("");
    EXPECT_NE(modes.find(std::string("660 ") + kContactsRemote + "\n"), std::string::npos) << modes;
    EXPECT_EQ(modes.find("777"), std::string::npos) << modes;
}

#ifdef _WIN32
TEST_F(PhoneCommand, WithoutAClientNamedTheOneBesideTheProgramRuns) {
    // The build stages the fake client beside quillbrook under the client's
    // own file name.
    PutSampleDatabases();
    const auto run = Quillbrook({"phone", "--out", Path("reports")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Phone: ready"), std::string::npos) << run.output;
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("reports"), "Messages(", "Messages.html")));
    // The log writes each backslash of an argument doubled.
    std::string local;
    for (const char c : Work("velmora-quillbrook\\mmssms.db")) local += c == '\\' ? std::string("\\\\") : std::string(1, c);
    const std::string log = platform::ReadWholeFile(platform::JoinPath(phone_, "log")).value_or("");
    EXPECT_NE(log.find(std::string("pull\t") + kMessagesRemote + "\t" + local + "\n"), std::string::npos) << log;
}
#endif

TEST_F(PhoneCommand, AReadyPhoneWithoutSuAsksForRoot) {
    PutSampleDatabases();
    platform::DeleteFileIfExists(platform::JoinPath(phone_, "su"));
    const auto run = Quillbrook({"phone", "--out", Path("reports"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("no superuser command works on it"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("needs ROOT access on the phone"), std::string::npos);
    EXPECT_TRUE(testsupport::RecoveredPath(Path("reports"), "Contacts(", "Contacts.html").empty());
}

TEST_F(PhoneCommand, AFileThatFailsOnARootedPhoneIsNamedWithoutTheRootHint) {
    // A root manager's su, SELinux, the messages where Android 7 keeps them.
    std::string error;
    ASSERT_TRUE(tools::GenerateSamplePhone(Path("sample"), {}, &error)) << error;
    tools::FakePhoneState today;
    today.su = "manager";
    today.selinux = true;
    today.android7 = true;
    ASSERT_TRUE(tools::LayOutFakePhone(tools::SamplePhoneLayout(Path("sample")), phone_, today, &error)) << error;
    // Unplugged during the first copy: that file is named, cut short.
    SetPhone("vanish", "1000\n");
    const auto cut = Quillbrook({"phone", "--out", Path("cut"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_NE(cut.output.find(std::string("cannot copy ") + kContactsRemote + ": cut short, the partial copy was deleted"),
              std::string::npos)
        << cut.output;
    EXPECT_EQ(cut.output.find("ROOT"), std::string::npos) << cut.output;
    EXPECT_FALSE(platform::FolderExists(Work("Velmora")));
}

TEST_F(PhoneCommand, SerialChoosesAmongSeveralDevices) {
    PutSampleDatabases();
    SetPhone("others", "emulator-5554 device\n");
    const auto first = Quillbrook({"phone", "--out", Path("first"), "--adb", QB_FAKE_ADB_PATH});
    EXPECT_NE(first.output.find("Devices attached: emulator-5554 (device), 0123456789ABCDEF (device)\n"
                                "Phone: ready (emulator-5554)\n"),
              std::string::npos)
        << first.output;
    EXPECT_EQ(first.exitCode, 1);  // the emulator is not rooted
    const auto chosen =
        Quillbrook({"phone", "--out", Path("chosen"), "--adb", QB_FAKE_ADB_PATH, "--serial", "0123456789ABCDEF"});
    EXPECT_EQ(chosen.exitCode, 0) << chosen.output;
    EXPECT_NE(chosen.output.find("Phone: ready (0123456789ABCDEF)"), std::string::npos) << chosen.output;
    const auto unknown = Quillbrook({"phone", "--out", Path("x"), "--adb", QB_FAKE_ADB_PATH, "--serial", "R58"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.output.find("no device R58 is ready among those attached"), std::string::npos) << unknown.output;
}

#ifndef _WIN32
// Whether anything listens on the loopback port, from the kernel's tables.
bool Listening(unsigned port) {
    char hexPort[8];
    std::snprintf(hexPort, sizeof hexPort, ":%04X ", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        const std::string text = platform::ReadWholeFile(table).value_or("");
        std::size_t at = 0;
        // Each line: index, local address:port, remote address:port, state
        // (0A listening), ...
        while ((at = text.find(hexPort, at)) != std::string::npos) {
            const std::size_t remoteEnd = text.find(' ', text.find_first_not_of(' ', at + 6));
            if (text.compare(remoteEnd + 1, 2, "0A") == 0) return true;
            at += 6;
        }
    }
    return false;
}

TEST_F(PhoneCommand, TheRealClientWithNoPhoneSaysSoAndLeavesNoServer) {
    const std::string adb = "/usr/bin/adb";
    if (!platform::FileExists(adb)) GTEST_SKIP() << "Debian's adb package is not installed";
    // A server port and a home of the test's own, so that no server of the
    // user's is touched and no key of theirs is read.
    const unsigned port = 20000 + static_cast<unsigned>(::getpid()) % 20000;
    ASSERT_FALSE(Listening(port));
    const auto oldHome = platform::GetEnvironmentValue("HOME");
    platform::SetEnvironmentValue("HOME", Path("home"));
    platform::SetEnvironmentValue("ANDROID_ADB_SERVER_PORT", std::to_string(port));
    const auto run = Quillbrook({"phone", "--out", Path("out"), "--adb", adb});
    platform::UnsetEnvironmentValue("ANDROID_ADB_SERVER_PORT");
    if (oldHome) platform::SetEnvironmentValue("HOME", *oldHome);
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("Phone: no phone found\n" + std::string(kTips[0])), std::string::npos) << run.output;
    EXPECT_FALSE(platform::FolderExists(Path("out")));
    // kill-server returns once the server has said it goes; give it a moment
    // to close its socket.
    for (int i = 0; i < 100 && Listening(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(Listening(port));
}
#endif

TEST_F(PhoneCommand, UsageErrorsExitWithTwo) {
    EXPECT_EQ(Quillbrook({"phone"}).exitCode, 2);
    EXPECT_EQ(Quillbrook({"phone", "--out"}).exitCode, 2);
    EXPECT_EQ(Quillbrook({"phone", "--out", Path("x"), "--bogus"}).exitCode, 2);
}

TEST_F(PhoneCommand, TheDemoGoesThroughAcquisitionAndRecovery) {
    platform::UnsetEnvironmentValue("QB_FAKE_ADB_PHONE");  // the demo points the client at its own phone
    const auto run = Quillbrook({"demo", "--out", Path("demo")});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const char* text : {"Bridge client runs: 60", "Phone: ready", "deleted)", "Deleted contacts",
                             "Deleted conversations", "Sample card generated", "files written to"}) {
        EXPECT_NE(run.output.find(text), std::string::npos) << run.output;
    }
    const std::string log = platform::ReadWholeFile(platform::JoinPath(Path("demo"), "phone/log")).value_or("");
    EXPECT_NE(log.find(std::string("pull\t") + kContactsRemote + "\t"), std::string::npos);
    // The reports and the card's files share one output root, as Recover
    // leaves them.
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("demo"), "Contacts(", "Contacts.html")));
    EXPECT_TRUE(platform::FileExists(testsupport::RecoveredPath(Path("demo"), "Messages(", "Messages.html")));
    EXPECT_FALSE(testsupport::RecoveredPath(Path("demo"), "disk", "jpg").empty());
    EXPECT_TRUE(std::filesystem::is_directory(testsupport::RecoveredPath(Path("demo"), "disk", "jpg")));
    // Its working copies lived in a folder of its own, gone afterwards.
    EXPECT_TRUE(std::filesystem::is_empty(temp_));
}

}  // namespace
}  // namespace qb
