// Process service on Windows: CreateProcessW with a command line quoted so
// that the C runtime splits it back into the same arguments, no console
// window and a hidden show state, the null device as standard input, and one
// anonymous pipe whose write end alone is handed to the child (as standard
// output and error, or as standard error when the output goes into a file)
// while the parent polls the read end. The child runs in a job of its own, so
// that the kill at the time limit or on a stop reaches whatever it started; a
// job that cannot be had leaves the kill to the child alone.
#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/windows_support.h"

namespace qb::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// After the child has ended, output still arriving from a descendant that
// holds the pipe is read for at most this long without a pause.
constexpr milliseconds kDrainGrace {200};
// An empty pipe is looked at again after a few yields of the processor, then
// after waits that grow to this many milliseconds (the child's end cuts a
// wait short).
constexpr int kYieldRounds = 8;
constexpr DWORD kLongestPipeWait = 16;
// One wait for the child alone lasts at most this long, so it fits a DWORD.
constexpr milliseconds kLongestWait {60000};
// While a stop can be requested, the token is looked at this often.
constexpr milliseconds kStopPollInterval {20};
// How long a killed child may take to be gone.
constexpr DWORD kKillWait = 5000;
// The size asked of the pipe; a child blocks on a full pipe until it is read.
constexpr DWORD kPipeSize = 64 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;
// Bytes taken from the pipe in one go before the clock is looked at again.
constexpr std::size_t kMostPerRead = 1 << 20;

// Inheritable handles exist only between their creation and the closing of
// the parent's copies right after CreateProcessW. Starts are serialised so
// that, where a handle list cannot restrict inheritance, no child picks up
// another run's pipe end, which would keep that pipe open.
std::mutex startMutex;

using Handle = win::ScopedHandle;
using win::Narrow;
using win::Wide;

// A startup attribute list that names the only handles the child inherits.
class InheritedHandleList {
public:
    InheritedHandleList() = default;
    InheritedHandleList(const InheritedHandleList&) = delete;
    InheritedHandleList& operator=(const InheritedHandleList&) = delete;
    ~InheritedHandleList() {
        if (initialised_) ::DeleteProcThreadAttributeList(list());
    }

    // False when the system offers no such list; the handles must stay open
    // until the process has been created.
    bool Set(const HANDLE* handles, std::size_t count) {
        // The list takes each handle once.
        for (std::size_t i = 0; i < count; ++i) {
            if (std::find(handles_, handles_ + count_, handles[i]) == handles_ + count_) handles_[count_++] = handles[i];
        }
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        if (size == 0) return false;
        storage_.reset(new (std::nothrow) std::uint64_t[(size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t)]);
        if (!storage_) return false;
        if (!::InitializeProcThreadAttributeList(list(), 1, 0, &size)) return false;
        initialised_ = true;
        return ::UpdateProcThreadAttribute(list(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_,
                                           count_ * sizeof(HANDLE), nullptr, nullptr) != FALSE;
    }
    LPPROC_THREAD_ATTRIBUTE_LIST list() const {
        return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
    }

private:
    std::unique_ptr<std::uint64_t[]> storage_;
    bool initialised_ = false;
    HANDLE handles_[3] {};
    std::size_t count_ = 0;
};


// Appends one argument so that the C runtime's splitting (and
// CommandLineToArgvW's) gives it back unchanged: inside quotes, backslashes
// are literal unless a quote follows them, so a run of backslashes before a
// quote, or before the closing quote, is doubled, and a quote in the
// argument is escaped with one more backslash.
void AppendArgument(std::wstring& line, std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t i = 0;
    for (;;) {
        std::size_t backslashes = 0;
        while (i < argument.size() && argument[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == argument.size()) {
            line.append(backslashes * 2, L'\\');
            break;
        }
        if (argument[i] == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        line += argument[i++];
    }
    line += L'"';
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix) {
    if (text.size() < suffix.size()) return false;
    const std::wstring_view tail = text.substr(text.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](wchar_t a, wchar_t b) {
        return (a >= L'A' && a <= L'Z' ? a - L'A' + L'a' : a) == b;
    });
}

// The program name is split by other rules (up to the closing quote, no
// escapes), so it is always quoted; a path never holds a quote. Batch files
// run through cmd.exe, which splits and interprets their arguments in its
// own way, so no argument could be promised to arrive unchanged: they are
// not started. Nor is a command with a zero byte in an argument, which would
// end the command line there.
bool BuildCommandLine(const std::vector<std::string>& arguments, std::wstring& program, std::wstring& line) {
    for (const std::string& argument : arguments) {
        if (argument.find('\0') != std::string::npos) return false;
    }
    program = Wide(arguments.front());
    if (program.empty() || program.find(L'"') != std::wstring::npos) return false;
    if (EndsWithNoCase(program, L".bat") || EndsWithNoCase(program, L".cmd")) return false;
    line = L'"' + program + L'"';
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        line += L' ';
        AppendArgument(line, Wide(arguments[i]));
    }
    return true;
}

// The null device, open for reading and writing, inheritable.
HANDLE OpenNullDevice() {
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         OPEN_EXISTING, 0, nullptr);
}

// A job that the kill at the limit ends as a whole. Closing it kills
// nothing, so that a server the child starts legitimately lives on, and a
// process that asks to leave it may. A child that crashes ends at once
// instead of waiting behind an error report.
HANDLE CreateRunJob() {
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

DWORD MillisecondsUntil(Clock::time_point deadline, milliseconds cap) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    return static_cast<DWORD>(std::clamp(left, milliseconds {0}, cap).count());
}

// Reads what the pipe holds now, without blocking. False at the end of the
// pipe (every writer gone) or on a read error.
bool ReadAvailable(HANDLE pipe, std::string& out, std::string& buffer, bool& got) {
    std::size_t total = 0;
    while (total < kMostPerRead) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        DWORD read = 0;
        const DWORD want = std::min<DWORD>(available, static_cast<DWORD>(buffer.size()));
        if (!::ReadFile(pipe, buffer.data(), want, &read, nullptr)) return false;
        if (read == 0) return true;
        out.append(buffer.data(), read);
        total += read;
        got = true;
    }
    return true;
}

bool HasEnded(HANDLE process) { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// A new file only this user's processes reach, inheritable, for a child's
// output: whatever is at the path is deleted first (a link itself, not what
// it points to), and the file is created anew, so nothing is written
// through a link.
HANDLE CreateOutputFile(const std::string& path) {
    const std::wstring wide = Wide(path);
    if (!::DeleteFileW(wide.c_str())) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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
    std::wstring program, commandLine;
    if (!BuildCommandLine(arguments, program, commandLine)) return result;

    const bool capture = target.capture || target.file != nullptr;
    const Clock::time_point deadline = Clock::now() + std::max(timeLimit, milliseconds {0});
    Handle readEnd, process, thread;
    Handle job(CreateRunJob());
    {
        std::lock_guard<std::mutex> lock(startMutex);
        Handle nullDevice(OpenNullDevice());
        if (!nullDevice.valid()) return result;
        Handle outputFile;
        if (target.file != nullptr) {
            outputFile.reset(CreateOutputFile(*target.file));
            if (!outputFile.valid()) return result;
        }
        Handle writeEnd;
        if (capture) {
            SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
            HANDLE r = nullptr, w = nullptr;
            if (!::CreatePipe(&r, &w, &inherit, kPipeSize)) return result;
            readEnd.reset(r);
            writeEnd.reset(w);
            // The child gets no read end: held by a descendant, it would keep
            // the pipe alive after this side has closed it, and writers would
            // block on it instead of failing.
            if (!::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) return result;
        }
        const HANDLE errorHandle = capture ? writeEnd.get() : nullDevice.get();
        const HANDLE outputHandle = outputFile.valid() ? outputFile.get() : errorHandle;

        STARTUPINFOEXW startup {};
        startup.StartupInfo.cb = sizeof startup.StartupInfo;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
        startup.StartupInfo.wShowWindow = SW_HIDE;
        startup.StartupInfo.hStdInput = nullDevice.get();
        startup.StartupInfo.hStdOutput = outputHandle;
        startup.StartupInfo.hStdError = errorHandle;

        // Suspended until it is in the job, so that nothing it starts escapes.
        const DWORD flags = CREATE_NO_WINDOW | CREATE_SUSPENDED;
        const HANDLE inherited[] = {nullDevice.get(), outputHandle, errorHandle};
        InheritedHandleList handleList;
        PROCESS_INFORMATION info {};
        BOOL created = FALSE;
        if (handleList.Set(inherited, 3)) {
            startup.StartupInfo.cb = sizeof startup;
            startup.lpAttributeList = handleList.list();
            created = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                       flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                                       &startup.StartupInfo, &info);
            const DWORD error = created ? ERROR_SUCCESS : ::GetLastError();
            if (!created && error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED) return result;
        }
        if (!created) {
            // No handle list here: plain inheritance of what is inheritable.
            startup.StartupInfo.cb = sizeof startup.StartupInfo;
            startup.lpAttributeList = nullptr;
            created = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                       nullptr, &startup.StartupInfo, &info);
            if (!created) return result;
        }
        process.reset(info.hProcess);
        thread.reset(info.hThread);
        // writeEnd, outputFile and nullDevice close here: only the child
        // keeps a write end, so the pipe ends when the child (and whatever it
        // passed the end on to) is gone.
    }

    const bool inJob = job.valid() && ::AssignProcessToJobObject(job.get(), process.get());
    if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), kKillWait);
        return result;
    }
    thread.reset();
    result.started = true;

    std::string buffer(kReadChunk, '\0');
    bool exited = false;
    bool pipeOpen = capture;
    bool stopRequested = false;
    const milliseconds longestWait = stop.stop_possible() ? kStopPollInterval : kLongestWait;
    int idleRounds = 0;
    Clock::time_point lastActivity = Clock::now();
    for (;;) {
        bool got = false;
        if (pipeOpen) pipeOpen = ReadAvailable(readEnd.get(), result.output, buffer, got);
        if (got) {
            idleRounds = 0;
            lastActivity = Clock::now();
        }
        if (!exited && HasEnded(process.get())) {
            exited = true;
            lastActivity = Clock::now();
            // What it wrote last may still be in the pipe.
            continue;
        }
        if (exited && !pipeOpen) break;
        if (!exited && stop.stop_requested()) {
            stopRequested = true;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        // A quiet pipe after the child has ended belongs to a descendant that
        // lives on; what it writes later is not this command's output.
        if (exited && now - lastActivity >= kDrainGrace) break;

        if (!pipeOpen) {
            ::WaitForSingleObject(process.get(), MillisecondsUntil(deadline, longestWait));
            continue;
        }
        DWORD wait = 0;
        if (idleRounds >= kYieldRounds) {
            wait = std::min<DWORD>(DWORD {1} << std::min(idleRounds - kYieldRounds, 4), kLongestPipeWait);
        }
        ++idleRounds;
        wait = std::min(wait, MillisecondsUntil(deadline, longestWait));
        if (wait == 0) {
            ::SwitchToThread();
        } else if (exited) {
            ::Sleep(wait);
        } else {
            ::WaitForSingleObject(process.get(), wait);
        }
    }

    if (!exited && !HasEnded(process.get())) {
        if (inJob) ::TerminateJobObject(job.get(), 0);
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), kKillWait);
        (stopRequested ? result.stopped : result.timedOut) = true;
        // What the child wrote before it was killed is still in the pipe.
        const Clock::time_point drainEnd = Clock::now() + kDrainGrace;
        while (pipeOpen && Clock::now() < drainEnd) {
            bool got = false;
            pipeOpen = ReadAvailable(readEnd.get(), result.output, buffer, got);
            if (!got) break;
        }
    } else {
        bool got = false;
        if (pipeOpen) ReadAvailable(readEnd.get(), result.output, buffer, got);
        DWORD code = 0;
        if (::GetExitCodeProcess(process.get(), &code)) result.exitCode = static_cast<int>(code);
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
    if (name.empty() || name.find_first_of("/\\:") != std::string_view::npos) return {};
    const std::optional<std::string> path = GetEnvironmentValue("PATH");
    if (!path) return {};
    // Without an extension the name is tried as a program first.
    std::vector<std::string> names;
    if (name.find('.') == std::string_view::npos) names.push_back(std::string(name) + ".exe");
    names.emplace_back(name);

    const std::string_view folders(*path);
    std::size_t begin = 0;
    while (begin <= folders.size()) {
        std::size_t end = folders.find(';', begin);
        if (end == std::string_view::npos) end = folders.size();
        std::string_view folder = folders.substr(begin, end - begin);
        begin = end + 1;
        // A folder may be written in quotes.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') folder = folder.substr(1, folder.size() - 2);
        if (folder.empty()) continue;
        for (const std::string& candidateName : names) {
            std::string candidate(folder);
            if (candidate.back() != '\\' && candidate.back() != '/') candidate += '\\';
            candidate += candidateName;
            const DWORD attributes = ::GetFileAttributesW(Wide(candidate).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return candidate;
        }
    }
    return {};
}

std::string_view ExecutableSuffix() { return ".exe"; }

std::optional<std::string> GetEnvironmentValue(const std::string& name) {
    const std::wstring wideName = Wide(name);
    std::wstring value(256, L'\0');
    // The value may grow between the calls; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD n = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < value.size()) {
            value.resize(n);
            return Narrow(value);
        }
        value.assign(n, L'\0');  // n counts the terminating zero here
    }
    return std::nullopt;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
    return ::SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str()) != FALSE;
}

bool UnsetEnvironmentValue(const std::string& name) {
    if (::SetEnvironmentVariableW(Wide(name).c_str(), nullptr)) return true;
    // Removing what is not there is no failure, as with unsetenv.
    return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND;
}

}  // namespace qb::platform
