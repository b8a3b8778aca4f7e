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

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The last line of the output that is not blank, without its blanks; a
// shell in a terminal ends lines with a carriage return as well.
std::string_view LastLine(std::string_view output) {
    std::size_t end = output.size();
    while (end > 0 && IsBlank(output[end - 1])) --end;
    std::size_t begin = end;
    while (begin > 0 && output[begin - 1] != '\n') --begin;
    return TrimBlanks(output.substr(begin, end - begin));
}

AdbRun FromProcess(platform::ProcessResult&& result) {
    AdbRun run;
    run.output = std::move(result.output);
    run.exitCode = result.exitCode;
    run.started = result.started;
    run.timedOut = result.timedOut;
    run.stopped = result.stopped;
    return run;
}

}  // namespace

std::string AdbClientPath() { return FindAdbClient(platform::ExecutableFolder()); }

std::string FindAdbClient(const std::string& folder) {
    const std::string beside =
        platform::JoinPath(folder, std::string(kAdbClientName) + std::string(platform::ExecutableSuffix()));
    if (!platform::FileExists(beside)) {
        if (std::string onPath = platform::FindProgramOnPath("adb"); !onPath.empty()) return onPath;
    }
    return beside;
}

void RunHidden(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit,
               std::stop_token stop) {
    platform::RunProcess(commandLine, timeLimit, platform::ChildOutput::Discard, std::move(stop));
}

std::string RunCaptured(const std::vector<std::string>& commandLine, std::chrono::milliseconds timeLimit,
                        std::stop_token stop) {
    return platform::RunProcess(commandLine, timeLimit, platform::ChildOutput::Capture, std::move(stop)).output;
}

std::string RunAdb(const std::vector<std::string>& arguments, const AdbOptions& options, std::stop_token stop) {
    const std::string client = ClientOf(options);
    RunHidden({client, "start-server"}, options.hiddenLimit, stop);
    return RunCaptured(CommandLine(client, arguments), options.capturedLimit, stop);
}

std::vector<ListedDevice> ParseDevices(std::string_view output) {
    std::vector<ListedDevice> devices;
    bool listing = false;
    std::size_t begin = 0;
    while (begin < output.size()) {
        std::size_t end = output.find('\n', begin);
        if (end == std::string_view::npos) end = output.size();
        const std::string_view line = TrimBlanks(output.substr(begin, end - begin));
        begin = end + 1;
        // A later header (a client that restarted its server) starts afresh.
        if (Contains(line, "List of devices attached")) {
            devices.clear();
            listing = true;
            continue;
        }
        if (!listing || line.empty()) continue;
        // "SERIAL<TAB>STATE"; a state may hold blanks ("no permissions (...)").
        std::size_t split = line.find('\t');
        if (split == std::string_view::npos) split = line.find(' ');
        if (split == std::string_view::npos || split == 0) continue;
        devices.push_back({std::string(line.substr(0, split)), std::string(TrimBlanks(line.substr(split + 1)))});
    }
    return devices;
}

DeviceChoice ChooseDevice(const std::vector<ListedDevice>& devices, std::string_view wantedSerial) {
    const auto waiting = [](const ListedDevice& d) { return d.state == "offline" || d.state == "unauthorized"; };
    if (!wantedSerial.empty()) {
        for (const ListedDevice& device : devices) {
            if (device.serial != wantedSerial) continue;
            if (device.state == "device") return {DeviceState::Ready, device.serial};
            if (waiting(device)) return {DeviceState::NeedsAuthorization, device.serial};
            return {};
        }
        return {};
    }
    for (const ListedDevice& device : devices) {
        if (device.state == "device") return {DeviceState::Ready, device.serial};
    }
    for (const ListedDevice& device : devices) {
        if (waiting(device)) return {DeviceState::NeedsAuthorization, device.serial};
    }
    return {};
}

DeviceState ParseDeviceList(std::string_view output) { return ChooseDevice(ParseDevices(output)).state; }

DeviceState QueryDeviceState(const AdbOptions& options) {
    return ChooseDevice(ParseDevices(RunAdb({"devices"}, options)), options.serial).state;
}

std::string ParseFileMode(std::string_view output) {
    const std::string_view line = LastLine(output);
    if (line.empty() || line.size() > 4) return {};
    for (const char c : line) {
        if (c < '0' || c > '7') return {};
    }
    return std::string(line);
}

std::optional<std::uint64_t> ParseFileSize(std::string_view output) {
    const std::string_view line = LastLine(output);
    // Nineteen digits always fit the type.
    if (line.empty() || line.size() > 19) return std::nullopt;
    std::uint64_t size = 0;
    for (const char c : line) {
        if (c < '0' || c > '9') return std::nullopt;
        size = size * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return size;
}

bool SaysDeviceGone(std::string_view output) {
    // The client's own words, which differ a little between its versions.
    return Contains(output, "no devices/emulators found") || Contains(output, "' not found") ||
           Contains(output, "device offline") || Contains(output, "device unauthorized") ||
           Contains(output, "device still ") || Contains(output, "protocol fault");
}

DeviceLink::DeviceLink(AdbOptions options, std::string serial, std::stop_token stop)
    : options_(std::move(options)), client_(ClientOf(options_)), serial_(std::move(serial)), stop_(std::move(stop)) {}

std::vector<std::string> DeviceLink::CommandLine(const std::vector<std::string>& arguments) const {
    std::vector<std::string> line {client_, "-s", serial_};
    line.insert(line.end(), arguments.begin(), arguments.end());
    return line;
}

AdbRun DeviceLink::Run(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) const {
    RunHidden({client_, "start-server"}, options_.hiddenLimit, stop_);
    return FromProcess(platform::RunProcess(CommandLine(arguments), limit, platform::ChildOutput::Capture, stop_));
}

AdbRun DeviceLink::RunIntoFile(const std::vector<std::string>& arguments, const std::string& localPath,
                               std::chrono::milliseconds limit) const {
    RunHidden({client_, "start-server"}, options_.hiddenLimit, stop_);
    return FromProcess(platform::RunProcessIntoFile(CommandLine(arguments), localPath, limit, stop_));
}

AdbRun DeviceLink::RunDespiteStop(const std::vector<std::string>& arguments, std::chrono::milliseconds limit) const {
    // The server runs already: it answered the commands before this one.
    return FromProcess(platform::RunProcess(CommandLine(arguments), limit, platform::ChildOutput::Capture));
}

void KillServer(const AdbOptions& options) { RunHidden({ClientOf(options), "kill-server"}, options.hiddenLimit); }

}  // namespace qb::device
