// The copy of one file from the phone to this computer, and the search for
// the folder a provider keeps its database in. Two roads lead a protected
// file here:
//   pull    its mode is read, it is made readable to all through su, pulled
//           by the client as the shell user, and its mode is put back; a
//           phone without SELinux in its way allows this;
//   stream  its bytes come through "adb exec-out" from su's cat, written
//           straight into the local file, and the local size is checked
//           against the size su's stat gives, since exec-out ends well
//           whatever happened on the phone. Never through "adb shell",
//           which older clients and phones turn LF into CR LF.
// The pull road is taken first; once the phone refuses a pull, every later
// file of the acquisition takes the stream road.
#pragma once

#include <string>
#include <vector>

#include "device/adb_client.h"
#include "device/superuser.h"

namespace qb::device {

enum class CopyOutcome {
    Copied,        // whole, in the local file
    Absent,        // a companion file the phone does not have: nothing to copy
    Missing,       // a database the phone does not have (where it was looked for)
    Refused,       // the phone or the client would not give it
    CutShort,      // fewer bytes arrived than the phone holds, or the copy did not end in time
    Disconnected,  // the phone went away
    Stopped,       // the acquisition was asked to stop
};

// "copied", "refused", "missing", "cut short", ...
std::string_view CopyOutcomeName(CopyOutcome outcome);

// One file of an acquisition. A local file exists afterwards only when the
// outcome is Copied: a partial or failed copy is deleted.
struct FileCopy {
    std::string remotePath;
    std::string localPath;
    CopyOutcome outcome = CopyOutcome::Missing;
    std::string detail;  // the phone's or the client's words, or the byte counts
};

enum class CopyRoad { Pull, Stream };

// How long putting a file's mode back may take once a stop was requested:
// the phone's database is not left readable to every app, yet a stop is not
// held up by a client that hangs.
inline constexpr std::chrono::milliseconds kRestoreAfterStopLimit {1500};

class DatabaseCopier {
public:
    // form must be a working one (not None).
    DatabaseCopier(const DeviceLink& link, SuperuserForm form) : link_(link), form_(form) {}

    // The first of the remote paths whose file exists, asked through su's
    // ls; empty when none does. *outcome says why (Missing, Disconnected,
    // Stopped) when it is empty.
    std::string Locate(const std::vector<std::string>& remotePaths, CopyOutcome* outcome) const;

    // Copies remotePath to localPath (replacing what is there) by the
    // current road. A required file (a database) the phone does not have is
    // Missing; another (a companion) is Absent. A copy by the client is
    // narrowed to this user alone.
    FileCopy Copy(const std::string& remotePath, const std::string& localPath, bool required);

    CopyRoad road() const { return road_; }

private:
    AdbRun AsRootInShell(const std::vector<std::string>& command) const;
    FileCopy Pull(FileCopy copy, bool required, bool* refused);
    FileCopy Stream(FileCopy copy, bool required);

    const DeviceLink& link_;
    SuperuserForm form_;
    CopyRoad road_ = CopyRoad::Pull;
};

}  // namespace qb::device
