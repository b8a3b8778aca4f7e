#include "device/adb_client.h"

#include "platform/file.h"
#include "platform/process.h"

namespace qb::device {
namespace {

std::string ClientOf(const AdbOptions& options) {
    return options.clientPath.empty() ? AdbClientPath() : options.clientPath;
}

std::vector<std::string> CommandLine(const std::string& client, const std::vector<std::string>& arguments) {
    std::vector<std::string> line;
    line.reserve(arguments.size() + 1);
    line.push_back(client);
    line.insert(line.end(), arguments.begin(), arguments.end());
    return line;
}

bool Contains(std::string_view line, std::string_view word) { return line.find(word) != std::string_view::npos; }

// The superuser command through which the phone's protected files are
// reached: "shell su root <command...>".
std::vector<std::string> AsRoot(std::vector<std::string> command) {
    std::vector<std::string> arguments {"shell", "su", "root"};
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
}

}  // namespace

std::string AdbClientPath() {
    const std::string name = std::string(kAdbClientName) + std::string(platform::ExecutableSuffix());
    const std::string beside = platform::JoinPath(platform::ExecutableFolder(), name);
#ifndef _WIN32
    if (!platform::FileExists(beside)) {
        if (std::string onPath = platform::FindProgramOnPath("adb"); !onPath.empty()) return onPath;
    }
#endif
    return beside;
}

void RunHidden(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit) {
    platform::RunProcess(commandLine, timeLimit, platform::ChildOutput::Discard);
}

std::string RunCaptured(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit) {
    return platform::RunProcess(commandLine, timeLimit, platform::ChildOutput::Capture).output;
}

std::string RunAdb(const std::vector<std::string>& arguments, const AdbOptions& options) {
    const std::string client = ClientOf(options);
    RunHidden({client, "start-server"}, options.hiddenLimit);
    return RunCaptured(CommandLine(client, arguments), options.capturedLimit);
}

DeviceState ParseDeviceList(std::string_view output) {
    DeviceState state = DeviceState::NoDevice;
    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        if (end == std::string_view::npos) end = output.size();
        const std::string_view line = output.substr(begin, end - begin);
        begin = end + 1;
        // The header itself contains "device", so it is tested first.
        if (Contains(line, "List of devices attached")) {
            state = DeviceState::NoDevice;
        } else if (Contains(line, "no permissions")) {
            // A phone this user may not open (on Linux, no udev rule for
            // it); the line names "device" only in the help address it adds.
            continue;
        } else if (Contains(line, "offline") || Contains(line, "unauthorized")) {
            return DeviceState::NeedsAuthorization;
        } else if (Contains(line, "device")) {
            return DeviceState::Ready;
        }
    }
    return state;
}

DeviceState QueryDeviceState(const AdbOptions& options) { return ParseDeviceList(RunAdb({"devices"}, options)); }

std::string ParseFileMode(std::string_view output) {
    // The last line that is not blank; an adb shell of a terminal ends lines
    // with a carriage return as well.
    std::size_t end = output.size();
    while (end > 0 && (output[end - 1] == '\n' || output[end - 1] == '\r' || output[end - 1] == ' ' ||
                       output[end - 1] == '\t')) {
        --end;
    }
    std::size_t begin = end;
    while (begin > 0 && output[begin - 1] != '\n') --begin;
    std::string_view line = output.substr(begin, end - begin);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r')) line.remove_prefix(1);
    if (line.empty() || line.size() > 4) return {};
    for (const char c : line) {
        if (c < '0' || c > '7') return {};
    }
    return std::string(line);
}

void PullFile(const std::string& remotePath, const std::string& localPath, const AdbOptions& options) {
    const std::string mode = ParseFileMode(RunAdb(AsRoot({"stat", "-c", "%a", remotePath}), options));
    RunAdb(AsRoot({"chmod", "777", remotePath}), options);
    RunAdb({"pull", remotePath, localPath}, options);
    if (!mode.empty()) RunAdb(AsRoot({"chmod", mode, remotePath}), options);
}

void KillServer(const AdbOptions& options) { RunHidden({ClientOf(options), "kill-server"}, options.hiddenLimit); }

}  // namespace qb::device
