// quillbrook demo: the main road on a generated sample phone.
#pragma once

#include <string>

namespace qb::cli {

// Generates the sample phone into <out>/sample-phone, recovers it, writes the
// reports into out and says what was recovered. Returns the exit code.
int RunDemo(const std::string& out);

}  // namespace qb::cli
