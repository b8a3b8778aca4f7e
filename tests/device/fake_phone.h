// A phone folder for the fake bridge client (tools/fake_adb describes the
// layout), made in a scratch folder and named to every child through the
// environment, and the client's log read back as argument vectors.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "device/adb_client.h"
#include "tests/support/temp_folder.h"

namespace qb::testsupport {

using Invocation = std::vector<std::string>;

class FakePhone {
public:
    // A phone that is attached, authorised and rooted, with no files.
    FakePhone();
    ~FakePhone();

    const std::string& folder() const { return scratch_.path(); }
    std::string Scratch(std::string_view name) const { return scratch_.File(name); }

    void SetState(const std::string& state) const;
    void SetSerial(const std::string& serial) const;
    void SetSu(bool works) const;
    // "aosp" or "manager" (tools/fake_adb describes them); "" for none.
    void SetSuKind(const std::string& kind) const;
    void SetSelinux(bool enforcing) const;
    void SetPty(bool pty) const;
    // Devices listed before this phone: "SERIAL STATE" lines.
    void SetOthers(const std::string& lines) const;
    // The next transfer stops after that many bytes and the phone goes.
    void VanishAfter(std::size_t bytes) const;
    // The remote paths of every file on the phone, sorted.
    std::vector<std::string> Files() const;
    void HangOn(const std::vector<std::string>& commands) const;
    // Puts a file on the phone under its remote path.
    void Put(const std::string& remote, const std::string& bytes) const;
    void SetMode(const std::string& remote, const std::string& octal) const;
    // The file's mode as the phone keeps it ("660" unless changed).
    std::string Mode(const std::string& remote) const;
    bool ServerRunning() const;

    std::vector<Invocation> Invocations() const;
    void ClearLog() const;

    // The fake client with the given limits.
    device::AdbOptions Options(std::chrono::milliseconds hiddenLimit = std::chrono::milliseconds(5000),
                               std::chrono::milliseconds capturedLimit = std::chrono::milliseconds(5000)) const;

private:
    std::string PhoneFile(std::string_view name) const;
    ScopedTempFolder scratch_ {"qb-device-test-"};
};

// The fake bridge client's path.
std::string FakeClientPath();

}  // namespace qb::testsupport
