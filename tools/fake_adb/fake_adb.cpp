// qb-fake-adb: a stand-in for the Android Debug Bridge client that answers
// from a folder describing a phone, and prints what adb prints. Tests and the
// demo run it in place of the real client. It refuses what a real client, a
// real phone shell and a real su refuse, so that no command line passes here
// that a phone would read differently.
//
// The environment variable QB_FAKE_ADB_PHONE names the phone folder:
//
//   state              the state "adb devices" lists: device, unauthorized,
//                      offline, recovery, ...; "none", an empty or missing
//                      file: no device; "hang": "devices" never answers
//   serial             the serial number (default 0123456789ABCDEF)
//   others             more devices, listed before this phone: "SERIAL STATE"
//                      lines. Commands reach one of them only with -s; it has
//                      no su and no files.
//   su                 the phone's superuser program (no file: none):
//                        "" or "aosp"  the Android build's own debugging su,
//                                      "su [WHO [COMMAND [ARG...]]]": WHO is
//                                      a user name or number (optionally
//                                      ",GID,..."), anything else is refused
//                                      ("su: invalid uid/gid '-c'"); the
//                                      command and its arguments are executed
//                                      as given, with no shell in between;
//                                      without a command it starts a shell
//                                      that reads standard input
//                        "manager"     the su of today's root managers: its
//                                      options are parsed across all
//                                      arguments, as getopt_long permutes
//                                      them; -c (--command) takes its value
//                                      and every argument after it, joined by
//                                      spaces, as a command line for a shell;
//                                      the first other argument names the
//                                      user and the rest are ignored; without
//                                      -c it starts a shell that reads
//                                      standard input. So "su root chmod 777
//                                      P" does nothing and "su root stat -c
//                                      %a P" runs "%a P".
//   selinux            present: SELinux enforcing, as on Android 5 and later:
//                      "adb pull" of anything under /data is refused whatever
//                      its mode, and the shell user reads nothing there
//   pty                present: "adb shell" runs in a terminal, as older
//                      clients and phones do, and every line feed it prints
//                      arrives as CR LF ("exec-out" is never translated)
//   vanish             a byte count: the next file transfer ("pull", or
//                      "cat" under "exec-out") stops after that many bytes
//                      and the phone is unplugged (its state becomes none)
//   hang               command words, one a line ("start-server", "pull",
//                      "exec-out", ...): an invocation with that command
//                      never ends
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
// when its mode lets others read it (and SELinux does not forbid it).
// Without the variable the client behaves as if no phone were attached.
//
// Global option: -s SERIAL. Commands: start-server, kill-server, devices,
// get-state, get-serialno, version, pull REMOTE [LOCAL], shell and exec-out.
// As adb does, shell and exec-out join their arguments with spaces into one
// line for the phone's shell, which splits it into words by the shell's
// quoting rules (single and double quotes, backslash); a line that needs
// more of the shell (variables, globs, redirections, several commands) is
// refused here rather than read wrongly. Phone commands: su, id, chmod
// (octal modes), stat -c FORMAT (%a %s %n %%), cat, ls. exec-out merges the
// phone's error output into its output and exits with 0 whatever the phone
// did, as adb's raw exec service does.
#include <chrono>
#include <cstdint>
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
constexpr unsigned kRootUid = 0;
constexpr unsigned kShellUid = 2000;
// A hanging client gives up after this long, so that a run whose caller
// failed to kill it does not stay behind for ever.
constexpr std::chrono::minutes kHangCeiling {5};
// How deep su may start su.
constexpr int kMostNestedShells = 4;

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

std::string Join(const std::vector<std::string>& words, std::size_t from) {
    std::string line;
    for (std::size_t i = from; i < words.size(); ++i) line += (i > from ? " " : "") + words[i];
    return line;
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

std::optional<unsigned> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%o", mode);
    return text;
}

// ------------------------------------------------------------ the phone

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
    void Unplug() const { platform::WriteWholeFile(Path("state"), "none\n"); }
    std::string Serial() const {
        const std::string serial = Trim(Read("serial"));
        return serial.empty() ? "0123456789ABCDEF" : serial;
    }
    // "" when the phone has no su, else "aosp" or "manager" (or what the
    // file says, which su then refuses to be).
    std::string SuKind() const {
        if (!Has("su")) return "";
        const std::string kind = Trim(Read("su"));
        return kind.empty() ? "aosp" : kind;
    }
    bool Enforcing() const { return Has("selinux"); }
    bool Pty() const { return Has("pty"); }
    bool HangsOn(std::string_view command) const {
        for (const std::string& line : Lines(Read("hang"))) {
            if (Trim(line) == command) return true;
        }
        return false;
    }
    // The bytes the next transfer may carry before the phone goes; none
    // when it stays.
    std::optional<std::size_t> VanishAfter() const {
        if (!Has("vanish")) return std::nullopt;
        const auto bytes = ParseDecimal(Trim(Read("vanish")));
        return bytes ? std::optional<std::size_t>(*bytes) : std::optional<std::size_t>(0);
    }
    void Vanish() const {
        platform::DeleteFileIfExists(Path("vanish"));
        Unplug();
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
    bool IsFolder(std::string_view remote) const {
        const std::string local = FileOf(remote);
        return !local.empty() && platform::FolderExists(local);
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

struct ListedDevice {
    std::string serial;
    std::string state;
    bool isPhone = false;  // served by the phone folder; others are bare
};

std::vector<ListedDevice> ListedDevices(const Phone& phone) {
    std::vector<ListedDevice> devices;
    for (const std::string& line : Lines(phone.Read("others"))) {
        const std::string trimmed = Trim(line);
        const std::size_t space = trimmed.find_first_of(" \t");
        if (space == std::string::npos) continue;
        devices.push_back({trimmed.substr(0, space), Trim(trimmed.substr(space + 1)), false});
    }
    const std::string state = phone.State();
    if (state != "none") devices.push_back({phone.Serial(), state, true});
    return devices;
}

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
    if (phone.State() == "hang") Hang();
    Out("List of devices attached\n");
    for (const ListedDevice& device : ListedDevices(phone)) Out(device.serial + "\t" + device.state + "\n");
    Out("\n");
    return 0;
}

// The device a command goes to: the one -s names, else the only one
// listed. Empty, with adb's words printed, when there is none to take.
std::optional<ListedDevice> TargetDevice(const Phone& phone, const std::optional<std::string>& serial,
                                         std::string_view errorPrefix) {
    const std::vector<ListedDevice> devices = ListedDevices(phone);
    std::optional<ListedDevice> target;
    if (serial) {
        for (const ListedDevice& device : devices) {
            if (device.serial == *serial) target = device;
        }
        if (!target) {
            Err(std::string(errorPrefix) + "device '" + *serial + "' not found\n");
            return std::nullopt;
        }
    } else if (devices.empty()) {
        Err(std::string(errorPrefix) + "no devices/emulators found\n");
        return std::nullopt;
    } else if (devices.size() > 1) {
        Err(std::string(errorPrefix) + "more than one device/emulator\n");
        return std::nullopt;
    } else {
        target = devices.front();
    }
    if (target->state == "device") return target;
    if (target->state == "unauthorized") {
        Err(std::string(errorPrefix) +
            "device unauthorized.\n"
            "This adb server's $ADB_VENDOR_KEYS is not set\n"
            "Try 'adb kill-server' if that seems wrong.\n"
            "Otherwise check for a confirmation dialog on your device.\n");
    } else if (target->state == "offline") {
        Err(std::string(errorPrefix) + "device offline\n");
    } else {
        Err(std::string(errorPrefix) + "device still " + target->state + "\n");
    }
    return std::nullopt;
}

// ------------------------------------------------------------ the phone's shell

// Where the phone's commands send what they print: a command of "adb shell"
// or of "adb exec-out" (whose errors join its output).
struct Streams {
    bool execOut = false;
    bool pty = false;
    std::string Translate(std::string_view text) const {
        if (!pty) return std::string(text);
        std::string out;
        for (const char c : text) {
            if (c == '\n') out += '\r';
            out += c;
        }
        return out;
    }
    void Out(std::string_view text) const { Write(stdout, Translate(text)); }
    void Err(std::string_view text) const { Write(execOut ? stdout : stderr, Translate(text)); }
};

// Splits a command line as the phone's shell does, for the quoting this
// fake knows: words separated by blanks, single quotes taken literally,
// double quotes and backslashes as sh reads them. Anything that would make
// the shell do more (expansions, globs, redirections, several commands,
// comments) is refused with the character that needs it.
std::optional<std::vector<std::string>> SplitShellLine(std::string_view line, char* refused) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            ++i;
            continue;
        }
        if (c == '\'') {
            const std::size_t close = line.find('\'', i + 1);
            if (close == std::string_view::npos) {
                *refused = c;
                return std::nullopt;
            }
            word.append(line.substr(i + 1, close - i - 1));
            inWord = true;
            i = close + 1;
            continue;
        }
        if (c == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '$' || line[i] == '`') {
                    *refused = line[i];
                    return std::nullopt;
                }
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\' || line[i + 1] == '$' || line[i + 1] == '`')) {
                    ++i;
                }
                word += line[i++];
            }
            if (i >= line.size()) {
                *refused = '"';
                return std::nullopt;
            }
            ++i;
            inWord = true;
            continue;
        }
        if (c == '\\') {
            if (i + 1 >= line.size()) {
                *refused = c;
                return std::nullopt;
            }
            word += line[i + 1];
            inWord = true;
            i += 2;
            continue;
        }
        const bool special = std::string_view("$`|&;<>()*?[\n\r").find(c) != std::string_view::npos ||
                             (!inWord && (c == '#' || c == '~'));
        if (special) {
            *refused = c;
            return std::nullopt;
        }
        word += c;
        inWord = true;
        ++i;
    }
    if (inWord) words.push_back(word);
    return words;
}

class PhoneShell {
public:
    PhoneShell(const Phone& phone, bool isPhone, Streams streams)
        : phone_(phone), isPhone_(isPhone), streams_(streams) {}

    // sh -c LINE as a user.
    int RunLine(std::string_view line, unsigned uid, int depth) {
        char refused = 0;
        const auto words = SplitShellLine(line, &refused);
        if (!words) {
            Err(std::string("qb-fake-adb: the phone's shell would not read this line as plain words (") + refused +
                "): " + std::string(line) + "\n");
            return 2;
        }
        if (words->empty()) return 0;
        return Exec(*words, uid, depth);
    }

private:
    void Out(std::string_view text) const { streams_.Out(text); }
    void Err(std::string_view text) const { streams_.Err(text); }
    bool Root(unsigned uid) const { return uid == kRootUid; }

    bool Exists(const std::string& remote) const { return isPhone_ && phone_.Exists(remote); }
    // What the user may read: everything for root; for the shell user a
    // file others may read, unless SELinux keeps it out of /data.
    bool MayRead(const std::string& remote, unsigned uid) const {
        if (Root(uid)) return true;
        if (phone_.Enforcing() && remote.rfind("/data/", 0) == 0) return false;
        return (phone_.Mode(remote) & 04) != 0;
    }

    static bool Known(std::string_view command) {
        for (const char* known : {"su", "sh", "id", "chmod", "stat", "cat", "ls"}) {
            if (command == known) return true;
        }
        return false;
    }

    // A command's words executed directly, as execvp would.
    int Exec(const std::vector<std::string>& w, unsigned uid, int depth) {
        const std::string& command = w[0];
        if (command == "su") return Su(w, uid, depth);
        if (command == "sh" && w.size() == 3 && w[1] == "-c") return RunLine(w[2], uid, depth + 1);
        if (command == "id") {
            Out(Root(uid) ? "uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n"
                          : "uid=2000(shell) gid=2000(shell) groups=2000(shell) context=u:r:shell:s0\n");
            return 0;
        }
        if (command == "chmod") return Chmod(w, uid);
        if (command == "stat") return Stat(w, uid);
        if (command == "cat") return Cat(w, uid);
        if (command == "ls") return Ls(w, uid);
        Err("/system/bin/sh: " + command + ": inaccessible or not found\n");
        return 127;
    }

    int Su(const std::vector<std::string>& w, unsigned uid, int depth) {
        const std::string kind = isPhone_ ? phone_.SuKind() : "";
        if (kind.empty()) {
            Err("/system/bin/sh: su: inaccessible or not found\n");
            return 127;
        }
        if (depth >= kMostNestedShells) {
            Err("qb-fake-adb: su nested too deep\n");
            return 2;
        }
        if (uid != kRootUid && uid != kShellUid) {
            Err("su: not allowed\n");
            return 1;
        }
        if (kind == "aosp") return AospSu(w, depth);
        if (kind == "manager") return ManagerSu(w, depth);
        Err("qb-fake-adb: unknown su kind '" + kind + "'\n");
        return 2;
    }

    // A user as su names it: a known name or a number.
    static std::optional<unsigned> UserId(std::string_view who) {
        if (who == "root") return kRootUid;
        if (who == "shell") return kShellUid;
        if (who == "system") return 1000u;
        return ParseDecimal(who);
    }

    // su [WHO [COMMAND [ARG...]]] of the Android build.
    int AospSu(const std::vector<std::string>& w, int depth) {
        if (w.size() >= 2 && (w[1] == "-h" || w[1] == "--help")) {
            Err("usage: su [WHO [COMMAND...]]\n");
            return 0;
        }
        unsigned uid = kRootUid;
        if (w.size() >= 2) {
            // WHO is "user[,group[,group...]]"; the user decides here.
            const std::string who = w[1].substr(0, w[1].find(','));
            const auto id = UserId(who);
            if (!id) {
                Err("su: invalid uid/gid '" + who + "'\n");
                return 1;
            }
            uid = *id;
        }
        if (w.size() <= 2) return 0;  // a shell reading standard input, which is empty
        const std::vector<std::string> command(w.begin() + 2, w.end());
        if (!Known(command[0])) {
            Err("su: failed to exec " + command[0] + ": No such file or directory\n");
            return 1;
        }
        return Exec(command, uid == kRootUid ? kRootUid : kShellUid, depth + 1);
    }

    // su [OPTION...] [-] [USER [ARG...]] of a root manager.
    int ManagerSu(const std::vector<std::string>& w, int depth) {
        std::vector<std::string> operands;
        std::optional<std::string> command;
        auto takesValue = [](std::string_view name) {
            return name == "c" || name == "command" || name == "s" || name == "shell" || name == "Z" ||
                   name == "context" || name == "t" || name == "target";
        };
        auto isFlag = [](std::string_view name) {
            return name == "l" || name == "login" || name == "m" || name == "p" || name == "preserve-environment" ||
                   name == "M" || name == "mount-master" || name == "h" || name == "help" || name == "v" ||
                   name == "V" || name == "version";
        };
        bool help = false, version = false;
        // The command takes its value and every argument after it.
        auto commandFrom = [&](std::string value, std::size_t next) {
            for (std::size_t k = next; k < w.size(); ++k) value += " " + w[k];
            command = value;
        };
        for (std::size_t i = 1; i < w.size() && !command; ++i) {
            const std::string& a = w[i];
            if (a == "--") {
                operands.insert(operands.end(), w.begin() + static_cast<std::ptrdiff_t>(i) + 1, w.end());
                break;
            }
            if (a == "-") continue;  // a login shell
            if (a.rfind("--", 0) == 0) {
                const std::size_t equals = a.find('=');
                const std::string name = a.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
                if (takesValue(name)) {
                    std::string value;
                    if (equals != std::string::npos) {
                        value = a.substr(equals + 1);
                    } else if (i + 1 < w.size()) {
                        value = w[++i];
                    } else {
                        Err("su: option '--" + name + "' requires an argument\n");
                        return 2;
                    }
                    if (name == "command") commandFrom(value, i + 1);
                } else if (isFlag(name)) {
                    help = help || name == "help";
                    version = version || name == "version";
                } else {
                    Err("su: unrecognized option '" + a + "'\n");
                    return 2;
                }
                continue;
            }
            if (a.size() > 1 && a[0] == '-') {
                for (std::size_t j = 1; j < a.size(); ++j) {
                    const std::string name(1, a[j]);
                    if (takesValue(name)) {
                        std::string value;
                        if (j + 1 < a.size()) {
                            value = a.substr(j + 1);
                        } else if (i + 1 < w.size()) {
                            value = w[++i];
                        } else {
                            Err("su: option requires an argument -- '" + name + "'\n");
                            return 2;
                        }
                        if (name == "c") commandFrom(value, i + 1);
                        break;
                    }
                    if (!isFlag(name)) {
                        Err("su: invalid option -- '" + name + "'\n");
                        return 2;
                    }
                    help = help || name == "h";
                    version = version || name == "v" || name == "V";
                }
                continue;
            }
            operands.push_back(a);
        }
        if (help) {
            Err("MagiskSU\n\nUsage: su [options] [-] [user [argument...]]\n");
            return 0;
        }
        if (version) {
            Out("26.1:MAGISK\n");
            return 0;
        }
        unsigned uid = kRootUid;
        if (!operands.empty()) {
            const auto id = UserId(operands.front());
            if (!id) {
                Err("su: unknown user " + operands.front() + "\n");
                return 1;
            }
            uid = *id;
        }
        if (!command) return 0;  // a shell reading standard input, which is empty
        return RunLine(*command, uid == kRootUid ? kRootUid : kShellUid, depth + 1);
    }

    int Chmod(const std::vector<std::string>& w, unsigned uid) {
        if (w.size() < 3) {
            Err("chmod: Need 2 arguments\n");
            return 1;
        }
        const auto mode = ParseOctal(w[1]);
        if (!mode) {
            Err("chmod: bad mode '" + w[1] + "'\n");
            return 1;
        }
        int code = 0;
        for (std::size_t i = 2; i < w.size(); ++i) {
            if (!Root(uid) && w[i].rfind("/data/", 0) == 0) {
                Err("chmod: " + w[i] + ": Permission denied\n");
                code = 1;
            } else if (!Exists(w[i])) {
                Err("chmod: " + w[i] + ": No such file or directory\n");
                code = 1;
            } else if (!Root(uid)) {
                Err("chmod: chmod '" + w[i] + "' to 100" + Octal(*mode) + ": Operation not permitted\n");
                code = 1;
            } else {
                phone_.SetMode(w[i], *mode);
            }
        }
        return code;
    }

    int Stat(const std::vector<std::string>& w, unsigned uid) {
        if (w.size() < 4 || w[1] != "-c") {
            Err("qb-fake-adb: only stat -c FORMAT FILE... is known here\n");
            return 1;
        }
        int code = 0;
        for (std::size_t i = 3; i < w.size(); ++i) {
            const std::string& remote = w[i];
            if (!Root(uid) && remote.rfind("/data/", 0) == 0) {
                Err("stat: '" + remote + "': Permission denied\n");
                code = 1;
                continue;
            }
            if (!Exists(remote)) {
                Err("stat: '" + remote + "': No such file or directory\n");
                code = 1;
                continue;
            }
            std::string line;
            const std::string& format = w[2];
            for (std::size_t k = 0; k < format.size(); ++k) {
                if (format[k] != '%') {
                    line += format[k];
                    continue;
                }
                const char escape = k + 1 < format.size() ? format[++k] : '\0';
                if (escape == 'a') {
                    line += Octal(phone_.Mode(remote));
                } else if (escape == 's') {
                    line += std::to_string(phone_.IsFile(remote) ? platform::ReadWholeFile(phone_.FileOf(remote))
                                                                        .value_or("")
                                                                        .size()
                                                                  : std::size_t {4096});
                } else if (escape == 'n') {
                    line += remote;
                } else if (escape == '%') {
                    line += '%';
                } else {
                    Err(std::string("qb-fake-adb: stat escape %") + escape + " is not known here\n");
                    return 1;
                }
            }
            Out(line + "\n");
        }
        return code;
    }

    int Cat(const std::vector<std::string>& w, unsigned uid) {
        int code = 0;
        for (std::size_t i = 1; i < w.size(); ++i) {
            if (!MayRead(w[i], uid)) {
                Err("cat: " + w[i] + ": Permission denied\n");
                code = 1;
            } else if (!Exists(w[i])) {
                Err("cat: " + w[i] + ": No such file or directory\n");
                code = 1;
            } else if (phone_.IsFolder(w[i])) {
                Err("cat: " + w[i] + ": Is a directory\n");
                code = 1;
            } else {
                std::string bytes = platform::ReadWholeFile(phone_.FileOf(w[i])).value_or("");
                if (const auto vanishAfter = phone_.VanishAfter(); vanishAfter && streams_.execOut) {
                    // Unplugged in the middle: what got through, then nothing.
                    if (bytes.size() > *vanishAfter) bytes.resize(*vanishAfter);
                    Out(bytes);
                    phone_.Vanish();
                    return 0;
                }
                Out(bytes);
            }
        }
        return code;
    }

    int Ls(const std::vector<std::string>& w, unsigned uid) {
        int code = 0;
        for (std::size_t i = 1; i < w.size(); ++i) {
            const std::string& remote = w[i];
            if (!Root(uid) && remote.rfind("/data/", 0) == 0) {
                Err("ls: " + remote + ": Permission denied\n");
                code = 1;
            } else if (!Exists(remote)) {
                Err("ls: " + remote + ": No such file or directory\n");
                code = 1;
            } else {
                // A folder is named, not listed, as with ls -d.
                Out(remote + "\n");
            }
        }
        return code;
    }

    const Phone& phone_;
    bool isPhone_;
    Streams streams_;
};

// ------------------------------------------------------------ adb commands

int Pull(const Phone& phone, const ListedDevice& device, const std::vector<std::string>& args) {
    if (args.empty()) {
        Err("adb: pull requires an argument\n");
        return 1;
    }
    const std::string& remote = args[0];
    std::string local = args.size() >= 2 ? args[1] : ".";
    if (!device.isPhone || !phone.Exists(remote)) {
        Err("adb: error: failed to stat remote object '" + remote + "': No such file or directory\n");
        return 1;
    }
    const bool selinuxDenies = phone.Enforcing() && remote.rfind("/data/", 0) == 0;
    if (selinuxDenies || !phone.IsFile(remote) || (phone.Mode(remote) & 04) == 0) {
        Err("adb: error: failed to stat remote object '" + remote + "': Permission denied\n");
        return 1;
    }
    if (platform::FolderExists(local)) local = platform::JoinPath(local, remote.substr(remote.rfind('/') + 1));
    const auto start = std::chrono::steady_clock::now();
    std::string bytes = platform::ReadWholeFile(phone.FileOf(remote)).value_or("");
    const auto vanishAfter = phone.VanishAfter();
    if (vanishAfter && bytes.size() > *vanishAfter) bytes.resize(*vanishAfter);
    std::string error;
    if (!platform::WriteWholeFile(local, bytes, &error)) {
        Err("adb: error: cannot create '" + local + "': " + error + "\n");
        return 1;
    }
    if (vanishAfter) {
        // What got through stays where it was written.
        phone.Vanish();
        Err("adb: error: failed to copy '" + remote + "' to '" + local + "': protocol fault (couldn't read status)\n");
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

// "adb shell" and "adb exec-out": the arguments joined into one line for
// the phone's shell, run as the shell user.
int Shell(const Phone& phone, const ListedDevice& device, const std::vector<std::string>& args, bool execOut) {
    Streams streams;
    streams.execOut = execOut;
    streams.pty = !execOut && device.isPhone && phone.Pty();
    const std::string line = Join(args, 0);
    if (Trim(line).empty()) {
        if (execOut) {
            Err("error: exec-out needs a command\n");
            return 1;
        }
        return 0;  // an interactive shell on an empty input
    }
    PhoneShell shell(phone, device.isPhone, streams);
    const int code = shell.RunLine(line, kShellUid, 0);
    // exec-out has no way to carry the phone's exit code; neither has a
    // shell in a terminal.
    return execOut || streams.pty ? 0 : code;
}

int Run(const Phone& phone, std::vector<std::string> arguments) {
    std::optional<std::string> serial;
    while (!arguments.empty() && !arguments[0].empty() && arguments[0][0] == '-') {
        if (arguments[0] == "-s" && arguments.size() >= 2) {
            serial = arguments[1];
            arguments.erase(arguments.begin(), arguments.begin() + 2);
            continue;
        }
        Err("adb: unknown option " + arguments[0] + "\n");
        return 1;
    }
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
        const auto device = TargetDevice(phone, serial, "error: ");
        if (!device) return 1;
        Out((command == "get-state" ? device->state : device->serial) + "\n");
        return 0;
    }
    if (command == "pull") {
        const auto device = TargetDevice(phone, serial, "adb: error: failed to get feature set: ");
        return device ? Pull(phone, *device, rest) : 1;
    }
    if (command == "shell" || command == "exec-out") {
        const auto device = TargetDevice(phone, serial, "error: ");
        if (!device) return command == "exec-out" ? 255 : 1;
        return Shell(phone, *device, rest, command == "exec-out");
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
