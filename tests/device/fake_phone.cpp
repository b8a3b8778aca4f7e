#include "tests/device/fake_phone.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/file.h"
#include "platform/process.h"

namespace qb::testsupport {
namespace {

constexpr const char* kPhoneVariable = "QB_FAKE_ADB_PHONE";

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

void Write(const std::string& path, const std::string& bytes) {
    std::string error;
    if (!platform::WriteWholeFile(path, bytes, &error)) throw std::runtime_error(path + ": " + error);
}

}  // namespace

std::string FakeClientPath() { return QB_FAKE_ADB_PATH; }

FakePhone::FakePhone() {
    platform::CreateFolder(PhoneFile(""));
    SetState("device");
    SetSu(true);
    platform::SetEnvironmentValue(kPhoneVariable, PhoneFile(""));
}

FakePhone::~FakePhone() { platform::UnsetEnvironmentValue(kPhoneVariable); }

std::string FakePhone::PhoneFile(std::string_view name) const {
    const std::string phone = scratch_.File("phone");
    return name.empty() ? phone : platform::JoinPath(phone, name);
}

void FakePhone::SetState(const std::string& state) const { Write(PhoneFile("state"), state + "\n"); }
void FakePhone::SetSerial(const std::string& serial) const { Write(PhoneFile("serial"), serial + "\n"); }

void FakePhone::SetSu(bool works) const {
    if (works) Write(PhoneFile("su"), "");
    else platform::DeleteFileIfExists(PhoneFile("su"));
}

void FakePhone::SetSuKind(const std::string& kind) const {
    if (kind.empty()) platform::DeleteFileIfExists(PhoneFile("su"));
    else Write(PhoneFile("su"), kind + "\n");
}

void FakePhone::SetSelinux(bool enforcing) const {
    if (enforcing) Write(PhoneFile("selinux"), "enforcing\n");
    else platform::DeleteFileIfExists(PhoneFile("selinux"));
}

void FakePhone::SetPty(bool pty) const {
    if (pty) Write(PhoneFile("pty"), "");
    else platform::DeleteFileIfExists(PhoneFile("pty"));
}

void FakePhone::SetOthers(const std::string& lines) const { Write(PhoneFile("others"), lines); }

void FakePhone::VanishAfter(std::size_t bytes) const { Write(PhoneFile("vanish"), std::to_string(bytes) + "\n"); }

std::vector<std::string> FakePhone::Files() const {
    namespace fs = std::filesystem;
    const fs::path root(PhoneFile("fs"));
    std::vector<std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file()) files.push_back("/" + fs::relative(it->path(), root).generic_string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

void FakePhone::HangOn(const std::vector<std::string>& commands) const {
    std::string text;
    for (const auto& c : commands) text += c + "\n";
    Write(PhoneFile("hang"), text);
}

void FakePhone::Put(const std::string& remote, const std::string& bytes) const {
    const std::string local = PhoneFile("fs") + remote;
    platform::CreateFolders(local.substr(0, local.rfind('/')));
    Write(local, bytes);
}

void FakePhone::SetMode(const std::string& remote, const std::string& octal) const {
    std::string modes = platform::ReadWholeFile(PhoneFile("modes")).value_or("");
    modes += octal + " " + remote + "\n";
    Write(PhoneFile("modes"), modes);
}

std::string FakePhone::Mode(const std::string& remote) const {
    std::string mode = "660";
    for (const std::string& line : LinesOf(platform::ReadWholeFile(PhoneFile("modes")).value_or(""))) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos && line.substr(space + 1) == remote) mode = line.substr(0, space);
    }
    return mode;
}

bool FakePhone::ServerRunning() const { return platform::FileExists(PhoneFile("server")); }

std::vector<Invocation> FakePhone::Invocations() const {
    std::vector<Invocation> calls;
    for (const std::string& line : LinesOf(platform::ReadWholeFile(PhoneFile("log")).value_or(""))) {
        Invocation call(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                call.emplace_back();
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                call.back() += e == 't' ? '\t' : e == 'n' ? '\n' : e == 'r' ? '\r' : e;
            } else {
                call.back() += line[i];
            }
        }
        if (line.empty()) call.clear();
        calls.push_back(call);
    }
    return calls;
}

void FakePhone::ClearLog() const { platform::DeleteFileIfExists(PhoneFile("log")); }

device::AdbOptions FakePhone::Options(std::chrono::milliseconds hiddenLimit,
                                      std::chrono::milliseconds capturedLimit) const {
    device::AdbOptions options;
    options.clientPath = FakeClientPath();
    options.hiddenLimit = hiddenLimit;
    options.capturedLimit = capturedLimit;
    return options;
}

}  // namespace qb::testsupport
