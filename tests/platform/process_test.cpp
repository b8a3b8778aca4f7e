// The process service: arguments reach the child intact, output and error
// come back through one pipe read while the child runs, the time limit kills
// a child that does not end, and nothing (no descriptor, no child) is left
// behind. The child is a small program with one behaviour per mode.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/open_handles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace qb::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kChild = QB_PROCESS_CHILD_PATH;

ProcessResult Child(std::vector<std::string> args, milliseconds limit = 10s,
                    ChildOutput output = ChildOutput::Capture) {
    args.insert(args.begin(), kChild);
    return RunProcess(args, limit, output);
}

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

std::string Echoed(const std::vector<std::string>& args) {
    std::string out;
    for (const auto& a : args) out += std::to_string(a.size()) + ":" + a + "\n";
    return out;
}

// ------------------------------------------------------------ arguments

TEST(ProcessArguments, EachArgumentArrivesAsOneWithItsBytesUnchanged) {
    const std::vector<std::string> args = {
        "plain",
        "C:\\Users\\Jane Doe\\AppData\\Local\\Temp\\Velmora\\contacts2.db",
        "/tmp/my temp folder/velmora-quillbrook/mmssms.db",
        "",
        "  leading and trailing  ",
        "\"quoted\" 'single' `back` $HOME * ? ; | & > <",
        "tab\tand\nnewline",
        "Zoë Ångström 小明 Ахмед",
        "%a",
        // Backslashes are literal except before a quote, where the system's
        // command-line splitting counts them.
        "C:\\Temp Folder\\",
        "C:\\Temp\\",
        "\\\\server\\share\\file name",
        "a\\\"b",
        "a\\\\\"b c",
        "\\",
        "\"",
        "\\\"",
        "\"\"",
        "end with space ",
    };
    std::vector<std::string> command = {"echo"};
    command.insert(command.end(), args.begin(), args.end());
    const ProcessResult r = Child(command);
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, Echoed(args));
}

TEST(ProcessArguments, AProgramPathWithSpacesRuns) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("qb process test " + std::to_string(random()));
    fs::create_directories(folder);
    const fs::path copy = folder / ("child with spaces" + std::string(ExecutableSuffix()));
    fs::copy_file(kChild, copy);
    const ProcessResult r = RunProcess({copy.string(), "echo", "x y"}, 10s, ChildOutput::Capture);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.output, Echoed({"x y"}));
    fs::remove_all(folder);
}

// ------------------------------------------------------------ output

TEST(ProcessOutput, OutputAndErrorShareOnePipeInTheOrderWritten) {
    const ProcessResult r = Child({"mixed"});
    EXPECT_EQ(r.output, "out1\nerr1\nout2\n");
}

TEST(ProcessOutput, OneMebibyteIsCapturedWholeWithoutWaitingForTheLimit) {
    // Far more than a pipe holds: a reader that waited for the child's end
    // first would leave it stalled until the limit killed it.
    constexpr std::size_t kSize = 1 << 20;
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"write", std::to_string(kSize)}, 10s);
    const milliseconds took = Since(start);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.output.size(), kSize);
    for (std::size_t i = 0; i < kSize; ++i) {
        ASSERT_EQ(static_cast<unsigned char>(r.output[i]), i % 251) << "at byte " << i;
    }
    EXPECT_LT(took, 5s);
}

TEST(ProcessOutput, DiscardedOutputNeverStallsTheChild) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"write", std::to_string(4 << 20)}, 10s, ChildOutput::Discard);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.output.empty());
    EXPECT_LT(Since(start), 5s);
}

TEST(ProcessOutput, StandardInputReadsAsEmpty) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"stdin"}, 5s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.output, "0\n");
    EXPECT_LT(Since(start), 3s);
}

TEST(ProcessOutput, ExitCodesAreReported) {
    EXPECT_EQ(Child({"exit", "0"}).exitCode, 0);
    EXPECT_EQ(Child({"exit", "3"}).exitCode, 3);
    EXPECT_EQ(Child({"exit", "3"}, 10s, ChildOutput::Discard).exitCode, 3);
    EXPECT_EQ(Child({"exit", "255"}).exitCode, 255);
}

TEST(ProcessOutput, AMissingProgramIsNotStartedAndGivesNothing) {
    for (const ChildOutput mode : {ChildOutput::Capture, ChildOutput::Discard}) {
        const Clock::time_point start = Clock::now();
        const ProcessResult r = RunProcess({kChild + "-missing", "echo", "x"}, 5s, mode);
        EXPECT_FALSE(r.started);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, -1);
        EXPECT_TRUE(r.output.empty());
        EXPECT_LT(Since(start), 1s);
    }
    EXPECT_FALSE(RunProcess({}, 1s, ChildOutput::Capture).started);
    EXPECT_FALSE(RunProcess({""}, 1s, ChildOutput::Capture).started);
}

TEST(ProcessOutput, ChildrenInheritTheEnvironment) {
    ASSERT_TRUE(SetEnvironmentValue("QB_PROCESS_TEST_VALUE", "a value with spaces"));
    EXPECT_EQ(GetEnvironmentValue("QB_PROCESS_TEST_VALUE").value_or(""), "a value with spaces");
    EXPECT_EQ(Child({"env", "QB_PROCESS_TEST_VALUE"}).output, "set:a value with spaces");
    ASSERT_TRUE(UnsetEnvironmentValue("QB_PROCESS_TEST_VALUE"));
    EXPECT_FALSE(GetEnvironmentValue("QB_PROCESS_TEST_VALUE"));
    EXPECT_EQ(Child({"env", "QB_PROCESS_TEST_VALUE"}).output, "unset");
}

// ------------------------------------------------------------ time limits

TEST(ProcessTimeLimit, ACapturedChildThatNeverEndsIsKilledAtTheLimitWithItsOutputSoFar) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"hang", "partial output"}, 300ms);
    const milliseconds took = Since(start);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.output, "partial output");
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 1500ms);
}

TEST(ProcessTimeLimit, AHiddenChildThatNeverEndsIsKilledAtTheLimit) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"hang"}, 200ms, ChildOutput::Discard);
    const milliseconds took = Since(start);
    EXPECT_TRUE(r.timedOut);
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 1500ms);
}

TEST(ProcessTimeLimit, AChildThatEndsEarlyIsNotWaitedOut) {
    for (const ChildOutput mode : {ChildOutput::Capture, ChildOutput::Discard}) {
        const Clock::time_point start = Clock::now();
        const ProcessResult r = Child({"sleep", "50"}, 10s, mode);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_LT(Since(start), 2s);
    }
}

TEST(ProcessTimeLimit, RunsOnTwoThreadsAtOnceKeepTheirOwnOutputAndLimits) {
    std::atomic<bool> slowDone {false};
    ProcessResult slowResult;
    std::thread slow([&] {
        // Long enough that five quick children end inside it on a loaded
        // machine (under Wine a child takes a good part of a second to start).
        slowResult = Child({"hang", "slow"}, 6s);
        slowDone = true;
    });
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 5; ++i) {
        const Clock::time_point start = Clock::now();
        const ProcessResult r = Child({"echo", "quick " + std::to_string(i)}, 10s);
        EXPECT_EQ(r.output, Echoed({"quick " + std::to_string(i)}));
        EXPECT_LT(Since(start), 2s);
    }
    EXPECT_FALSE(slowDone);
    slow.join();
    EXPECT_TRUE(slowResult.timedOut);
    EXPECT_EQ(slowResult.output, "slow");
}

// ------------------------------------------------------------ stop and output into a file

TEST(ProcessStop, AStopKillsAHangingChildAtOnceAndStartsNothingAfterwards) {
    for (const ChildOutput mode : {ChildOutput::Capture, ChildOutput::Discard}) {
        std::stop_source stop;
        // Time for the child to start and write under a loaded Wine.
        std::thread stopper([&stop] {
            std::this_thread::sleep_for(2s);
            stop.request_stop();
        });
        const Clock::time_point start = Clock::now();
        const ProcessResult r = RunProcess({kChild, "hang", "partial"}, 60s, mode, stop.get_token());
        stopper.join();
        EXPECT_TRUE(r.started);
        EXPECT_TRUE(r.stopped);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.output, mode == ChildOutput::Capture ? "partial" : "");
        // Far below the minute that waiting for the child would take.
        EXPECT_LT(Since(start), 10s);
        const ProcessResult after = RunProcess({kChild, "echo", "x"}, 10s, mode, stop.get_token());
        EXPECT_FALSE(after.started);
        EXPECT_TRUE(after.stopped);
    }
    // A token nobody stops changes nothing.
    std::stop_source idle;
    EXPECT_EQ(RunProcess({kChild, "echo", "x"}, 10s, ChildOutput::Capture, idle.get_token()).output, Echoed({"x"}));
}

TEST(ProcessIntoFile, OutputGoesIntoANewFileAndErrorIntoTheResult) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("qb-into-file-" + std::to_string(random()));
    fs::create_directories(folder);
    const std::string target = (folder / "out put.bin").string();
    std::ofstream(target) << "an older and longer file that must not survive";
    const ProcessResult mixed = RunProcessIntoFile({kChild, "mixed"}, target, 10s);
    EXPECT_EQ(mixed.exitCode, 0);
    EXPECT_EQ(mixed.output, "err1\n");
    std::ifstream in(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "out1\nout2\n");
    in.close();

    const ProcessResult big = RunProcessIntoFile({kChild, "write", std::to_string(3 << 20)}, target, 10s);
    EXPECT_EQ(big.exitCode, 0);
    EXPECT_EQ(fs::file_size(target), std::uintmax_t {3 << 20});
    EXPECT_FALSE(RunProcessIntoFile({kChild, "mixed"}, (folder / "no such folder" / "x").string(), 10s).started);
#ifndef _WIN32
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    // A link planted at the path is replaced, and what it points to is left.
    std::ofstream(folder / "elsewhere") << "not to be written";
    fs::remove(target);
    fs::create_symlink(folder / "elsewhere", target);
    EXPECT_EQ(RunProcessIntoFile({kChild, "mixed"}, target, 10s).exitCode, 0);
    EXPECT_FALSE(fs::is_symlink(target));
    std::ifstream elsewhere(folder / "elsewhere");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(elsewhere), {}), "not to be written");
#endif
    fs::remove_all(folder);
}

// ------------------------------------------------------------ program lookup

TEST(ProgramLookup, FindsExecutablesOnThePathOnly) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path folder = fs::temp_directory_path() / ("qb-path-test-" + std::to_string(random()));
    fs::create_directories(folder / "bin");
    const std::string suffix(ExecutableSuffix());
    fs::copy_file(kChild, folder / "bin" / ("tool" + suffix));
    std::ofstream(folder / "bin" / ("plain" + suffix)) << "not a program";
    fs::permissions(folder / "bin" / ("plain" + suffix), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(folder / "bin" / ("folder" + suffix));

    const std::string oldPath = GetEnvironmentValue("PATH").value_or("");
    ASSERT_TRUE(SetEnvironmentValue("PATH", (folder / "missing").string() + (suffix.empty() ? ":" : ";") +
                                                (folder / "bin").string()));
    EXPECT_EQ(FindProgramOnPath("tool" + suffix), (folder / "bin" / ("tool" + suffix)).string());
#ifndef _WIN32
    EXPECT_EQ(FindProgramOnPath("plain"), "");
#endif
    EXPECT_EQ(FindProgramOnPath("folder" + suffix), "");
    EXPECT_EQ(FindProgramOnPath("nothing-of-that-name"), "");
    EXPECT_EQ(FindProgramOnPath("bin/tool" + suffix), "");
    EXPECT_EQ(FindProgramOnPath(""), "");
    ASSERT_TRUE(SetEnvironmentValue("PATH", oldPath));
    fs::remove_all(folder);
}

// ------------------------------------------------------------ nothing left behind

// Every way a run can go, three times over: output captured and discarded,
// large output, an exit code, a kill at the limit, a program that is not
// there.
void RunEveryKindOfChild() {
    for (int i = 0; i < 3; ++i) {
        Child({"echo", "a"});
        Child({"mixed"}, 10s, ChildOutput::Discard);
        Child({"write", "200000"});
        Child({"exit", "7"});
        Child({"hang", "x"}, 100ms);
        Child({"hang"}, 100ms, ChildOutput::Discard);
        RunProcess({kChild + "-missing"}, 1s, ChildOutput::Capture);
    }
}

#ifdef _WIN32

using testsupport::OpenHandles;

TEST(ProcessCleanup, NoHandleIsLeftBehind) {
    Child({"echo", "a"});  // whatever the first run sets up once for good
    const DWORD before = OpenHandles();
    RunEveryKindOfChild();
    EXPECT_EQ(OpenHandles(), before);
}

TEST(ProcessCleanup, TheChildInheritsNoHandleButItsStandardStreams) {
    // An inheritable pipe end of this process, as careless code elsewhere
    // might leave one. A child that inherited it would write into the pipe.
    SECURITY_ATTRIBUTES inherit {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE strayRead = nullptr, strayWrite = nullptr;
    ASSERT_TRUE(::CreatePipe(&strayRead, &strayWrite, &inherit, 0));
    const std::string value = std::to_string(reinterpret_cast<std::uintptr_t>(strayWrite));
    EXPECT_EQ(Child({"handle", value}).exitCode, 0);
    EXPECT_EQ(Child({"handle", value}, 10s, ChildOutput::Discard).exitCode, 0);
    ::CloseHandle(strayWrite);
    DWORD available = 0;
    const BOOL peeked = ::PeekNamedPipe(strayRead, nullptr, 0, nullptr, &available, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(strayRead);
    // Nothing written, and no other writer left: the pipe has ended.
    EXPECT_FALSE(peeked) << available << " bytes arrived through the stray handle";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BROKEN_PIPE));
}

bool ProcessEnds(unsigned long pid, DWORD withinMs) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;  // gone already
    const bool ended = ::WaitForSingleObject(process, withinMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

unsigned long PidOf(const std::string& output) {
    return output.size() > 1 && output.back() == '\n' ? std::stoul(output) : 0;
}

TEST(ProcessCleanup, ADescendantThatKeepsThePipeOpenDelaysTheResultOnlyBriefly) {
    // Like a client that starts a server which lives on with the client's
    // standard output still open; the server is not killed.
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"spawn-and-exit"}, 10s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_LT(Since(start), 1500ms);
    const unsigned long server = PidOf(r.output);
    ASSERT_NE(server, 0u) << r.output;
    HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, server);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(::WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the server was killed";
    ::TerminateProcess(process, 0);
    ::CloseHandle(process);
}

TEST(ProcessCleanup, TheKillAtTheLimitReachesWhatTheChildStarted) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r = Child({"spawn-and-hang"}, 1000ms);
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(Since(start), 2500ms);
    const unsigned long grandchild = PidOf(r.output);
    ASSERT_NE(grandchild, 0u) << r.output;
    EXPECT_TRUE(ProcessEnds(grandchild, 2000));
}

TEST(ProcessArguments, AnArgumentThatCannotBePassedWholeStartsNothing) {
    // A zero byte would end the command line there.
    EXPECT_FALSE(Child({"echo", std::string("a\0b", 3)}).started);
}

TEST(ProcessCleanup, ABatchFileIsNotStarted) {
    // cmd.exe would split and interpret its arguments in its own way.
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path script = fs::temp_directory_path() / ("qb-script-" + std::to_string(random()) + ".BAT");
    std::ofstream(script) << "@echo from script %1\r\n";
    const ProcessResult r = RunProcess({script.string(), "an argument & echo injected"}, 10s, ChildOutput::Capture);
    fs::remove(script);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(r.output, "");
}

#else

std::size_t OpenDescriptors() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

// True when this process has no child at all, running or ended and unreaped.
bool NoChildren() {
    errno = 0;
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ProcessCleanup, NoDescriptorOrChildIsLeftBehind) {
    ASSERT_TRUE(NoChildren());
    const std::size_t before = OpenDescriptors();
    RunEveryKindOfChild();
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(NoChildren());
}

TEST(ProcessCleanup, TheChildGetsNoDescriptorButItsStandardStreams) {
    // Opened without close-on-exec, as careless code elsewhere might.
    const int stray = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 0);
    const ProcessResult captured = Child({"fds"});
    const ProcessResult viaDiscard = Child({"fds"}, 10s, ChildOutput::Discard);
    ::close(stray);
    EXPECT_EQ(captured.exitCode, 0);
    EXPECT_EQ(captured.output, "");
    EXPECT_EQ(viaDiscard.exitCode, 0);
}

TEST(ProcessCleanup, ADescendantThatKeepsThePipeOpenDelaysTheResultOnlyBriefly) {
    // Like a client that starts a server which lives on with the client's
    // standard output still open.
    const Clock::time_point start = Clock::now();
    const ProcessResult r = RunProcess({"/bin/sh", "-c", "sleep 3 & echo started"}, 10s, ChildOutput::Capture);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "started\n");
    EXPECT_LT(Since(start), 1500ms);
}

TEST(ProcessCleanup, AScriptWithoutAnInterpreterLineRunsInTheShell) {
    namespace fs = std::filesystem;
    std::random_device random;
    const fs::path script = fs::temp_directory_path() / ("qb-script-" + std::to_string(random()));
    std::ofstream(script) << "echo \"from script: $1\"\n";
    fs::permissions(script, fs::perms::owner_all);
    const ProcessResult r = RunProcess({script.string(), "an argument"}, 10s, ChildOutput::Capture);
    fs::remove(script);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "from script: an argument\n");
}

// Running, or stopped: anything but gone or a zombie waiting for init.
bool Alive(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

TEST(ProcessCleanup, TheKillAtTheLimitReachesWhatTheChildStarted) {
    const Clock::time_point start = Clock::now();
    const ProcessResult r =
        RunProcess({"/bin/sh", "-c", "sleep 30 & echo $!; wait; echo never"}, 300ms, ChildOutput::Capture);
    EXPECT_TRUE(r.timedOut);
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_TRUE(NoChildren());
    ASSERT_FALSE(r.output.empty());
    ASSERT_EQ(r.output.back(), '\n');
    const std::string grandchild = r.output.substr(0, r.output.size() - 1);
    ASSERT_EQ(grandchild.find_first_not_of("0123456789"), std::string::npos) << r.output;
    const Clock::time_point killed = Clock::now();
    while (Alive(grandchild) && Since(killed) < 2s) std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(Alive(grandchild));
}

#endif

}  // namespace
}  // namespace qb::platform
