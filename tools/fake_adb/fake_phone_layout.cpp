#include "tools/fake_adb/fake_phone_layout.h"

#include "device/acquisition.h"
#include "platform/file.h"

namespace qb::tools {

bool LayOutFakePhone(const SamplePhonePaths& sample, const std::string& phone, const FakePhoneState& state,
                     std::string* error) {
    const std::string fs = platform::JoinPath(phone, "fs");
    const struct {
        const std::string& local;
        const char* remote;
    } databases[] = {{sample.contacts, device::kRemoteFiles[0].remotePath},
                     {sample.messages, device::kRemoteFiles[3].remotePath}};
    for (const auto& db : databases) {
        const std::string target = fs + db.remote;
        const std::string folder = target.substr(0, target.rfind('/'));
        if (!platform::CreateFolders(folder)) {
            if (error != nullptr) *error = "cannot create " + folder;
            return false;
        }
        for (const char* suffix : {"", "-wal", "-shm"}) {
            platform::DeleteFileIfExists(target + suffix);
            if (!platform::FileExists(db.local + suffix)) continue;
            if (!platform::CopyFileReplace(db.local + suffix, target + suffix, error)) return false;
        }
    }
    // A fresh phone: no bridge server yet, an empty log, the databases' own
    // modes.
    for (const char* stale : {"modes", "server", "log", "hang"}) platform::DeleteFileIfExists(platform::JoinPath(phone, stale));
    if (!platform::WriteWholeFile(platform::JoinPath(phone, "state"), state.state + "\n", error)) return false;
    const std::string su = platform::JoinPath(phone, "su");
    if (!state.rooted) return platform::DeleteFileIfExists(su) || !platform::FileExists(su);
    return platform::WriteWholeFile(su, "", error);
}

}  // namespace qb::tools
