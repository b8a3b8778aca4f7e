// What a report says of its inputs, so that an examiner can tie it to the
// files it came from: each input's file name, size and SHA-256, the time of
// the run and the program's version.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qb::output {

struct EvidenceFile {
    std::string name;  // the file's name, without its folder
    std::uint64_t size = 0;
    std::string sha256;  // 64 lowercase hexadecimal digits; empty when the file could not be read
};

struct Evidence {
    std::string version;
    std::string runTime;  // local time with its offset from UTC
    std::vector<EvidenceFile> inputs;
};

// The evidence of the databases at the given paths and of the companions
// beside each (-wal, -shm, -journal) that exist, hashed now: call it before
// anything opens them, since SQLite may change a copy it opens. Paths of
// files that do not exist are left out.
Evidence CollectEvidence(const std::vector<std::string>& databases);

// The evidence as the report page reads it: an object of strings.
std::string EvidenceJson(const Evidence& evidence);

}  // namespace qb::output
