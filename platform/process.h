// Child processes: a program run hidden (no window, no console, no terminal
// input), optionally with its standard output and standard error captured
// through one pipe (or its standard output written straight into a file),
// and killed when it outlives its time limit or its caller asks it to stop.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace qb::platform {

enum class ChildOutput {
    Discard,  // standard output and error go nowhere
    Capture,  // both go to one pipe that is read while the child runs
};

struct ProcessResult {
    bool started = false;   // the program could be started at all
    bool timedOut = false;  // still running at the time limit, and killed
    bool stopped = false;   // still running when a stop was requested, and killed (or never started)
    int exitCode = -1;      // the code it ended with by itself; -1 when killed or ended by a signal
    std::string output;     // every captured byte, as the child wrote it
};

// Runs arguments[0] (the program's path; no search, and a script without an
// interpreter line runs in the system's shell) with the rest as its
// arguments, each of which reaches the child as one argument, unchanged.
// On Windows a batch file is not started, since cmd.exe would reinterpret
// its arguments, and neither is an argument holding a zero byte.
// Standard input reads as empty. Blocks until the child has ended, or kills
// it (and whatever it started in its process group) once timeLimit has
// passed. The child is always waited for, and the only descriptor it gets
// from this process is the write end of the output pipe.
//
// A descendant that outlives the child and keeps the pipe open (a server the
// child has started) delays the result by a short grace at most, never past
// the time limit.
//
// A stop requested through the token (from any thread) kills the child and
// whatever it started, as at the time limit, within a few tens of
// milliseconds; with the stop requested beforehand nothing is started.
ProcessResult RunProcess(const std::vector<std::string>& arguments, std::chrono::milliseconds timeLimit,
                         ChildOutput output, std::stop_token stop = {});

// As RunProcess, but the child's standard output goes straight into a new
// file at outputPath, created as CreatePrivateFile creates one (only this
// user may read it; whatever was at the path, a link included, is replaced,
// never written through), and its standard error is captured into output.
// The file holds what the child wrote, whole or not; the caller judges it.
// Nothing is started (started false) when the file cannot be created.
ProcessResult RunProcessIntoFile(const std::vector<std::string>& arguments, const std::string& outputPath,
                                 std::chrono::milliseconds timeLimit, std::stop_token stop = {});

// The path of an executable program of that name in one of the folders of
// the PATH environment variable; empty when there is none.
std::string FindProgramOnPath(std::string_view name);

// What executable file names end with on this system: "" or ".exe".
std::string_view ExecutableSuffix();

// Environment variables of this process, which every child inherits.
std::optional<std::string> GetEnvironmentValue(const std::string& name);
bool SetEnvironmentValue(const std::string& name, const std::string& value);
bool UnsetEnvironmentValue(const std::string& name);

}  // namespace qb::platform
