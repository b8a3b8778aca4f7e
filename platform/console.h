// The console the command line reads its arguments from and writes to.
#pragma once

#include <string>
#include <vector>

namespace qb::platform {

// True when the standard error stream is a terminal, so that a progress
// line that rewrites itself can be shown there.
bool StderrIsTerminal();

// Standard output and error pass bytes through unchanged (Windows would
// otherwise write each line feed as CR LF).
void UseBinaryStandardStreams();

// The program's arguments as UTF-8, whatever code page the system passed
// them in, in the argc/argv form that argument parsers take. On Windows it
// also switches the console's output to UTF-8.
class Utf8Arguments {
public:
    Utf8Arguments(int argc, char** argv);
    Utf8Arguments(const Utf8Arguments&) = delete;
    Utf8Arguments& operator=(const Utf8Arguments&) = delete;

    int argc() const { return static_cast<int>(pointers_.size()) - 1; }
    char** argv() { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;  // into texts_, ending with a null pointer
};

}  // namespace qb::platform
