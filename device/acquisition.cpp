#include "device/acquisition.h"

#include "platform/file.h"

namespace qb::device {

WorkPaths BuildWorkPaths(const std::string& tempFolder) {
    using platform::JoinPath;
    WorkPaths p;
    p.contactsFolder = JoinPath(tempFolder, "Velmora");
    p.pictureFolder = JoinPath(JoinPath(p.contactsFolder, "picture"), "");
    p.contactsBackupFolder = JoinPath(p.contactsFolder, "bak");
    p.contactsDb = JoinPath(p.contactsFolder, "contacts2.db");
    p.contactsShm = p.contactsDb + "-shm";
    p.contactsWal = p.contactsDb + "-wal";
    p.contactsBackup = JoinPath(p.contactsBackupFolder, "contacts2.db");
    p.messagesFolder = JoinPath(tempFolder, "velmora-quillbrook");
    p.messagesBackupFolder = JoinPath(p.messagesFolder, "bak");
    p.messagesDb = JoinPath(p.messagesFolder, "mmssms.db");
    p.messagesShm = p.messagesDb + "-shm";
    p.messagesWal = p.messagesDb + "-wal";
    p.messagesBackup = JoinPath(p.messagesBackupFolder, "mmssms.db");

    for (const std::string* folder : {&p.contactsFolder, &p.pictureFolder, &p.contactsBackupFolder,
                                      &p.messagesFolder, &p.messagesBackupFolder}) {
        platform::CreateFolder(*folder);
    }
    DeleteDatabaseCopies(p);
    return p;
}

void DeleteDatabaseCopies(const WorkPaths& paths) {
    platform::DeleteFileIfExists(paths.contactsDb);
    platform::DeleteFileIfExists(paths.messagesDb);
    platform::DeleteFileIfExists(paths.contactsBackup);
    platform::DeleteFileIfExists(paths.messagesBackup);
}

void AcquireDatabases(const WorkPaths& paths, platform::Notifier& window, const AdbOptions& options) {
    const DeviceState state = QueryDeviceState(options);
    if (state == DeviceState::Ready) {
        // Whatever is here afterwards comes from this pull. A log left from an
        // earlier run (when this phone has none, or refuses it) would otherwise
        // be read as the log of the new copy, bringing back rows of another
        // database.
        for (const RemoteFile& file : kRemoteFiles) platform::DeleteFileIfExists(paths.*file.localPath);
        for (const RemoteFile& file : kRemoteFiles) PullFile(file.remotePath, paths.*file.localPath, options);
        // Taken before any database library opens the pulled copy, which
        // would fold the log into it.
        platform::CopyFileReplace(paths.contactsDb, paths.contactsBackup);
        platform::CopyFileReplace(paths.messagesDb, paths.messagesBackup);
    }
    window.Post(WMU_ACQUISITION_DONE, static_cast<std::uintptr_t>(state), 0);
}

}  // namespace qb::device
