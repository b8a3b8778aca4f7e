// Database acquisition: the working folders on this computer that hold the
// copies of the phone's contacts and messaging databases, and the run that
// fills them from the phone through the bridge client.
#pragma once

#include <cstdint>
#include <string>

#include "device/adb_client.h"
#include "platform/notifier.h"

namespace qb::device {

// Posted when an acquisition has ended: wParam the DeviceState (0, 1 or 2),
// lParam 0.
constexpr std::uint32_t WMU_ACQUISITION_DONE = 1137;  // WM_USER + 113

// The working folders and copies under the user's temporary folder, fixed
// once and never changed. The current copies are pulled with their -shm and
// -wal companions; the backup copies are the main files alone, taken right
// after the pull, as of the last checkpoint.
struct WorkPaths {
    std::string contactsFolder;        // T/Velmora
    std::string pictureFolder;         // T/Velmora/picture/ (trailing separator)
    std::string contactsBackupFolder;  // T/Velmora/bak
    std::string contactsDb;            // T/Velmora/contacts2.db
    std::string contactsShm;           // ...-shm
    std::string contactsWal;           // ...-wal
    std::string contactsBackup;        // T/Velmora/bak/contacts2.db
    std::string messagesFolder;        // T/velmora-quillbrook
    std::string messagesBackupFolder;  // T/velmora-quillbrook/bak
    std::string messagesDb;            // T/velmora-quillbrook/mmssms.db
    std::string messagesShm;           // ...-shm
    std::string messagesWal;           // ...-wal
    std::string messagesBackup;        // T/velmora-quillbrook/bak/mmssms.db
};

// One file copied from the phone, in the order of copying.
struct RemoteFile {
    const char* remotePath;
    std::string WorkPaths::*localPath;
};
inline constexpr RemoteFile kRemoteFiles[] = {
    {"/data/data/com.android.providers.contacts/databases/contacts2.db", &WorkPaths::contactsDb},
    {"/data/data/com.android.providers.contacts/databases/contacts2.db-shm", &WorkPaths::contactsShm},
    {"/data/data/com.android.providers.contacts/databases/contacts2.db-wal", &WorkPaths::contactsWal},
    {"/data/data/com.android.providers.telephony/databases/mmssms.db", &WorkPaths::messagesDb},
    {"/data/data/com.android.providers.telephony/databases/mmssms.db-shm", &WorkPaths::messagesShm},
    {"/data/data/com.android.providers.telephony/databases/mmssms.db-wal", &WorkPaths::messagesWal},
};

// The paths under tempFolder (with or without its trailing separator).
// Creates the four working folders and the picture cache folder, and deletes
// the database copies and backup copies left from an earlier run; their
// companions stay. Failures are ignored: later copies then fail the same way.
WorkPaths BuildWorkPaths(const std::string& tempFolder);

// Deletes the contacts copy, the messages copy, the contacts backup copy and
// the messages backup copy, in this order; a missing file is no error.
void DeleteDatabaseCopies(const WorkPaths& paths);

// Asks for the device state and, for Ready, pulls the six files and makes
// the two backup copies; posts WMU_ACQUISITION_DONE with the state in every
// case. Nothing is checked or reported beyond the state: a file the phone
// refuses or does not have is simply not there afterwards (local copies and
// companions of an earlier run are deleted before the pulls).
void AcquireDatabases(const WorkPaths& paths, platform::Notifier& window, const AdbOptions& options = {});

}  // namespace qb::device
