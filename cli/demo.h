// quillbrook demo: the main road on a generated sample phone and sample card.
#pragma once

#include <string>

#include "output/export_formats.h"

namespace qb::cli {

// Each stage of the demo works under out and returns an exit code.

// Generates the sample phone into <out>/sample-phone, lays it out as a phone
// in <out>/phone, acquires its databases through the fake bridge client
// beside the executable, recovers them, writes the reports into a new output
// root <out>/QuillbrookHome<time> (root receives it) in the chosen formats
// and says what was recovered.
int RunPhoneDemo(const std::string& out, std::string& root, const output::ExportFormats& formats = {});

// Generates the sample card image into <out>/sample-card.img, carves it
// into <root>/disk<time>/ (or <out>/disk<time>/ without a root) and says
// what was found.
int RunCardDemo(const std::string& out, const std::string& root);

// Every stage in turn; returns the first failing stage's code, else 0.
int RunDemo(const std::string& out, const output::ExportFormats& formats = {});

}  // namespace qb::cli
