// Process service on POSIX systems: posix_spawn with an argument vector (no
// shell, so arguments keep their spaces), one close-on-exec pipe whose write
// end alone becomes the child's standard output and error (or its standard
// error alone, when its output goes into a file), poll to read the pipe while
// the child runs, SIGKILL to its process group at the limit or on a stop, and
// waitpid in every case.
#include "platform/process.h"

#include <algorithm>
#include <utility>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qb::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// After the child has ended, output still arriving from a descendant that
// holds the pipe is read for at most this long without a pause.
constexpr milliseconds kDrainGrace {200};
// Without a process descriptor the child's end is looked for this often.
constexpr milliseconds kExitPollInterval {5};
// One poll waits at most this long, so that its timeout fits an int.
constexpr milliseconds kLongestPoll {60000};
// While a stop can be requested, the token is looked at this often.
constexpr milliseconds kStopPollInterval {20};
constexpr std::size_t kReadChunk = 64 * 1024;

class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { Close(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// A descriptor that becomes readable when the process ends, where the kernel
// has them; -1 otherwise. It is close-on-exec by nature.
int OpenProcessDescriptor(pid_t pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

class SpawnSetup {
public:
    SpawnSetup() {
        actionsOk_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        attrOk_ = ::posix_spawnattr_init(&attr_) == 0;
    }
    ~SpawnSetup() {
        if (actionsOk_) ::posix_spawn_file_actions_destroy(&actions_);
        if (attrOk_) ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard input from the null device; standard output and error to the
    // descriptors given (-1: the null device); nothing else is inherited.
    bool Prepare(int outputFd, int errorFd) {
        if (!actionsOk_ || !attrOk_) return false;
        bool ok = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
        for (const auto& [fd, target] : {std::pair {outputFd, STDOUT_FILENO}, std::pair {errorFd, STDERR_FILENO}}) {
            if (fd >= 0) ok = ok && ::posix_spawn_file_actions_adddup2(&actions_, fd, target) == 0;
            else ok = ok && ::posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", O_WRONLY, 0) == 0;
        }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // Descriptors that someone opened without close-on-exec stay here.
        ok = ok && ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
#endif
        // Its own process group, so that the kill at the limit reaches what
        // it started; default signal handling and no blocked signals, whatever
        // this process has set for itself.
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGCHLD, SIGALRM, SIGUSR1, SIGUSR2}) {
            sigaddset(&defaults, sig);
        }
        sigset_t noneBlocked;
        sigemptyset(&noneBlocked);
        ok = ok && ::posix_spawnattr_setpgroup(&attr_, 0) == 0;
        ok = ok && ::posix_spawnattr_setsigdefault(&attr_, &defaults) == 0;
        ok = ok && ::posix_spawnattr_setsigmask(&attr_, &noneBlocked) == 0;
        ok = ok && ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                          POSIX_SPAWN_SETSIGMASK) == 0;
        return ok;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attr() const { return &attr_; }

private:
    posix_spawn_file_actions_t actions_ {};
    posix_spawnattr_t attr_ {};
    bool actionsOk_ = false;
    bool attrOk_ = false;
};

int MillisecondsUntil(Clock::time_point deadline, milliseconds cap) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp(left, milliseconds {0}, cap).count());
}

// Reads what the pipe holds now. False at the end of the pipe (every writer
// gone) or on a read error.
bool ReadAvailable(int fd, std::string& out) {
    char chunk[kReadChunk];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got > 0) {
            out.append(chunk, static_cast<std::size_t>(got));
            if (static_cast<std::size_t>(got) < sizeof chunk) return true;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

void WaitForExit(pid_t pid, int* status) {
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// A new file only this user may read, for a child's output: whatever is at
// the path (a link planted there among them) is removed first, and the open
// refuses to create through a link.
int CreateOutputFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Where the child's standard output goes.
struct OutputTarget {
    bool capture = false;               // output and error into the pipe
    const std::string* file = nullptr;  // output into this file, error into the pipe
};

ProcessResult Run(const std::vector<std::string>& arguments, milliseconds timeLimit, OutputTarget target,
                  const std::stop_token& stop) {
    ProcessResult result;
    if (arguments.empty() || arguments.front().empty()) return result;
    if (stop.stop_requested()) {
        result.stopped = true;
        return result;
    }

    const bool capture = target.capture || target.file != nullptr;
    Descriptor fileFd;
    if (target.file != nullptr) {
        fileFd.Reset(CreateOutputFile(*target.file));
        if (!fileFd.valid()) return result;
    }
    Descriptor readEnd, writeEnd;
    if (capture) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return result;
        readEnd.Reset(ends[0]);
        writeEnd.Reset(ends[1]);
        // Reads never block: poll says when there is something to read.
        ::fcntl(readEnd.get(), F_SETFL, ::fcntl(readEnd.get(), F_GETFL) | O_NONBLOCK);
    }

    SpawnSetup setup;
    const int outputFd = fileFd.valid() ? fileFd.get() : (capture ? writeEnd.get() : -1);
    if (!setup.Prepare(outputFd, capture ? writeEnd.get() : -1)) return result;

    std::vector<std::string> copies(arguments);
    std::vector<char*> argv;
    argv.reserve(copies.size() + 1);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const Clock::time_point deadline = Clock::now() + std::max(timeLimit, milliseconds {0});
    int spawned = ::posix_spawn(&pid, copies.front().c_str(), setup.actions(), setup.attr(), argv.data(), environ);
    if (spawned == ENOEXEC) {
        // A script without a "#!" line: the shell runs it, as execvp would.
        std::string shell = "/bin/sh";
        argv.insert(argv.begin(), shell.data());
        spawned = ::posix_spawn(&pid, shell.c_str(), setup.actions(), setup.attr(), argv.data(), environ);
    }
    // Only the child keeps a write end, so the pipe ends when the child (and
    // whatever it passed the end on to) is gone.
    writeEnd.Close();
    fileFd.Close();
    if (spawned != 0) return result;
    result.started = true;

    Descriptor processFd(OpenProcessDescriptor(pid));
    bool exited = false;
    bool pipeOpen = capture;
    bool stopRequested = false;
    int status = 0;
    for (;;) {
        if (!exited) {
            const pid_t waited = ::waitpid(pid, &status, WNOHANG);
            if (waited == pid) exited = true;
            if (waited < 0 && errno == ECHILD) {
                // Reaped elsewhere: it has ended, with a code nobody can tell.
                exited = true;
                status = -1;
            }
        }
        if (exited && !pipeOpen) break;
        if (!exited && stop.stop_requested()) {
            stopRequested = true;
            break;
        }
        if (Clock::now() >= deadline) break;

        milliseconds cap = kLongestPoll;
        if (exited) cap = kDrainGrace;
        else if (!processFd.valid()) cap = kExitPollInterval;
        else if (stop.stop_possible()) cap = kStopPollInterval;
        pollfd fds[2] {};
        nfds_t count = 0;
        if (pipeOpen) fds[count++] = {readEnd.get(), POLLIN, 0};
        if (!exited && processFd.valid()) fds[count++] = {processFd.get(), POLLIN, 0};
        const int ready = ::poll(fds, count, MillisecondsUntil(deadline, cap));
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        // A quiet pipe after the child has ended belongs to a descendant that
        // lives on; what it writes later is not this command's output.
        if (ready == 0 && exited) break;
        if (pipeOpen && fds[0].revents != 0 && !ReadAvailable(readEnd.get(), result.output)) pipeOpen = false;
    }

    if (!exited) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        WaitForExit(pid, &status);
        (stopRequested ? result.stopped : result.timedOut) = true;
        // What the child wrote before it was killed is still in the pipe.
        const Clock::time_point drainEnd = Clock::now() + kDrainGrace;
        while (pipeOpen && Clock::now() < drainEnd) {
            pollfd fd {readEnd.get(), POLLIN, 0};
            const int ready = ::poll(&fd, 1, 0);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) break;
            pipeOpen = ReadAvailable(readEnd.get(), result.output);
        }
    } else if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& arguments, milliseconds timeLimit, ChildOutput output,
                         std::stop_token stop) {
    return Run(arguments, timeLimit, OutputTarget {output == ChildOutput::Capture, nullptr}, stop);
}

ProcessResult RunProcessIntoFile(const std::vector<std::string>& arguments, const std::string& outputPath,
                                 milliseconds timeLimit, std::stop_token stop) {
    return Run(arguments, timeLimit, OutputTarget {false, &outputPath}, stop);
}

std::string FindProgramOnPath(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos) return {};
    const char* path = std::getenv("PATH");
    if (!path) return {};
    const std::string_view folders(path);
    std::size_t begin = 0;
    while (begin <= folders.size()) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string_view::npos) end = folders.size();
        // An empty entry names the current folder.
        std::string candidate(end > begin ? folders.substr(begin, end - begin) : ".");
        candidate += '/';
        candidate += name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        begin = end + 1;
    }
    return {};
}

std::string_view ExecutableSuffix() { return ""; }

std::optional<std::string> GetEnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return ::setenv(name.c_str(), value.c_str(), 1) == 0;
}

bool UnsetEnvironmentValue(const std::string& name) { return ::unsetenv(name.c_str()) == 0; }

}  // namespace qb::platform
