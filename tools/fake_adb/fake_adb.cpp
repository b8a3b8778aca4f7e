// qb-fake-adb: a stand-in for the Android Debug Bridge client that answers
// from a folder describing a phone, and prints what adb prints. Tests and the
// demo run it in place of the real client.
//
// The environment variable QB_FAKE_ADB_PHONE names the phone folder:
//
//   state              the state "adb devices" lists: device, unauthorized,
//                      offline, recovery, ...; "none", an empty or missing
//                      file: no device; "hang": "devices" never answers
//   serial             the serial number (default 0123456789ABCDEF)
//   su                 present when the phone has a working su
//   hang               command words, one a line ("start-server", "pull",
//                      ...): an invocation with that first argument never ends
//   fs/<remote path>   the phone's files by remote path, e.g.
//                      fs/data/data/com.android.providers.contacts/databases/contacts2.db
//   modes              "<octal mode> <remote path>" lines, kept by chmod; a
//                      file not listed has mode 660 (owner and group only)
//   server             present while the bridge server "runs"
//   log                one line per invocation: its arguments (without the
//                      program name), separated by tabs, with backslash,
//                      tab, line feed and carriage return written as \\ \t
//                      \n \r
//
// As on a phone, "adb pull" runs as the shell user: it copies a file only
// when its mode lets others read it, which takes "shell su root chmod" first.
// Without the variable the client behaves as if no phone were attached.
//
// Commands: start-server, kill-server, devices, get-state, get-serialno,
// version, pull REMOTE LOCAL, and shell with chmod, stat -c %a, cat, ls and
// id, directly or after "su root" / "su 0".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/process.h"

namespace {

namespace platform = qb::platform;

constexpr const char* kPhoneVariable = "QB_FAKE_ADB_PHONE";
constexpr unsigned kDefaultMode = 0660;
// A hanging client gives up after this long, so that a run whose caller
// failed to kill it does not stay behind for ever.
constexpr std::chrono::minutes kHangCeiling {5};

// Each write is flushed, so that output and error that share one pipe
// arrive in the order written, whatever buffering the C runtime gives them.
void Write(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}
void Out(std::string_view text) { Write(stdout, text); }
void Err(std::string_view text) { Write(stderr, text); }

std::string Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    return std::string(s);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        begin = end + 1;
    }
    return lines;
}

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const std::size_t begin = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
        if (i > begin) words.emplace_back(text.substr(begin, i - begin));
    }
    return words;
}

std::string EscapeArgument(std::string_view a) {
    std::string out;
    for (const char c : a) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<unsigned> ParseOctal(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '7') return std::nullopt;
        value = value * 8 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%o", mode);
    return text;
}

class Phone {
public:
    explicit Phone(std::string folder) : folder_(std::move(folder)) {}

    bool attached() const { return !folder_.empty(); }
    std::string Path(std::string_view name) const { return platform::JoinPath(folder_, name); }
    bool Has(std::string_view name) const { return attached() && platform::FileExists(Path(name)); }
    std::string Read(std::string_view name) const {
        return attached() ? platform::ReadWholeFile(Path(name)).value_or("") : std::string();
    }

    std::string State() const {
        const std::string state = Trim(Read("state"));
        return state.empty() ? "none" : state;
    }
    std::string Serial() const {
        const std::string serial = Trim(Read("serial"));
        return serial.empty() ? "0123456789ABCDEF" : serial;
    }
    bool HasSu() const { return Has("su"); }
    bool HangsOn(std::string_view command) const {
        for (const std::string& line : Lines(Read("hang"))) {
            if (Trim(line) == command) return true;
        }
        return false;
    }

    void Log(const std::vector<std::string>& arguments) const {
        if (!attached()) return;
        std::string line;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (i) line += '\t';
            line += EscapeArgument(arguments[i]);
        }
        std::string log = Read("log");
        log += line + "\n";
        platform::WriteWholeFile(Path("log"), log);
    }

    // Where a remote path's file lies in the folder; empty for a path that
    // is not absolute or that climbs out with "..".
    std::string FileOf(std::string_view remote) const {
        if (!attached() || remote.empty() || remote.front() != '/') return {};
        std::string local = Path("fs");
        std::size_t begin = 1;
        while (begin <= remote.size()) {
            std::size_t end = remote.find('/', begin);
            if (end == std::string_view::npos) end = remote.size();
            const std::string_view part = remote.substr(begin, end - begin);
            if (part == "..") return {};
            if (!part.empty() && part != ".") local = platform::JoinPath(local, part);
            begin = end + 1;
        }
        return local;
    }
    bool Exists(std::string_view remote) const {
        const std::string local = FileOf(remote);
        return !local.empty() && (platform::FileExists(local) || platform::FolderExists(local));
    }
    bool IsFile(std::string_view remote) const {
        const std::string local = FileOf(remote);
        return !local.empty() && platform::FileExists(local);
    }

    unsigned Mode(const std::string& remote) const {
        const auto modes = Modes();
        const auto it = modes.find(remote);
        return it == modes.end() ? kDefaultMode : it->second;
    }
    void SetMode(const std::string& remote, unsigned mode) const {
        auto modes = Modes();
        modes[remote] = mode;
        std::string text;
        for (const auto& [path, m] : modes) text += Octal(m) + " " + path + "\n";
        platform::WriteWholeFile(Path("modes"), text);
    }

    bool ServerRunning() const { return Has("server"); }
    void SetServerRunning(bool running) const {
        if (!attached()) return;
        if (running) platform::WriteWholeFile(Path("server"), "tcp:5037\n");
        else platform::DeleteFileIfExists(Path("server"));
    }

private:
    std::map<std::string, unsigned> Modes() const {
        std::map<std::string, unsigned> modes;
        for (const std::string& line : Lines(Read("modes"))) {
            const std::size_t space = line.find(' ');
            if (space == std::string::npos) continue;
            if (const auto mode = ParseOctal(line.substr(0, space))) modes[line.substr(space + 1)] = *mode;
        }
        return modes;
    }

    std::string folder_;
};

[[noreturn]] void Hang() {
    const auto end = std::chrono::steady_clock::now() + kHangCeiling;
    while (std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::exit(1);
}

void StartServer(const Phone& phone) {
    if (!phone.attached() || phone.ServerRunning()) return;
    Err("* daemon not running; starting now at tcp:5037\n");
    Err("* daemon started successfully\n");
    phone.SetServerRunning(true);
}

int Devices(const Phone& phone) {
    const std::string state = phone.State();
    if (state == "hang") Hang();
    Out("List of devices attached\n");
    if (state != "none") Out(phone.Serial() + "\t" + state + "\n");
    Out("\n");
    return 0;
}

// The answer of a command that needs the device, when the device cannot
// take commands; empty when it can.
std::optional<int> RefuseUnlessReady(const Phone& phone) {
    const std::string state = phone.State();
    if (state == "device") return std::nullopt;
    if (state == "unauthorized") {
        Err("adb: device unauthorized.\n"
            "This adb server's $ADB_VENDOR_KEYS is not set\n"
            "Try 'adb kill-server' if that seems wrong.\n"
            "Otherwise check for a confirmation dialog on your device.\n");
    } else if (state == "offline") {
        Err("adb: device offline\n");
    } else {
        Err("adb: no devices/emulators found\n");
    }
    return 1;
}

// Other users may read the file: the shell user pulls it.
bool OthersMayRead(unsigned mode) { return (mode & 04) != 0; }

int Pull(const Phone& phone, const std::vector<std::string>& args) {
    if (args.empty()) {
        Err("adb: pull requires an argument\n");
        return 1;
    }
    const std::string& remote = args[0];
    std::string local = args.size() >= 2 ? args[1] : ".";
    if (!phone.Exists(remote)) {
        Err("adb: error: failed to stat remote object '" + remote + "': No such file or directory\n");
        return 1;
    }
    if (!phone.IsFile(remote) || !OthersMayRead(phone.Mode(remote))) {
        Err("adb: error: failed to stat remote object '" + remote + "': Permission denied\n");
        return 1;
    }
    if (platform::FolderExists(local)) local = platform::JoinPath(local, remote.substr(remote.rfind('/') + 1));
    const auto start = std::chrono::steady_clock::now();
    const std::string bytes = platform::ReadWholeFile(phone.FileOf(remote)).value_or("");
    std::string error;
    if (!platform::WriteWholeFile(local, bytes, &error)) {
        Err("adb: error: cannot create '" + local + "': " + error + "\n");
        return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (seconds < 0.001) seconds = 0.001;
    char summary[160];
    std::snprintf(summary, sizeof summary, ": 1 file pulled, 0 skipped. %.1f MB/s (%zu bytes in %.3fs)\n",
                  static_cast<double>(bytes.size()) / seconds / 1e6, bytes.size(), seconds);
    Out(remote + summary);
    return 0;
}

// One command of the phone's shell, as the shell user or as root.
int ShellCommand(const Phone& phone, const std::vector<std::string>& w, bool root) {
    const std::string& command = w[0];
    if (command == "su") {
        if (!phone.HasSu()) {
            Err("/system/bin/sh: su: inaccessible or not found\n");
            return 127;
        }
        std::size_t next = 1;
        if (next < w.size() && (w[next] == "root" || w[next] == "0")) ++next;
        if (next < w.size() && w[next] == "-c") ++next;
        if (next >= w.size()) return 0;  // an interactive su on an empty input
        return ShellCommand(phone, std::vector<std::string>(w.begin() + static_cast<std::ptrdiff_t>(next), w.end()),
                            true);
    }
    if (command == "id") {
        Out(root ? "uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n"
                 : "uid=2000(shell) gid=2000(shell) groups=2000(shell) context=u:r:shell:s0\n");
        return 0;
    }
    if (command == "chmod") {
        if (w.size() < 3) {
            Err("chmod: Need 2 arguments\n");
            return 1;
        }
        const auto mode = ParseOctal(w[1]);
        int code = 0;
        for (std::size_t i = 2; i < w.size(); ++i) {
            if (!mode) {
                Err("chmod: bad mode '" + w[1] + "'\n");
                return 1;
            }
            if (!phone.Exists(w[i])) {
                Err("chmod: " + w[i] + ": No such file or directory\n");
                code = 1;
            } else if (!root) {
                Err("chmod: chmod '" + w[i] + "' to 100" + Octal(*mode) + ": Operation not permitted\n");
                code = 1;
            } else {
                phone.SetMode(w[i], *mode);
            }
        }
        return code;
    }
    if (command == "stat") {
        if (w.size() != 4 || w[1] != "-c" || w[2] != "%a") {
            Err("stat: only stat -c %a FILE is known here\n");
            return 1;
        }
        if (!phone.Exists(w[3])) {
            Err("stat: '" + w[3] + "': No such file or directory\n");
            return 1;
        }
        if (!root) {
            Err("stat: '" + w[3] + "': Permission denied\n");
            return 1;
        }
        Out(Octal(phone.Mode(w[3])) + "\n");
        return 0;
    }
    if (command == "cat" || command == "ls") {
        int code = 0;
        for (std::size_t i = 1; i < w.size(); ++i) {
            if (!phone.Exists(w[i])) {
                Err(command + ": " + w[i] + ": No such file or directory\n");
                code = 1;
            } else if (!root && !OthersMayRead(phone.Mode(w[i]))) {
                Err(command + ": " + w[i] + ": Permission denied\n");
                code = 1;
            } else if (command == "ls") {
                Out(w[i] + "\n");
            } else {
                Out(platform::ReadWholeFile(phone.FileOf(w[i])).value_or(""));
            }
        }
        return code;
    }
    Err("/system/bin/sh: " + command + ": inaccessible or not found\n");
    return 127;
}

int Shell(const Phone& phone, const std::vector<std::string>& args) {
    // adb joins the arguments into one command line for the phone's shell.
    std::string line;
    for (std::size_t i = 0; i < args.size(); ++i) line += (i ? " " : "") + args[i];
    const std::vector<std::string> words = Words(line);
    if (words.empty()) return 0;  // an interactive shell on an empty input
    return ShellCommand(phone, words, false);
}

int Run(const Phone& phone, const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        Err("adb: no command given\n");
        return 1;
    }
    const std::string& command = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (phone.HangsOn(command)) Hang();

    if (command == "version") {
        Out("Android Debug Bridge version 1.0.41\nVersion 34.0.4-quillbrook-fake\n");
        return 0;
    }
    if (command == "start-server") {
        StartServer(phone);
        return 0;
    }
    if (command == "kill-server") {
        phone.SetServerRunning(false);
        return 0;
    }
    // Every other command talks to the server and starts it when needed.
    StartServer(phone);
    if (command == "devices") return Devices(phone);
    if (command == "get-state" || command == "get-serialno") {
        if (const auto refused = RefuseUnlessReady(phone)) return *refused;
        Out((command == "get-state" ? phone.State() : phone.Serial()) + "\n");
        return 0;
    }
    if (command == "pull" || command == "shell") {
        if (const auto refused = RefuseUnlessReady(phone)) return *refused;
        return command == "pull" ? Pull(phone, rest) : Shell(phone, rest);
    }
    Err("adb: unknown command " + command + "\n");
    return 1;
}

int RunMain(const std::vector<std::string>& arguments) {
    const Phone phone(platform::GetEnvironmentValue(kPhoneVariable).value_or(""));
    phone.Log(arguments);
    return Run(phone, arguments);
}

}  // namespace

int main(int argc, char** argv) {
    // The arguments as the system passed them, so that a path in any
    // language is logged and used unchanged; the output goes out byte for
    // byte, without line-end translation.
    platform::Utf8Arguments utf8(argc, argv);
    platform::UseBinaryStandardStreams();
    return RunMain(std::vector<std::string>(utf8.argv() + 1, utf8.argv() + utf8.argc()));
}
