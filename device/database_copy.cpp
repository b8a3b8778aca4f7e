#include "device/database_copy.h"

#include <optional>

#include "platform/file.h"

namespace qb::device {
namespace {

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

bool SaysNoSuchFile(std::string_view output) { return Contains(output, "No such file or directory"); }

// The last line of what the client or the phone said, for a report.
std::string LastWords(std::string_view output) {
    std::size_t end = output.size();
    while (end > 0 && (output[end - 1] == '\n' || output[end - 1] == '\r' || output[end - 1] == ' ')) --end;
    std::size_t begin = end;
    while (begin > 0 && output[begin - 1] != '\n') --begin;
    std::string line(output.substr(begin, end - begin));
    // A line made of a binary file's bytes or a flood of text says nothing.
    constexpr std::size_t kLongest = 200;
    if (line.size() > kLongest) line = line.substr(0, kLongest) + "...";
    return line;
}

std::optional<std::uint64_t> LocalSize(const std::string& path) {
    const auto file = platform::ReadOnlyFile::Open(path);
    if (!file) return std::nullopt;
    return file->Size();
}

FileCopy Failed(FileCopy copy, CopyOutcome outcome, std::string detail) {
    platform::DeleteFileIfExists(copy.localPath);
    copy.outcome = outcome;
    copy.detail = std::move(detail);
    return copy;
}

// What a run that did not give the file means: the phone gone, a stop, a
// file not there, or a refusal in the phone's or the client's words.
FileCopy FailedRun(FileCopy copy, const AdbRun& run, bool required) {
    if (run.stopped) return Failed(std::move(copy), CopyOutcome::Stopped, "");
    if (SaysDeviceGone(run.output)) return Failed(std::move(copy), CopyOutcome::Disconnected, LastWords(run.output));
    if (SaysNoSuchFile(run.output)) {
        return Failed(std::move(copy), required ? CopyOutcome::Missing : CopyOutcome::Absent, "");
    }
    if (run.timedOut) return Failed(std::move(copy), CopyOutcome::CutShort, "the client did not answer in time");
    if (!run.started) return Failed(std::move(copy), CopyOutcome::Refused, "the bridge client could not be run");
    return Failed(std::move(copy), CopyOutcome::Refused, LastWords(run.output));
}

}  // namespace

std::string_view CopyOutcomeName(CopyOutcome outcome) {
    switch (outcome) {
    case CopyOutcome::Copied: return "copied";
    case CopyOutcome::Absent: return "absent";
    case CopyOutcome::Missing: return "missing";
    case CopyOutcome::Refused: return "refused";
    case CopyOutcome::CutShort: return "cut short";
    case CopyOutcome::Disconnected: return "disconnected";
    case CopyOutcome::Stopped: return "stopped";
    }
    return "?";
}

AdbRun DatabaseCopier::AsRootInShell(const std::vector<std::string>& command) const {
    std::vector<std::string> arguments {"shell"};
    const std::vector<std::string> su = AsRoot(form_, command);
    arguments.insert(arguments.end(), su.begin(), su.end());
    return link_.Run(arguments, link_.options().capturedLimit);
}

std::string DatabaseCopier::Locate(const std::vector<std::string>& remotePaths, CopyOutcome* outcome) const {
    *outcome = CopyOutcome::Missing;
    for (const std::string& remote : remotePaths) {
        // su's ls names the file when it is there; a folder of that name, an
        // error or another phone's chatter does not count.
        const AdbRun run = AsRootInShell({"ls", remote});
        std::size_t begin = 0;
        while (begin < run.output.size()) {
            std::size_t end = run.output.find('\n', begin);
            if (end == std::string::npos) end = run.output.size();
            std::string_view line(run.output.data() + begin, end - begin);
            begin = end + 1;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
            if (line == remote) return remote;
        }
        if (run.stopped || link_.StopRequested()) {
            *outcome = CopyOutcome::Stopped;
            return {};
        }
        if (SaysDeviceGone(run.output)) {
            *outcome = CopyOutcome::Disconnected;
            return {};
        }
    }
    return {};
}

FileCopy DatabaseCopier::Copy(const std::string& remotePath, const std::string& localPath, bool required) {
    FileCopy copy {remotePath, localPath, CopyOutcome::Missing, {}};
    platform::DeleteFileIfExists(localPath);
    if (link_.StopRequested()) return Failed(std::move(copy), CopyOutcome::Stopped, "");
    if (road_ == CopyRoad::Pull) {
        bool refused = false;
        FileCopy pulled = Pull(copy, required, &refused);
        if (!refused) return pulled;
        // SELinux keeps the client out of /data whatever the file's mode;
        // the other files of this phone are streamed straight away.
        road_ = CopyRoad::Stream;
    }
    return Stream(std::move(copy), required);
}

FileCopy DatabaseCopier::Pull(FileCopy copy, bool required, bool* refused) {
    const std::string& remote = copy.remotePath;
    const AdbRun modeRun = AsRootInShell({"stat", "-c", "%a", remote});
    const std::string mode = ParseFileMode(modeRun.output);
    if (mode.empty() && (modeRun.stopped || SaysDeviceGone(modeRun.output) || SaysNoSuchFile(modeRun.output))) {
        return FailedRun(std::move(copy), modeRun, required);
    }
    // Without a mode the file is opened and pulled all the same; there is
    // then nothing to put back.
    const AdbRun openRun = AsRootInShell({"chmod", "777", remote});
    AdbRun pullRun;
    pullRun.stopped = true;
    if (!openRun.stopped) pullRun = link_.Run({"pull", remote, copy.localPath}, link_.options().copyLimit);
    if (!mode.empty()) {
        std::vector<std::string> restore {"shell"};
        const std::vector<std::string> su = AsRoot(form_, {"chmod", mode, remote});
        restore.insert(restore.end(), su.begin(), su.end());
        if (link_.StopRequested()) link_.RunDespiteStop(restore, kRestoreAfterStopLimit);
        else link_.Run(restore, link_.options().capturedLimit);
    }

    if (pullRun.exitCode == 0 && platform::RestrictToOwner(copy.localPath)) {
        copy.outcome = CopyOutcome::Copied;
        return copy;
    }
    FileCopy failed = FailedRun(std::move(copy), pullRun, required);
    *refused = failed.outcome == CopyOutcome::Refused;
    return failed;
}

FileCopy DatabaseCopier::Stream(FileCopy copy, bool required) {
    const std::string& remote = copy.remotePath;
    const AdbRun sizeRun = AsRootInShell({"stat", "-c", "%s", remote});
    const std::optional<std::uint64_t> size = ParseFileSize(sizeRun.output);
    if (!size) return FailedRun(std::move(copy), sizeRun, required);

    std::vector<std::string> arguments {"exec-out"};
    const std::vector<std::string> su = AsRoot(form_, {"cat", remote});
    arguments.insert(arguments.end(), su.begin(), su.end());
    const AdbRun catRun = link_.RunIntoFile(arguments, copy.localPath, link_.options().copyLimit);
    if (!catRun.started && !catRun.stopped) {
        return Failed(std::move(copy), CopyOutcome::Refused, "cannot write " + copy.localPath);
    }
    if (catRun.stopped) return Failed(std::move(copy), CopyOutcome::Stopped, "");
    if (catRun.timedOut) return Failed(std::move(copy), CopyOutcome::CutShort, "the client did not end in time");

    const std::uint64_t got = LocalSize(copy.localPath).value_or(0);
    if (got == *size) {
        copy.outcome = CopyOutcome::Copied;
        return copy;
    }
    const std::string counts = std::to_string(got) + " of " + std::to_string(*size) + " bytes arrived";
    if (got < *size) return Failed(std::move(copy), CopyOutcome::CutShort, counts);
    // More than the file: su or the phone wrote words of its own among the
    // bytes.
    return Failed(std::move(copy), CopyOutcome::Refused, "the phone's answer was not the file alone (" + counts + ")");
}

}  // namespace qb::device
