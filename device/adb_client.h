// The Android Debug Bridge client, run as a hidden child process: its path,
// the two ways of running it, the device list turned into a device state,
// the copy of one file from the phone, and the stop of the bridge server.
// Every operation returns normally; a missing client, a time-out or a refused
// command shows only as empty output, NoDevice or a local file not written.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::device {

enum class DeviceState : std::int32_t {
    Detecting = -1,          // a query is under way (the window's own state)
    NoDevice = 0,            // no usable device listed, or the client could not be run
    Ready = 1,               // the first decisive device line says "device"
    NeedsAuthorization = 2,  // the first decisive device line says "offline" or "unauthorized"
};

// The client's file name beside the executable, without the system's
// executable suffix.
inline constexpr std::string_view kAdbClientName = "velmora-quillbrook-adb-help";

// How long a command may run before it is killed.
inline constexpr std::chrono::milliseconds kHiddenTimeLimit {3000};
inline constexpr std::chrono::milliseconds kCapturedTimeLimit {10000};

// Which client to run and how long its commands may take. The defaults are
// the product's; the command line names another client, tests shorter limits.
struct AdbOptions {
    std::string clientPath;  // empty: AdbClientPath()
    std::chrono::milliseconds hiddenLimit = kHiddenTimeLimit;
    std::chrono::milliseconds capturedLimit = kCapturedTimeLimit;
};

// The client beside the running executable when it is there; otherwise, on
// systems where the bridge is usually installed system-wide, "adb" found on
// the PATH; otherwise the path beside the executable all the same (runs of it
// then fail like runs of any missing client).
std::string AdbClientPath();

// Runs a command line (program path, then its arguments) hidden, with no
// output kept, and kills it once it has run for timeLimit.
void RunHidden(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit = kHiddenTimeLimit);

// Runs a command line hidden with standard output and error captured into
// one byte string, exactly as written; killed once it has run for timeLimit,
// and what it wrote until then is returned.
std::string RunCaptured(const std::vector<std::string>& commandLine,
                        std::chrono::milliseconds timeLimit = kCapturedTimeLimit);

// "start-server" through RunHidden, then the client with the arguments
// through RunCaptured; returns the captured output.
std::string RunAdb(const std::vector<std::string>& arguments, const AdbOptions& options = {});

// The device state of the output of "adb devices": the header line resets to
// NoDevice, and the first line naming "offline" or "unauthorized" (before
// "device") decides; later devices are not looked at. A line that says the
// user has "no permissions" for a device decides nothing.
DeviceState ParseDeviceList(std::string_view output);

// RunAdb("devices") parsed by ParseDeviceList.
DeviceState QueryDeviceState(const AdbOptions& options = {});

// The mode of a file on the phone as "stat -c %a" prints it (octal digits,
// the last line of the output when the phone writes warnings first); empty
// when the output holds none.
std::string ParseFileMode(std::string_view output);

// Copies one file from the phone to a local path. The file is made readable
// through the phone's superuser command for the pull; the mode it had before
// is read first and put back afterwards, so the phone's database does not
// stay readable by every app. When the mode cannot be read, the file is made
// readable and pulled all the same, and nothing more is done.
void PullFile(const std::string& remotePath, const std::string& localPath, const AdbOptions& options = {});

// Stops the bridge server: "kill-server" through RunHidden.
void KillServer(const AdbOptions& options = {});

}  // namespace qb::device
