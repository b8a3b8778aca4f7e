// Runs the built quillbrook program, either with an argument vector and its
// standard output and error captured together, or through the system's
// command interpreter with the two streams in separate files.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/process.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace qb::testsupport {

inline platform::ProcessResult RunQuillbrook(std::vector<std::string> args) {
    args.insert(args.begin(), QB_QUILLBROOK_PATH);
    return platform::RunProcess(args, std::chrono::seconds(60), platform::ChildOutput::Capture);
}

struct ShellRun {
    int exitCode = -1;
    std::string out;  // line ends as written on Linux, CR LF made LF on Windows
    std::string err;
};

// Runs quillbrook followed by the given argument text (quoted by the caller
// as the command interpreter expects), with stdout and stderr sent to files
// in folder.
inline ShellRun RunQuillbrookInShell(const std::string& arguments, const std::string& folder) {
    const std::string out = platform::JoinPath(folder, "stdout.txt");
    const std::string err = platform::JoinPath(folder, "stderr.txt");
    std::string command =
        std::string("\"") + QB_QUILLBROOK_PATH + "\" " + arguments + " >\"" + out + "\" 2>\"" + err + "\"";
#ifdef _WIN32
    // cmd.exe drops the first and the last quote of a line that holds more
    // than two; one more pair keeps the others.
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    ShellRun run;
#ifdef _WIN32
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const auto text = [](const std::string& path) {
        std::string bytes = platform::ReadWholeFile(path).value_or("");
#ifdef _WIN32
        std::string lf;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) lf += bytes[i];
        bytes = lf;
#endif
        return bytes;
    };
    run.out = text(out);
    run.err = text(err);
    return run;
}

// The path of a file the recover job wrote under out: in its one output
// root (QuillbrookHome<time>), in the one folder whose name starts with
// folderPrefix ("Contacts(", "Messages(", "disk"), then the rest of the path
// as given. Empty when there is no such root or folder.
inline std::string RecoveredPath(const std::string& out, const std::string& folderPrefix, const std::string& rest) {
    auto only = [](const std::filesystem::path& folder, const std::string& prefix) {
        std::filesystem::path found;
        int matches = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.path().filename().string().rfind(prefix, 0) == 0) {
                found = entry.path();
                ++matches;
            }
        }
        return matches == 1 ? found : std::filesystem::path();
    };
    const std::filesystem::path root = only(std::filesystem::path(out), "QuillbrookHome");
    if (root.empty()) return {};
    const std::filesystem::path folder = only(root, folderPrefix);
    if (folder.empty()) return {};
    return (folder / std::filesystem::path(rest)).string();
}

}  // namespace qb::testsupport
