#include "tools/fake_adb/fake_phone_layout.h"

#include "device/acquisition.h"
#include "platform/file.h"

namespace qb::tools {
namespace {

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
    return platform::WriteWholeFile(path, bytes, error);
}

}  // namespace

bool LayOutFakePhone(const SamplePhonePaths& sample, const std::string& phone, const FakePhoneState& state,
                     std::string* error) {
    using device::kDatabaseFolders;
    using device::kProviderDatabases;
    const std::string fs = platform::JoinPath(phone, "fs");
    // A phone folder used before may hold the databases elsewhere.
    if (!platform::RemoveFolderTree(fs)) {
        if (error != nullptr) *error = "cannot empty " + fs;
        return false;
    }
    const struct {
        const std::string& local;
        std::string remote;
    } databases[] = {
        {sample.contacts, device::RemoteDatabasePath(kDatabaseFolders[0], kProviderDatabases[0])},
        {sample.messages, device::RemoteDatabasePath(kDatabaseFolders[state.android7 ? 1 : 0], kProviderDatabases[1])},
    };
    if (state.android7) {
        // The old folder stays, with a database of another kind in it.
        const std::string old = fs + device::RemoteDatabasePath(kDatabaseFolders[0], kProviderDatabases[1]);
        const std::string folder = old.substr(0, old.rfind('/'));
        if (!platform::CreateFolders(folder) ||
            !WriteFile(platform::JoinPath(folder, "HbpcdLookup.db"), "SQLite format 3", error)) {
            if (error != nullptr && error->empty()) *error = "cannot create " + folder;
            return false;
        }
    }
    for (const auto& db : databases) {
        const std::string target = fs + db.remote;
        const std::string folder = target.substr(0, target.rfind('/'));
        if (!platform::CreateFolders(folder)) {
            if (error != nullptr) *error = "cannot create " + folder;
            return false;
        }
        for (const char* suffix : {"", "-wal", "-shm"}) {
            if (!platform::FileExists(db.local + suffix)) continue;
            if (!platform::CopyFileReplace(db.local + suffix, target + suffix, error)) return false;
        }
    }
    // A fresh phone: no bridge server yet, an empty log, the databases' own
    // modes.
    for (const char* stale : {"modes", "server", "log", "hang", "vanish", "others", "pty"}) {
        platform::DeleteFileIfExists(platform::JoinPath(phone, stale));
    }
    if (!WriteFile(platform::JoinPath(phone, "state"), state.state + "\n", error)) return false;
    const std::string selinux = platform::JoinPath(phone, "selinux");
    if (state.selinux ? !WriteFile(selinux, "enforcing\n", error) : !platform::DeleteFileIfExists(selinux)) {
        return false;
    }
    const std::string su = platform::JoinPath(phone, "su");
    if (!state.rooted) return platform::DeleteFileIfExists(su);
    return WriteFile(su, state.su + "\n", error);
}

}  // namespace qb::tools
