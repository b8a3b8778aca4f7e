#include "platform/console.h"

#include <unistd.h>

namespace qb::platform {

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void UseBinaryStandardStreams() {}

// POSIX systems pass arguments as the bytes they were typed in, UTF-8 here.
Utf8Arguments::Utf8Arguments(int argc, char** argv) : texts_(argv, argv + argc) {
    for (std::string& text : texts_) pointers_.push_back(text.data());
    pointers_.push_back(nullptr);
}

}  // namespace qb::platform
