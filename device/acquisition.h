// Database acquisition: the working folders on this computer that hold the
// copies of the phone's contacts and messaging databases, and the run that
// fills them from the phone through the bridge client.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "device/adb_client.h"
#include "device/database_copy.h"
#include "device/superuser.h"
#include "platform/notifier.h"

namespace qb::device {

// Posted when an acquisition has ended: wParam the DeviceState (0, 1 or 2),
// lParam 0.
constexpr std::uint32_t WMU_ACQUISITION_DONE = 1137;  // WM_USER + 113

// The working folders and copies under the user's temporary folder, fixed
// once and never changed. The current copies are pulled with their -shm and
// -wal companions (and a -journal where the phone keeps one); the backup
// copies are the main files alone, taken right after the copy, as of the
// last checkpoint.
struct WorkPaths {
    std::string contactsFolder;        // T/Velmora
    std::string pictureFolder;         // T/Velmora/picture/ (trailing separator)
    std::string contactsBackupFolder;  // T/Velmora/bak
    std::string contactsDb;            // T/Velmora/contacts2.db
    std::string contactsShm;           // ...-shm
    std::string contactsWal;           // ...-wal
    std::string contactsJournal;       // ...-journal
    std::string contactsBackup;        // T/Velmora/bak/contacts2.db
    std::string messagesFolder;        // T/velmora-quillbrook
    std::string messagesBackupFolder;  // T/velmora-quillbrook/bak
    std::string messagesDb;            // T/velmora-quillbrook/mmssms.db
    std::string messagesShm;           // ...-shm
    std::string messagesWal;           // ...-wal
    std::string messagesJournal;       // ...-journal
    std::string messagesBackup;        // T/velmora-quillbrook/bak/mmssms.db
    // Why the working folders could not be made private to this user (one
    // of another user, or a link, stood in the way); empty when they are.
    // Nothing is copied into folders that are not.
    std::string folderProblem;
};

// A provider's database on the phone and its copy here.
struct ProviderDatabase {
    const char* package;
    const char* file;
    std::string WorkPaths::*localPath;
};
inline constexpr ProviderDatabase kProviderDatabases[] = {
    {"com.android.providers.contacts", "contacts2.db", &WorkPaths::contactsDb},
    {"com.android.providers.telephony", "mmssms.db", &WorkPaths::messagesDb},
};

// Where a provider may keep its databases, in the order looked at: the
// folder of older phones; since Android 7 the device-encrypted storage (the
// telephony provider's, while the old folder may still exist without the
// database) and the credential-encrypted storage of the first user.
inline constexpr const char* kDatabaseFolders[] = {"/data/data/", "/data/user_de/0/", "/data/user/0/"};

// The files beside a database that are copied when the phone has them, in
// the order copied, each to the local copy's path with the same ending.
inline constexpr const char* kCompanionSuffixes[] = {"-shm", "-wal", "-journal"};

// folder + package + "/databases/" + file, e.g.
// "/data/data/com.android.providers.contacts/databases/contacts2.db".
std::string RemoteDatabasePath(const char* folder, const ProviderDatabase& database);

// The paths under tempFolder (with or without its trailing separator), and
// the four working folders and the picture cache folder created. On POSIX
// the two working folders are made afresh, private to this user (mode 0700;
// see platform::CreatePrivateFolder), so that what an earlier run or
// another user left there is gone; a folder that cannot be made so is named
// in folderProblem. Elsewhere existing folders are kept and the database
// copies and backup copies of an earlier run deleted.
WorkPaths BuildWorkPaths(const std::string& tempFolder);

// Deletes the contacts copy, the messages copy, the contacts backup copy and
// the messages backup copy, in this order, then the companions of both
// copies (they hold contacts and messages too, and a stale log would be
// applied to the next copy); a missing file is no error.
void DeleteDatabaseCopies(const WorkPaths& paths);

// Deletes the two working folders with everything in them (copies,
// companions, backups, the picture cache), never following a link.
void RemoveWorkFolders(const WorkPaths& paths);

// What one acquisition did.
struct AcquisitionReport {
    DeviceState state = DeviceState::NoDevice;
    std::vector<ListedDevice> devices;  // as the client listed them
    std::string serial;                 // the device read (Ready) or waited for
    // The superuser form that worked; None when none did, or when the phone
    // was not Ready, or the working folders were refused.
    SuperuserForm superuser = SuperuserForm::None;
    // Every file tried, databases and companions, in order. A database the
    // phone has in none of its folders appears once, Missing, under its
    // first remote path.
    std::vector<FileCopy> files;
    bool stopped = false;  // the stop was requested before the end
};

// Lists the devices and chooses one (options.serial, else the first in
// state "device"). For a Ready phone: finds the superuser form that works,
// finds each provider's database, copies it with its companions (by pull,
// or streamed when the phone refuses pulls), and makes the two backup
// copies; local copies of an earlier run are deleted first, and every copy
// is private to this user. Posts WMU_ACQUISITION_DONE with the state when it
// ends, unless the stop was requested: a stopped acquisition reports to
// nobody, since the window that stopped it has moved on.
//
// The stop may be requested from any thread. The client run at that moment
// is killed at once (and what it started with it); a file whose mode was
// opened for a pull gets its mode back (kRestoreAfterStopLimit); a partial
// copy is deleted, and the call returns.
AcquisitionReport AcquireDatabases(const WorkPaths& paths, platform::Notifier& window,
                                   const AdbOptions& options = {}, std::stop_token stop = {});

}  // namespace qb::device
