// The bridge client layer: device-list parsing, the exact command lines the
// client receives (read back from the fake client's log), the pull with its
// mode restored, time limits, and the client's path.
#include "device/adb_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"
#include "tests/device/fake_phone.h"

namespace qb::device {
namespace {

using namespace std::chrono_literals;
using testsupport::FakePhone;
using testsupport::Invocation;
using Clock = std::chrono::steady_clock;

constexpr const char* kContacts = "/data/data/com.android.providers.contacts/databases/contacts2.db";

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// ------------------------------------------------------------ device list

TEST(DeviceList, HeaderAloneMeansNoDevice) {
    EXPECT_EQ(ParseDeviceList("List of devices attached\n\n"), DeviceState::NoDevice);
    EXPECT_EQ(ParseDeviceList("List of devices attached\r\n\r\n"), DeviceState::NoDevice);
    EXPECT_EQ(ParseDeviceList(""), DeviceState::NoDevice);
}

TEST(DeviceList, AReadyDeviceAfterTheDaemonNotice) {
    EXPECT_EQ(ParseDeviceList("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
                              "List of devices attached\n0123456789ABCDEF\tdevice\n\n"),
              DeviceState::Ready);
    EXPECT_EQ(ParseDeviceList("List of devices attached\r\nemulator-5554\tdevice\r\n\r\n"), DeviceState::Ready);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nR58M12ABCDE\tdevice"), DeviceState::Ready);
}

TEST(DeviceList, UnauthorizedOrOfflineNeedsAuthorization) {
    EXPECT_EQ(ParseDeviceList("List of devices attached\nR58M12ABCDE\tunauthorized\n\n"),
              DeviceState::NeedsAuthorization);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nR58M12ABCDE\toffline\n\n"), DeviceState::NeedsAuthorization);
}

TEST(DeviceList, TheFirstDecisiveLineWins) {
    EXPECT_EQ(ParseDeviceList("List of devices attached\nAAA\tunauthorized\nBBB\tdevice\n\n"),
              DeviceState::NeedsAuthorization);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nAAA\tdevice\nBBB\toffline\n\n"), DeviceState::Ready);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nAAA\trecovery\nBBB\tdevice\n\n"), DeviceState::Ready);
}

TEST(DeviceList, OtherStatesAreNoDevice) {
    for (const char* state : {"recovery", "bootloader", "sideload", "host", "authorizing", "connecting"}) {
        EXPECT_EQ(ParseDeviceList(std::string("List of devices attached\n0123456789ABCDEF\t") + state + "\n\n"),
                  DeviceState::NoDevice)
            << state;
    }
}

TEST(DeviceList, ASerialContainingDeviceCountsAsReadyUnlessTheLineSaysOtherwise) {
    EXPECT_EQ(ParseDeviceList("List of devices attached\nmydevice01\trecovery\n\n"), DeviceState::Ready);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nmydevice01\toffline\n\n"), DeviceState::NeedsAuthorization);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nmydevice01\tunauthorized\n\n"),
              DeviceState::NeedsAuthorization);
}

TEST(DeviceList, ADeviceThisUserMayNotOpenIsNotReady) {
    // adb on Linux without a udev rule for the phone; the line's "device"
    // is only in the help address.
    const std::string noPermissions =
        "0123456789ABCDEF\tno permissions (user in plugdev group; are your udev rules wrong?); "
        "see [http://developer.android.com/tools/device.html]\n";
    EXPECT_EQ(ParseDeviceList("List of devices attached\n" + noPermissions + "\n"), DeviceState::NoDevice);
    EXPECT_EQ(ParseDeviceList("List of devices attached\n" + noPermissions + "BBB\tunauthorized\n\n"),
              DeviceState::NeedsAuthorization);
}

TEST(DeviceList, TheHeaderResetsWhatCameBefore) {
    // Only a decisive line returns; a header after noise starts afresh.
    EXPECT_EQ(ParseDeviceList("adb server version (39) doesn't match this client (41); killing...\n"
                              "List of devices attached\n\n"),
              DeviceState::NoDevice);
}

// ------------------------------------------------------------ file mode

TEST(FileMode, TheLastLineOfOctalDigits) {
    EXPECT_EQ(ParseFileMode("660\n"), "660");
    EXPECT_EQ(ParseFileMode("660\r\n"), "660");
    EXPECT_EQ(ParseFileMode("0600"), "0600");
    EXPECT_EQ(ParseFileMode("WARNING: linker: /system/xbin/su: unused DT entry: type 0x6ffffffe\n771\n"), "771");
}

TEST(FileMode, AnythingElseIsNoMode) {
    EXPECT_EQ(ParseFileMode(""), "");
    EXPECT_EQ(ParseFileMode("\n\n"), "");
    EXPECT_EQ(ParseFileMode("/system/bin/sh: su: inaccessible or not found\n"), "");
    EXPECT_EQ(ParseFileMode("stat: '/data/x': No such file or directory\n"), "");
    EXPECT_EQ(ParseFileMode("adb: device offline\n"), "");
    EXPECT_EQ(ParseFileMode("12345\n"), "");
    EXPECT_EQ(ParseFileMode("689\n"), "");
    EXPECT_EQ(ParseFileMode("6 6 0\n"), "");
}

// ------------------------------------------------------------ command lines

TEST(AdbCommands, EveryCommandIsPrecededByAServerStart) {
    FakePhone phone;
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::Ready);
    KillServer(phone.Options());
    EXPECT_EQ(phone.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}, {"kill-server"}}));
    EXPECT_FALSE(phone.ServerRunning());
}

TEST(AdbCommands, QueryDeviceStateReadsTheFakesStates) {
    FakePhone phone;
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::Ready);
    phone.SetState("unauthorized");
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::NeedsAuthorization);
    phone.SetState("offline");
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::NeedsAuthorization);
    phone.SetState("recovery");
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::NoDevice);
    phone.SetState("none");
    EXPECT_EQ(QueryDeviceState(phone.Options()), DeviceState::NoDevice);
}

TEST(AdbCommands, AMissingClientIsNoDevice) {
    FakePhone phone;
    AdbOptions options = phone.Options();
    options.clientPath = phone.Scratch("no-such-client");
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(QueryDeviceState(options), DeviceState::NoDevice);
    EXPECT_EQ(RunAdb({"devices"}, options), "");
    PullFile(kContacts, phone.Scratch("copy.db"), options);
    KillServer(options);
    EXPECT_FALSE(platform::FileExists(phone.Scratch("copy.db")));
    EXPECT_LT(Since(start), 2s);
}

TEST(AdbCommands, PullReadsTheModeOpensTheFileCopiesItAndPutsTheModeBack) {
    FakePhone phone;
    phone.Put(kContacts, "contacts bytes");
    phone.SetMode(kContacts, "600");
    const std::string local = phone.Scratch("contacts2.db");
    PullFile(kContacts, local, phone.Options());

    EXPECT_EQ(platform::ReadWholeFile(local).value_or(""), "contacts bytes");
    EXPECT_EQ(phone.Mode(kContacts), "600");
    const std::vector<Invocation> expected = {
        {"start-server"}, {"shell", "su", "root", "stat", "-c", "%a", kContacts},
        {"start-server"}, {"shell", "su", "root", "chmod", "777", kContacts},
        {"start-server"}, {"pull", kContacts, local},
        {"start-server"}, {"shell", "su", "root", "chmod", "600", kContacts},
    };
    EXPECT_EQ(phone.Invocations(), expected);
}

TEST(AdbCommands, ALocalPathWithSpacesArrivesAsOneArgument) {
    FakePhone phone;
    phone.Put(kContacts, "bytes");
    platform::CreateFolders(phone.Scratch("Local Settings/Temp Folder/Velmora"));
    const std::string local = phone.Scratch("Local Settings/Temp Folder/Velmora/contacts2.db");
    PullFile(kContacts, local, phone.Options());
    EXPECT_EQ(platform::ReadWholeFile(local).value_or(""), "bytes");
    bool pulled = false;
    for (const Invocation& call : phone.Invocations()) {
        if (!call.empty() && call[0] == "pull") {
            EXPECT_EQ(call, (Invocation {"pull", kContacts, local}));
            pulled = true;
        }
    }
    EXPECT_TRUE(pulled);
}

TEST(AdbCommands, WithoutSuNothingIsCopiedAndNoModeIsTouched) {
    FakePhone phone;
    phone.SetSu(false);
    phone.Put(kContacts, "bytes");
    const std::string local = phone.Scratch("contacts2.db");
    PullFile(kContacts, local, phone.Options());
    EXPECT_FALSE(platform::FileExists(local));
    EXPECT_EQ(phone.Mode(kContacts), "660");
    // The mode could not be read, so nothing is put back.
    const std::vector<Invocation> expected = {
        {"start-server"}, {"shell", "su", "root", "stat", "-c", "%a", kContacts},
        {"start-server"}, {"shell", "su", "root", "chmod", "777", kContacts},
        {"start-server"}, {"pull", kContacts, local},
    };
    EXPECT_EQ(phone.Invocations(), expected);
}

TEST(AdbCommands, AFileThePhoneDoesNotHaveIsNotWritten) {
    FakePhone phone;
    const std::string local = phone.Scratch("contacts2.db-wal");
    PullFile(std::string(kContacts) + "-wal", local, phone.Options());
    EXPECT_FALSE(platform::FileExists(local));
    EXPECT_EQ(phone.Invocations().size(), 6u);  // no chmod back without a mode
}

TEST(AdbCommands, OneMebibyteOfOutputComesBackWhole) {
    FakePhone phone;
    std::string bytes(1 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    phone.Put("/sdcard/big.bin", bytes);
    const Clock::time_point start = Clock::now();
    const std::string out = RunAdb({"shell", "su", "root", "cat", "/sdcard/big.bin"}, phone.Options(5s, 10s));
    EXPECT_LT(Since(start), 5s);
    ASSERT_EQ(out.size(), bytes.size());
    EXPECT_TRUE(out == bytes);
}

// ------------------------------------------------------------ time limits

TEST(AdbTimeLimits, AHangingDeviceListIsKilledAtTheCapturedLimit) {
    FakePhone phone;
    phone.SetState("hang");
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(QueryDeviceState(phone.Options(2s, 400ms)), DeviceState::NoDevice);
    const auto took = Since(start);
    EXPECT_GE(took, 400ms);
    EXPECT_LT(took, 2s);
    EXPECT_EQ(phone.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}}));
}

TEST(AdbTimeLimits, AHangingServerStartIsKilledAtTheHiddenLimitAndTheCommandStillRuns) {
    FakePhone phone;
    phone.HangOn({"start-server"});
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(QueryDeviceState(phone.Options(300ms, 5s)), DeviceState::Ready);
    const auto took = Since(start);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
}

TEST(AdbTimeLimits, AHangingKillServerIsKilledAtTheHiddenLimit) {
    FakePhone phone;
    phone.HangOn({"kill-server"});
    const Clock::time_point start = Clock::now();
    KillServer(phone.Options(250ms, 5s));
    EXPECT_GE(Since(start), 250ms);
    EXPECT_LT(Since(start), 2s);
}

TEST(AdbTimeLimits, AHangingPullStillGetsItsModeBack) {
    FakePhone phone;
    phone.Put(kContacts, "bytes");
    phone.HangOn({"pull"});
    PullFile(kContacts, phone.Scratch("copy.db"), phone.Options(2s, 300ms));
    EXPECT_EQ(phone.Mode(kContacts), "660");
    EXPECT_EQ(phone.Invocations().back(), (Invocation {"shell", "su", "root", "chmod", "660", kContacts}));
}

TEST(AdbTimeLimits, TheProductLimitsHoldForAClientThatNeverAnswers) {
    // The one test at the real limits: 3000 ms for the server start, then
    // 10000 ms for the device list.
    FakePhone phone;
    phone.HangOn({"start-server", "devices"});
    AdbOptions options;
#ifndef _WIN32
    options.clientPath = testsupport::FakeClientPath();
#endif
    // On Windows the default client: the fake staged beside the programs.
    EXPECT_EQ(options.hiddenLimit, 3000ms);
    EXPECT_EQ(options.capturedLimit, 10000ms);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(QueryDeviceState(options), DeviceState::NoDevice);
    const auto took = Since(start);
    EXPECT_GE(took, 13000ms);
    // Under a loaded machine, with room to spare before one more limit.
    EXPECT_LT(took, 15500ms);
}

// ------------------------------------------------------------ client path

#ifdef _WIN32
TEST(AdbClient, BesideTheExecutableWhateverThePath) {
    const std::string beside = platform::ExecutableFolder() + "\\velmora-quillbrook-adb-help.exe";
    EXPECT_EQ(AdbClientPath(), beside);
    testsupport::ScopedTempFolder folder("qb-adb-path-");
    platform::CreateFolder(folder.File("bin"));
    ASSERT_TRUE(platform::CopyFileReplace(testsupport::FakeClientPath(), platform::JoinPath(folder.File("bin"), "adb.exe")));
    const std::string oldPath = platform::GetEnvironmentValue("PATH").value_or("");
    platform::SetEnvironmentValue("PATH", folder.File("bin"));
    EXPECT_EQ(AdbClientPath(), beside);
    platform::SetEnvironmentValue("PATH", oldPath);
}

TEST(AdbClient, TheDefaultClientIsTheOneStagedBesideTheProgram) {
    // The build puts the fake client there under the client's name.
    ASSERT_TRUE(platform::FileExists(AdbClientPath())) << AdbClientPath();
    FakePhone phone;
    phone.Put(kContacts, "bytes");
    EXPECT_EQ(QueryDeviceState(), DeviceState::Ready);
    PullFile(kContacts, phone.Scratch("copy of contacts2.db"));
    KillServer();
    EXPECT_EQ(platform::ReadWholeFile(phone.Scratch("copy of contacts2.db")).value_or(""), "bytes");
    EXPECT_EQ(phone.Invocations().size(), 11u);  // 2 for the query, 8 for the pull, 1 to stop
    EXPECT_EQ(phone.Invocations().back(), Invocation {"kill-server"});
}
#else
TEST(AdbClient, BesideTheExecutableElseAdbOnThePath) {
    const std::string beside = platform::JoinPath(
        platform::ExecutableFolder(), std::string(kAdbClientName) + std::string(platform::ExecutableSuffix()));
    ASSERT_FALSE(platform::FileExists(beside)) << "a client beside the test program hides the PATH lookup";
    testsupport::ScopedTempFolder folder("qb-adb-path-");
    platform::CreateFolder(folder.File("bin"));
    const std::string adb = platform::JoinPath(folder.File("bin"), "adb" + std::string(platform::ExecutableSuffix()));
    ASSERT_TRUE(platform::CopyFileReplace(testsupport::FakeClientPath(), adb));
    std::filesystem::permissions(adb, std::filesystem::perms::owner_all);

    const std::string oldPath = platform::GetEnvironmentValue("PATH").value_or("");
    platform::SetEnvironmentValue("PATH", folder.File("bin"));
    EXPECT_EQ(AdbClientPath(), adb);
    platform::SetEnvironmentValue("PATH", folder.File("empty"));
    EXPECT_EQ(AdbClientPath(), beside);
    platform::SetEnvironmentValue("PATH", oldPath);
}
#endif

}  // namespace
}  // namespace qb::device
