// The bridge client layer: device-list parsing and the choice of a device,
// what the phone's commands print, the exact command lines the client
// receives (read back from the fake client's log), time limits and stops,
// and the client's path.
#include "device/adb_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
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


std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// ------------------------------------------------------------ device list

TEST(DeviceList, DevicesAreTheLinesAfterTheHeader) {
    EXPECT_EQ(ParseDevices("List of devices attached\n\n"), std::vector<ListedDevice> {});
    EXPECT_EQ(ParseDevices(""), std::vector<ListedDevice> {});
    EXPECT_EQ(ParseDevices("* daemon not running; starting now at tcp:5037\n* daemon started successfully\n"
                           "List of devices attached\r\nemulator-5554\toffline\r\nR58M12ABCDE\tdevice\r\n\r\n"),
              (std::vector<ListedDevice> {{"emulator-5554", "offline"}, {"R58M12ABCDE", "device"}}));
    EXPECT_EQ(ParseDevices("List of devices attached\n0123\tno permissions (user in plugdev group); see [x]\n"),
              (std::vector<ListedDevice> {{"0123", "no permissions (user in plugdev group); see [x]"}}));
    // Notices before the header, and a restarted server's second listing.
    EXPECT_EQ(ParseDevices("AAA\tdevice\nList of devices attached\nBBB\tdevice\nList of devices attached\n"
                           "CCC\tunauthorized"),
              (std::vector<ListedDevice> {{"CCC", "unauthorized"}}));
}

TEST(DeviceList, TheFirstReadyDeviceIsChosenElseTheFirstWaitingOne) {
    const std::vector<ListedDevice> none;
    const std::vector<ListedDevice> waitingThenReady = {{"AAA", "unauthorized"}, {"BBB", "device"}, {"CCC", "device"}};
    const std::vector<ListedDevice> notReady = {{"AAA", "recovery"}, {"mydevice01", "bootloader"}, {"CCC", "offline"}};
    const std::vector<ListedDevice> others = {{"AAA", "recovery"}, {"BBB", "no permissions (see x)"}};
    const struct {
        const std::vector<ListedDevice>& devices;
        std::string wanted;
        DeviceState state;
        std::string serial;
    } cases[] = {
        {none, "", DeviceState::NoDevice, ""},
        {waitingThenReady, "", DeviceState::Ready, "BBB"},
        {waitingThenReady, "CCC", DeviceState::Ready, "CCC"},
        {waitingThenReady, "AAA", DeviceState::NeedsAuthorization, "AAA"},
        {waitingThenReady, "ZZZ", DeviceState::NoDevice, ""},
        {notReady, "", DeviceState::NeedsAuthorization, "CCC"},
        {others, "", DeviceState::NoDevice, ""},
        {others, "AAA", DeviceState::NoDevice, ""},
    };
    for (const auto& c : cases) {
        const DeviceChoice choice = ChooseDevice(c.devices, c.wanted);
        EXPECT_EQ(choice.state, c.state) << c.wanted << " among " << c.devices.size();
        EXPECT_EQ(choice.serial, c.serial) << c.wanted << " among " << c.devices.size();
    }
    EXPECT_EQ(ParseDeviceList("List of devices attached\nAAA\tunauthorized\nBBB\tdevice\n\n"), DeviceState::Ready);
    EXPECT_EQ(ParseDeviceList("List of devices attached\nmydevice01\trecovery\n\n"), DeviceState::NoDevice);
}

// ------------------------------------------------------------ file mode

TEST(FileMode, TheLastLineOfOctalDigits) {
    EXPECT_EQ(ParseFileMode("660\n"), "660");
    EXPECT_EQ(ParseFileMode("660\r\n"), "660");
    EXPECT_EQ(ParseFileMode("0600"), "0600");
    EXPECT_EQ(ParseFileMode("WARNING: linker: /system/xbin/su: unused DT entry: type 0x6ffffffe\n771\n"), "771");
}

TEST(FileMode, SizesAreTheLastLineOfDecimalDigits) {
    EXPECT_EQ(ParseFileSize("524288\r\n"), std::optional<std::uint64_t>(524288));
    EXPECT_EQ(ParseFileSize("WARNING: linker: unused DT entry\n0\n"), std::optional<std::uint64_t>(0));
    EXPECT_EQ(ParseFileSize("9999999999999999999"), std::optional<std::uint64_t>(9999999999999999999ull));
    for (const char* odd : {"", "stat: '/x': No such file or directory\n", "12 34\n", "-5\n", "0x10\n",
                            "99999999999999999999\n"}) {
        EXPECT_EQ(ParseFileSize(odd), std::nullopt) << odd;
    }
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
    const AdbRun run = DeviceLink(options, "0123456789ABCDEF").RunIntoFile({"exec-out", "id"}, phone.Scratch("x"), 5s);
    EXPECT_FALSE(run.started);
    KillServer(options);
    EXPECT_LT(Since(start), 2s);
}

TEST(AdbCommands, ExecOutIntoAFileCarriesOneMebibyteByteForByte) {
    // A phone whose shell runs in a terminal: "shell" would turn every line
    // feed into CR LF, "exec-out" never does.
    FakePhone phone;
    phone.SetPty(true);
    std::string bytes(1 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    phone.Put("/sdcard/big.bin", bytes);
    const DeviceLink link(phone.Options(5s, 10s), "0123456789ABCDEF");
    const std::string local = phone.Scratch("big copy.bin");
    ASSERT_TRUE(platform::WriteWholeFile(local, "an older copy, longer than nothing"));
    const Clock::time_point start = Clock::now();
    const AdbRun run = link.RunIntoFile({"exec-out", "su", "root", "cat", "/sdcard/big.bin"}, local, 10s);
    EXPECT_LT(Since(start), 5s);
    EXPECT_EQ(run.output, "");
    const std::string copy = platform::ReadWholeFile(local).value_or("");
    ASSERT_EQ(copy.size(), bytes.size());
    EXPECT_TRUE(copy == bytes);
    EXPECT_NE(link.Run({"shell", "su", "root", "cat", "/sdcard/big.bin"}, 10s).output.size(), bytes.size());
}

// ------------------------------------------------------------ time limits

TEST(AdbTimeLimits, AHangingDeviceListIsKilledAtTheCapturedLimit) {
    FakePhone phone;
    phone.SetState("hang");
    const Clock::time_point start = Clock::now();
    // The captured limit leaves the client time to start and log its command
    // on a loaded machine; the hang outlasts both limits.
    EXPECT_EQ(QueryDeviceState(phone.Options(20s, 3s)), DeviceState::NoDevice);
    const auto took = Since(start);
    EXPECT_GE(took, 3s);
    EXPECT_LT(took, 20s);
    EXPECT_EQ(phone.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}}));
}

TEST(AdbTimeLimits, AHangingServerStartIsKilledAtTheHiddenLimitAndTheCommandStillRuns) {
    FakePhone phone;
    phone.HangOn({"start-server"});
    const Clock::time_point start = Clock::now();
    // Well under the captured limit: the hang did not wait for that one.
    EXPECT_EQ(QueryDeviceState(phone.Options(300ms, 20s)), DeviceState::Ready);
    const auto took = Since(start);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 10s);
}

TEST(AdbTimeLimits, AHangingKillServerIsKilledAtTheHiddenLimit) {
    FakePhone phone;
    phone.HangOn({"kill-server"});
    const Clock::time_point start = Clock::now();
    KillServer(phone.Options(250ms, 20s));
    EXPECT_GE(Since(start), 250ms);
    EXPECT_LT(Since(start), 10s);
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

TEST(AdbClient, BesideTheProgramElseAdbOnThePath) {
    testsupport::ScopedTempFolder folder("qb-adb-path-");
    platform::CreateFolder(folder.File("program"));
    platform::CreateFolder(folder.File("bin"));
    const std::string suffix(platform::ExecutableSuffix());
    const std::string beside = platform::JoinPath(folder.File("program"), std::string(kAdbClientName) + suffix);
    const std::string adb = platform::JoinPath(folder.File("bin"), "adb" + suffix);
    ASSERT_TRUE(platform::CopyFileReplace(testsupport::FakeClientPath(), adb));
    std::filesystem::permissions(adb, std::filesystem::perms::owner_all);

    const std::string oldPath = platform::GetEnvironmentValue("PATH").value_or("");
    platform::SetEnvironmentValue("PATH", folder.File("bin"));
    EXPECT_EQ(FindAdbClient(folder.File("program")), adb);
    platform::SetEnvironmentValue("PATH", folder.File("empty"));
    EXPECT_EQ(FindAdbClient(folder.File("program")), beside);
    // The client beside the program comes first.
    ASSERT_TRUE(platform::CopyFileReplace(testsupport::FakeClientPath(), beside));
    platform::SetEnvironmentValue("PATH", folder.File("bin"));
    EXPECT_EQ(FindAdbClient(folder.File("program")), beside);
    platform::SetEnvironmentValue("PATH", oldPath);
    EXPECT_EQ(AdbClientPath(), FindAdbClient(platform::ExecutableFolder()));
}

#ifdef _WIN32
TEST(AdbClient, TheDefaultClientIsTheOneStagedBesideTheProgram) {
    // The build puts the fake client there under the client's name.
    ASSERT_TRUE(platform::FileExists(AdbClientPath())) << AdbClientPath();
    FakePhone phone;
    EXPECT_EQ(QueryDeviceState(), DeviceState::Ready);
    KillServer();
    EXPECT_EQ(phone.Invocations(), (std::vector<Invocation> {{"start-server"}, {"devices"}, {"kill-server"}}));
}
#endif

}  // namespace
}  // namespace qb::device
