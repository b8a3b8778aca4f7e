// Runs the built quillbrook program with an argument vector and captures
// what it prints (standard output and error together).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/process.h"

namespace qb::testsupport {

inline platform::ProcessResult RunQuillbrook(std::vector<std::string> args) {
    args.insert(args.begin(), QB_QUILLBROOK_PATH);
    return platform::RunProcess(args, std::chrono::seconds(60), platform::ChildOutput::Capture);
}

}  // namespace qb::testsupport
