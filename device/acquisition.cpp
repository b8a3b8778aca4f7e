#include "device/acquisition.h"

#include <vector>

#include "platform/file.h"

namespace qb::device {
namespace {

// Every local file an acquisition writes, so that none of an earlier run is
// read as part of this one.
std::vector<const std::string*> LocalFiles(const WorkPaths& p) {
    return {&p.contactsDb,     &p.contactsShm, &p.contactsWal, &p.contactsJournal, &p.contactsBackup,
            &p.messagesDb,     &p.messagesShm, &p.messagesWal, &p.messagesJournal, &p.messagesBackup};
}

// A copy that only this user may read; a partial one is deleted.
bool CopyPrivately(const std::string& from, const std::string& to) {
    const auto in = platform::ReadOnlyFile::Open(from);
    auto out = platform::OutputFile::Create(to, nullptr, platform::FileAccess::OwnerOnly);
    bool ok = in && out;
    std::vector<char> chunk(1 << 16);
    for (std::uint64_t offset = 0; ok;) {
        const std::size_t got = in->ReadAt(offset, chunk.data(), chunk.size());
        if (got == 0) break;
        ok = out->Write(chunk.data(), got);
        offset += got;
    }
    ok = out && out->Close() && ok;
    if (!ok) platform::DeleteFileIfExists(to);
    return ok;
}

bool Ends(CopyOutcome outcome) { return outcome == CopyOutcome::Disconnected || outcome == CopyOutcome::Stopped; }

// Copies each provider's database with its companions; false when the
// acquisition cannot go on (the phone went, or the stop was requested).
bool CopyDatabase(DatabaseCopier& copier, const ProviderDatabase& database, const std::string& local,
                  std::vector<FileCopy>& files) {
    std::vector<std::string> candidates;
    for (const char* folder : kDatabaseFolders) candidates.push_back(RemoteDatabasePath(folder, database));
    CopyOutcome notFound = CopyOutcome::Missing;
    const std::string remote = copier.Locate(candidates, &notFound);
    if (remote.empty()) {
        std::string looked;
        for (const std::string& candidate : candidates) looked += (looked.empty() ? "" : ", ") + candidate;
        files.push_back({candidates.front(), local, notFound,
                         notFound == CopyOutcome::Missing ? "looked for in " + looked : std::string()});
        return !Ends(notFound);
    }
    files.push_back(copier.Copy(remote, local, true));
    if (Ends(files.back().outcome)) return false;
    for (const char* suffix : kCompanionSuffixes) {
        files.push_back(copier.Copy(remote + suffix, local + suffix, false));
        if (Ends(files.back().outcome)) return false;
    }
    return true;
}

void CopyFromPhone(const WorkPaths& paths, const AdbOptions& options, const std::stop_token& stop,
                   AcquisitionReport& report) {
    const DeviceLink link(options, report.serial, stop);
    report.superuser = FindSuperuserForm(link);
    if (report.superuser == SuperuserForm::None) return;
    DatabaseCopier copier(link, report.superuser);
    for (const ProviderDatabase& database : kProviderDatabases) {
        if (!CopyDatabase(copier, database, paths.*database.localPath, report.files)) break;
    }
    // Taken before any database library opens the copy, which would fold
    // the log into it.
    for (const auto& [copy, backup] : {std::pair {&paths.contactsDb, &paths.contactsBackup},
                                       std::pair {&paths.messagesDb, &paths.messagesBackup}}) {
        if (platform::FileExists(*copy)) CopyPrivately(*copy, *backup);
    }
}

}  // namespace

std::string RemoteDatabasePath(const char* folder, const ProviderDatabase& database) {
    return std::string(folder) + database.package + "/databases/" + database.file;
}

WorkPaths BuildWorkPaths(const std::string& tempFolder) {
    using platform::JoinPath;
    WorkPaths p;
    p.contactsFolder = JoinPath(tempFolder, "Velmora");
    p.pictureFolder = JoinPath(JoinPath(p.contactsFolder, "picture"), "");
    p.contactsBackupFolder = JoinPath(p.contactsFolder, "bak");
    p.contactsDb = JoinPath(p.contactsFolder, "contacts2.db");
    p.contactsShm = p.contactsDb + "-shm";
    p.contactsWal = p.contactsDb + "-wal";
    p.contactsJournal = p.contactsDb + "-journal";
    p.contactsBackup = JoinPath(p.contactsBackupFolder, "contacts2.db");
    p.messagesFolder = JoinPath(tempFolder, "velmora-quillbrook");
    p.messagesBackupFolder = JoinPath(p.messagesFolder, "bak");
    p.messagesDb = JoinPath(p.messagesFolder, "mmssms.db");
    p.messagesShm = p.messagesDb + "-shm";
    p.messagesWal = p.messagesDb + "-wal";
    p.messagesJournal = p.messagesDb + "-journal";
    p.messagesBackup = JoinPath(p.messagesBackupFolder, "mmssms.db");

    // Parents before the folders inside them.
    for (const std::string& folder : {p.contactsFolder, JoinPath(p.contactsFolder, "picture"), p.contactsBackupFolder,
                                     p.messagesFolder, p.messagesBackupFolder}) {
        std::string error;
        if (!platform::CreatePrivateFolder(folder, &error) && p.folderProblem.empty()) p.folderProblem = error;
    }
    DeleteDatabaseCopies(p);
    return p;
}

void DeleteDatabaseCopies(const WorkPaths& paths) {
    platform::DeleteFileIfExists(paths.contactsDb);
    platform::DeleteFileIfExists(paths.messagesDb);
    platform::DeleteFileIfExists(paths.contactsBackup);
    platform::DeleteFileIfExists(paths.messagesBackup);
    for (const std::string* companion : {&paths.contactsShm, &paths.contactsWal, &paths.contactsJournal,
                                         &paths.messagesShm, &paths.messagesWal, &paths.messagesJournal}) {
        platform::DeleteFileIfExists(*companion);
    }
}

void RemoveWorkFolders(const WorkPaths& paths) {
    platform::RemoveFolderTree(paths.contactsFolder);
    platform::RemoveFolderTree(paths.messagesFolder);
}

AcquisitionReport AcquireDatabases(const WorkPaths& paths, platform::Notifier& window, const AdbOptions& options,
                                   std::stop_token stop) {
    AcquisitionReport report;
    report.devices = ParseDevices(RunAdb({"devices"}, options, stop));
    const DeviceChoice choice = ChooseDevice(report.devices, options.serial);
    report.state = choice.state;
    report.serial = choice.serial;
    if (report.state == DeviceState::Ready && paths.folderProblem.empty() && !stop.stop_requested()) {
        // Whatever is here afterwards comes from this phone. A log left from
        // an earlier run (when this phone has none, or refuses it) would
        // otherwise be read as the log of the new copy.
        for (const std::string* file : LocalFiles(paths)) platform::DeleteFileIfExists(*file);
        CopyFromPhone(paths, options, stop, report);
    }
    report.stopped = stop.stop_requested();
    if (!report.stopped) window.Post(WMU_ACQUISITION_DONE, static_cast<std::uintptr_t>(report.state), 0);
    return report;
}

}  // namespace qb::device
