// The fake bridge client on its own: what it prints for each command, exit
// codes, its phone's rules (a pull needs a readable file, chmod and stat need
// su, each su reads its arguments its own way, SELinux refuses pulls under
// /data), several devices, an unplugged phone and its log, run directly as a
// child process.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "tests/device/fake_phone.h"

namespace qb {
namespace {

using testsupport::FakePhone;
using testsupport::FakeClientPath;

constexpr const char* kContacts = "/data/data/com.android.providers.contacts/databases/contacts2.db";

platform::ProcessResult Adb(std::vector<std::string> args) {
    args.insert(args.begin(), FakeClientPath());
    return platform::RunProcess(args, std::chrono::seconds(10), platform::ChildOutput::Capture);
}

TEST(FakeAdbDevices, ListsTheDeviceAsAdbDoes) {
    FakePhone phone;
    const auto first = Adb({"devices"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.output,
              "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
              "List of devices attached\n0123456789ABCDEF\tdevice\n\n");
    EXPECT_TRUE(phone.ServerRunning());

    phone.SetState("unauthorized");
    phone.SetSerial("R58M12ABCDE");
    EXPECT_EQ(Adb({"devices"}).output, "List of devices attached\nR58M12ABCDE\tunauthorized\n\n");

    phone.SetState("none");
    EXPECT_EQ(Adb({"devices"}).output, "List of devices attached\n\n");
}

TEST(FakeAdbDevices, StartAndKillServerKeepTheServerState) {
    FakePhone phone;
    EXPECT_EQ(Adb({"start-server"}).output,
              "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n");
    EXPECT_TRUE(phone.ServerRunning());
    EXPECT_EQ(Adb({"start-server"}).output, "");
    EXPECT_EQ(Adb({"kill-server"}).exitCode, 0);
    EXPECT_FALSE(phone.ServerRunning());
}

TEST(FakeAdbDevices, WithoutAPhoneFolderNoDeviceIsListed) {
    const auto run = Adb({"devices"});  // no FakePhone: the variable is unset
    EXPECT_EQ(run.output, "List of devices attached\n\n");
    EXPECT_EQ(Adb({"pull", kContacts, "x"}).exitCode, 1);
}

TEST(FakeAdbPull, NeedsAReadableFileAsOnAPhone) {
    FakePhone phone;
    phone.Put(kContacts, "database bytes");
    const std::string local = phone.Scratch("contacts2.db");

    const auto refused = Adb({"pull", kContacts, local});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.output.find(std::string("adb: error: failed to stat remote object '") + kContacts +
                                  "': Permission denied\n"),
              std::string::npos)
        << refused.output;
    EXPECT_FALSE(platform::FileExists(local));

    EXPECT_EQ(Adb({"shell", "su", "root", "chmod", "777", kContacts}).exitCode, 0);
    EXPECT_EQ(phone.Mode(kContacts), "777");
    const auto pulled = Adb({"pull", kContacts, local});
    EXPECT_EQ(pulled.exitCode, 0);
    EXPECT_TRUE(std::regex_search(pulled.output, std::regex(std::string(kContacts) +
                                                            R"(: 1 file pulled, 0 skipped\. [0-9.]+ MB/s \(14 bytes in [0-9.]+s\)\n$)")))
        << pulled.output;
    EXPECT_EQ(platform::ReadWholeFile(local).value_or(""), "database bytes");

    // Into a folder: the file keeps its name.
    platform::CreateFolder(phone.Scratch("into"));
    EXPECT_EQ(Adb({"pull", kContacts, phone.Scratch("into")}).exitCode, 0);
    EXPECT_TRUE(platform::FileExists(platform::JoinPath(phone.Scratch("into"), "contacts2.db")));
}

TEST(FakeAdbPull, MissingFilesAndBadPathsAreRefused) {
    FakePhone phone;
    const auto missing = Adb({"pull", "/data/nothing.db", phone.Scratch("x")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.output,
              "* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
              "adb: error: failed to stat remote object '/data/nothing.db': No such file or directory\n");
    phone.Put("/secret", "x");
    phone.SetMode("/secret", "644");
    EXPECT_EQ(Adb({"pull", "/data/../../secret", phone.Scratch("y")}).exitCode, 1);
    EXPECT_EQ(Adb({"pull", "relative/path", phone.Scratch("y")}).exitCode, 1);
    EXPECT_FALSE(platform::FileExists(phone.Scratch("y")));
    const auto cannotWrite = Adb({"pull", "/secret", phone.Scratch("no/such/folder/y")});
    EXPECT_EQ(cannotWrite.exitCode, 1);
    EXPECT_NE(cannotWrite.output.find("adb: error: cannot create"), std::string::npos) << cannotWrite.output;
}

TEST(FakeAdbShell, SuChmodAndStatActAsRootOnly) {
    FakePhone phone;
    phone.Put(kContacts, "x");
    Adb({"start-server"});
    EXPECT_EQ(Adb({"shell", "su", "root", "stat", "-c", "%a", kContacts}).output, "660\n");
    EXPECT_EQ(Adb({"shell", "su", "0", "chmod", "600", kContacts}).exitCode, 0);
    EXPECT_EQ(Adb({"shell", "su root stat -c %a " + std::string(kContacts)}).output, "600\n");

    const auto asShell = Adb({"shell", "chmod", "777", kContacts});
    EXPECT_EQ(asShell.exitCode, 1);
    EXPECT_NE(asShell.output.find("Permission denied"), std::string::npos);
    EXPECT_EQ(phone.Mode(kContacts), "600");

    const auto missing = Adb({"shell", "su", "root", "chmod", "777", "/data/none"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.output, "chmod: /data/none: No such file or directory\n");

    phone.SetSu(false);
    const auto noSu = Adb({"shell", "su", "root", "chmod", "777", kContacts});
    EXPECT_EQ(noSu.exitCode, 127);
    EXPECT_EQ(noSu.output, "/system/bin/sh: su: inaccessible or not found\n");
    EXPECT_EQ(phone.Mode(kContacts), "600");
    EXPECT_EQ(Adb({"shell", "id"}).output.rfind("uid=2000(shell)", 0), 0u);
}

TEST(FakeAdbShell, CommandsNeedAUsableDevice) {
    FakePhone phone;
    Adb({"start-server"});
    phone.SetState("unauthorized");
    const auto unauthorized = Adb({"shell", "id"});
    EXPECT_EQ(unauthorized.exitCode, 1);
    EXPECT_EQ(unauthorized.output.rfind("error: device unauthorized.\n", 0), 0u) << unauthorized.output;
    phone.SetState("offline");
    EXPECT_EQ(Adb({"pull", kContacts, "x"}).output, "adb: error: failed to get feature set: device offline\n");
    phone.SetState("none");
    EXPECT_EQ(Adb({"shell", "id"}).output, "error: no devices/emulators found\n");
    EXPECT_EQ(Adb({"exec-out", "id"}).exitCode, 255);
    EXPECT_EQ(Adb({"frobnicate"}).exitCode, 1);
    EXPECT_EQ(Adb({"-d", "devices"}).exitCode, 1);
}

TEST(FakeAdbShell, EachSuReadsItsArgumentsAsTheRealOneDoes) {
    const std::string p = kContacts;
    const struct {
        const char* su;
        std::vector<std::string> command;  // after "shell"
        std::string output;
        std::string mode;  // of the database afterwards
    } cases[] = {
        {"aosp", {"su", "root", "stat", "-c", "%a", p}, "660\n", "660"},
        {"aosp", {"su", "0", "chmod", "600", p}, "", "600"},
        {"aosp", {"su", "-c", "'chmod 600 " + p + "'"}, "su: invalid uid/gid '-c'\n", "660"},
        {"aosp", {"su", "root"}, "", "660"},
        {"manager", {"su", "-c", "'stat -c %a " + p + "'"}, "660\n", "660"},
        {"manager", {"su", "-c", "'chmod 600 " + p + "'"}, "", "600"},
        {"manager", {"su", "root", "chmod", "777", p}, "", "660"},
        {"manager", {"su", "root", "stat", "-c", "%a", p}, "/system/bin/sh: %a: inaccessible or not found\n", "660"},
        {"manager", {"su", "0", "id"}, "", "660"},
        {"manager", {"su", "--mount-master", "-c", "id"}, "uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n",
         "660"},
        {"manager", {"su", "-x"}, "su: invalid option -- 'x'\n", "660"},
        {"", {"su", "-c", "id"}, "/system/bin/sh: su: inaccessible or not found\n", "660"},
    };
    for (const auto& c : cases) {
        FakePhone phone;
        phone.SetSuKind(c.su);
        phone.Put(kContacts, "x");
        Adb({"start-server"});
        std::vector<std::string> args = {"shell"};
        args.insert(args.end(), c.command.begin(), c.command.end());
        EXPECT_EQ(Adb(args).output, c.output) << c.su << ": " << c.command[1];
        EXPECT_EQ(phone.Mode(kContacts), c.mode) << c.su << ": " << c.command[1];
    }
}

TEST(FakeAdbShell, RefusesLinesThatNeedMoreOfTheShell) {
    FakePhone phone;
    Adb({"start-server"});
    for (const char* line : {"id; id", "echo $HOME", "ls /data/*", "cat /x > /y", "su -c 'id", "`id`", "# id"}) {
        const auto run = Adb({"shell", line});
        EXPECT_EQ(run.exitCode, 2) << line;
        EXPECT_NE(run.output.find("would not read this line"), std::string::npos) << line << ": " << run.output;
    }
    EXPECT_EQ(Adb({"shell", "\"id\""}).exitCode, 0);
}

TEST(FakeAdbPhones, SelinuxPtyTwoDevicesAndAnUnpluggedPhone) {
    FakePhone phone;
    phone.Put(kContacts, "line one\nline two\n");
    phone.SetMode(kContacts, "777");
    Adb({"start-server"});
    phone.SetSelinux(true);
    EXPECT_NE(Adb({"pull", kContacts, phone.Scratch("c")}).output.find("Permission denied"), std::string::npos);
    EXPECT_NE(Adb({"shell", "cat", kContacts}).output.find("Permission denied"), std::string::npos);
    phone.SetPty(true);
    EXPECT_EQ(Adb({"shell", "su", "root", "cat", kContacts}).output, "line one\r\nline two\r\n");
    EXPECT_EQ(Adb({"exec-out", "su", "root", "cat", kContacts}).output, "line one\nline two\n");
    // exec-out mixes the phone's errors into its output and ends well.
    const auto missing = Adb({"exec-out", "su", "root", "cat", "/data/none"});
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_EQ(missing.output, "cat: /data/none: No such file or directory\n");

    phone.SetOthers("emulator-5554 device\n");
    EXPECT_EQ(Adb({"devices"}).output, "List of devices attached\nemulator-5554\tdevice\n0123456789ABCDEF\tdevice\n\n");
    EXPECT_EQ(Adb({"shell", "id"}).output, "error: more than one device/emulator\n");
    EXPECT_EQ(Adb({"-s", "emulator-5554", "shell", "su", "root", "id"}).output,
              "/system/bin/sh: su: inaccessible or not found\n");
    EXPECT_EQ(Adb({"-s", "R58", "shell", "id"}).output, "error: device 'R58' not found\n");

    phone.VanishAfter(5);
    const auto cut = Adb({"-s", "0123456789ABCDEF", "exec-out", "su", "root", "cat", kContacts});
    EXPECT_EQ(cut.exitCode, 0);
    EXPECT_EQ(cut.output, "line ");
    EXPECT_EQ(Adb({"-s", "0123456789ABCDEF", "shell", "id"}).output, "error: device '0123456789ABCDEF' not found\n");
}

TEST(FakeAdbLog, RecordsEveryArgumentVectorExactly) {
    FakePhone phone;
    Adb({"start-server"});
    Adb({"devices"});
    Adb({"pull", "/a b/c", "C:\\x y\\z", "tab\there", "line\nbreak", "back\\slash", "Zoë 小明\\"});
    Adb({});
    const std::vector<testsupport::Invocation> expected = {
        {"start-server"},
        {"devices"},
        {"pull", "/a b/c", "C:\\x y\\z", "tab\there", "line\nbreak", "back\\slash", "Zoë 小明\\"},
        {},
    };
    EXPECT_EQ(phone.Invocations(), expected);
}

TEST(FakeAdbHang, AHangingCommandIsLoggedAndKilledByTheRunner) {
    FakePhone phone;
    phone.SetState("hang");
    // Long enough for the client to start and log under a loaded machine; the
    // hang itself lasts minutes, so the runner still has to kill it.
    const auto run = platform::RunProcess({FakeClientPath(), "devices"}, std::chrono::seconds(3),
                                          platform::ChildOutput::Capture);
    EXPECT_TRUE(run.timedOut);
    EXPECT_EQ(phone.Invocations(), (std::vector<testsupport::Invocation> {{"devices"}}));
}

}  // namespace
}  // namespace qb
