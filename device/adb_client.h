// The Android Debug Bridge client, run as a hidden child process: its path,
// the two ways of running it, the device list turned into a device state and
// the choice of a device, the commands of one acquisition sent to the chosen
// device, and the stop of the bridge server. Nothing here fails loudly: a
// missing client, a time-out or a refused command shows as empty output, a
// state or an exit code that the caller judges.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qb::device {

enum class DeviceState : std::int32_t {
    Detecting = -1,          // a query is under way (the window's own state)
    NoDevice = 0,            // no usable device listed, or the client could not be run
    Ready = 1,               // a device in state "device" is there to be read
    NeedsAuthorization = 2,  // the devices listed are "offline" or "unauthorized"
};

// The client's file name beside the executable, without the system's
// executable suffix.
inline constexpr std::string_view kAdbClientName = "velmora-quillbrook-adb-help";

// How long a command may run before it is killed.
inline constexpr std::chrono::milliseconds kHiddenTimeLimit {3000};
inline constexpr std::chrono::milliseconds kCapturedTimeLimit {10000};
// A copy of a database carries megabytes over USB, far more than the few
// lines of a command; its limit only catches a client that hangs.
inline constexpr std::chrono::milliseconds kCopyTimeLimit {300000};

// Which client to run, which device to read and how long commands may take.
// The defaults are the product's; the command line names another client or
// a device, tests shorter limits.
struct AdbOptions {
    std::string clientPath;  // empty: AdbClientPath()
    std::string serial;      // the device to read; empty: the first listed in state "device"
    std::chrono::milliseconds hiddenLimit = kHiddenTimeLimit;
    std::chrono::milliseconds capturedLimit = kCapturedTimeLimit;
    std::chrono::milliseconds copyLimit = kCopyTimeLimit;
};

// The client beside the running executable: FindAdbClient(executable folder).
std::string AdbClientPath();

// The product's client in folder when it is there; otherwise "adb" found on
// the PATH (adb.exe on Windows, where users install Google's platform tools);
// otherwise the path in folder all the same (runs of it then fail like runs
// of any missing client).
std::string FindAdbClient(const std::string& folder);

// Runs a command line (program path, then its arguments) hidden, with no
// output kept, and kills it once it has run for timeLimit or a stop is
// requested.
void RunHidden(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit = kHiddenTimeLimit,
               std::stop_token stop = {});

// Runs a command line hidden with standard output and error captured into
// one byte string, exactly as written; killed once it has run for timeLimit
// or a stop is requested, and what it wrote until then is returned.
std::string RunCaptured(const std::vector<std::string>& commandLine,
                        std::chrono::milliseconds timeLimit = kCapturedTimeLimit, std::stop_token stop = {});

// "start-server" through RunHidden, then the client with the arguments
// through RunCaptured; returns the captured output.
std::string RunAdb(const std::vector<std::string>& arguments, const AdbOptions& options = {},
                   std::stop_token stop = {});

// One line of "adb devices": the serial number and the state word
// ("device", "unauthorized", "offline", "recovery", "no permissions", ...).
struct ListedDevice {
    std::string serial;
    std::string state;
    bool operator==(const ListedDevice&) const = default;
};

// The devices of the output of "adb devices", in order. Only lines after the
// header "List of devices attached" count (the client may print notices of
// its server first); each is a serial number, a tab or blanks, and a state.
std::vector<ListedDevice> ParseDevices(std::string_view output);

// The device an acquisition reads and the state it shows.
struct DeviceChoice {
    DeviceState state = DeviceState::NoDevice;
    std::string serial;  // set for Ready and NeedsAuthorization
};

// With a wanted serial, that device's own state (NoDevice when it is not
// listed or is in any state but "device", "offline" or "unauthorized").
// Without one: the first device in state "device" (Ready); else the first
// "offline" or "unauthorized" one (NeedsAuthorization); else NoDevice.
DeviceChoice ChooseDevice(const std::vector<ListedDevice>& devices, std::string_view wantedSerial = {});

// ChooseDevice(ParseDevices(output)).state.
DeviceState ParseDeviceList(std::string_view output);

// RunAdb("devices") with the choice of options.serial.
DeviceState QueryDeviceState(const AdbOptions& options = {});

// The mode of a file on the phone as "stat -c %a" prints it (octal digits,
// the last line of the output when the phone writes warnings first); empty
// when the output holds none.
std::string ParseFileMode(std::string_view output);

// The size of a file as "stat -c %s" prints it (decimal digits, the last
// line of the output); none when the output holds none.
std::optional<std::uint64_t> ParseFileSize(std::string_view output);

// True when the client's output says the device it was to talk to is not
// there (any more), or cannot be talked to.
bool SaysDeviceGone(std::string_view output);

// What one run of the client gave.
struct AdbRun {
    std::string output;     // standard output and error, or standard error alone for RunIntoFile
    int exitCode = -1;      // -1 when it did not end by itself
    bool started = false;   // the client could be run at all
    bool timedOut = false;  // killed at its limit
    bool stopped = false;   // killed (or never started) because a stop was requested
};

// The chosen device of one acquisition. Every command is preceded by
// "start-server" and names the device with "-s SERIAL", so that other
// devices attached never take it; every run ends early once the stop is
// requested.
class DeviceLink {
public:
    DeviceLink(AdbOptions options, std::string serial, std::stop_token stop = {});

    const AdbOptions& options() const { return options_; }
    const std::string& serial() const { return serial_; }
    bool StopRequested() const { return stop_.stop_requested(); }

    // "adb -s SERIAL ARGUMENTS...", captured, killed at limit.
    AdbRun Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) const;
    // The same with the client's standard output written into a new private
    // file at localPath (platform::RunProcessIntoFile); output holds its
    // standard error.
    AdbRun RunIntoFile(const std::vector<std::string>& arguments, const std::string& localPath,
                       std::chrono::milliseconds limit) const;
    // The same as Run, but for a step that must not be left half done (a
    // file's mode put back): it runs even after the stop, within limit.
    AdbRun RunDespiteStop(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) const;

private:
    std::vector<std::string> CommandLine(const std::vector<std::string>& arguments) const;

    AdbOptions options_;
    std::string client_;
    std::string serial_;
    std::stop_token stop_;
};

// Stops the bridge server: "kill-server" through RunHidden.
void KillServer(const AdbOptions& options = {});

}  // namespace qb::device
