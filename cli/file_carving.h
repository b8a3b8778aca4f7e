// quillbrook carve: scans a disk or a disk image for the carved file types
// and writes every found file out in the recover job's layout.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "src/cdr/read_window.h"

namespace qb::cli {

struct GroupTally {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

struct CarveResult {
    bool scanned = false;          // the source could be opened and read
    std::string problem;           // why not
    std::string diskFolder;        // <out>/disk<time>
    std::uint64_t bytesScanned = 0;
    std::uint64_t bytesRead = 0;                // from the device, whatever the scan read
    std::vector<cdr::ByteRange> unreadable;     // sectors skipped
    double seconds = 0;
    std::map<std::string, GroupTally> groups;  // by group name, files written whole
    std::vector<std::string> failedCopies;     // "<group>/<name>: reason"
    std::vector<std::string> groupOrder;       // groups with files, in table order
};

// Scans source (a device or an image file) for the types of typeList (empty:
// every type) and copies every found file to
// <out>/disk<%Y%m%d%H%M%S>/<group>/<name>. Shows a progress line on stderr
// when it is a terminal.
CarveResult CarveSource(const std::string& source, const std::string& out, const std::string& typeList);

// The summary: what was scanned and read, the unreadable sectors skipped,
// the files per group, and the copies that failed. Returns the exit code:
// 0 when the source was scanned, 1 otherwise.
int PrintCarveSummary(std::ostream& out, const CarveResult& result);

}  // namespace qb::cli
