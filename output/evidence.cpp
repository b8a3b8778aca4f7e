#include "output/evidence.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "dbrecover/record_origin.h"
#include "platform/file.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "qb_version.h"

namespace qb::output {
namespace {

// The path's last `parts` parts ("bak/contacts2.db" for 2).
std::string LastParts(const std::string& path, int parts) {
    std::size_t start = path.size();
    while (parts-- > 0 && start > 0) {
        const std::size_t slash = path.find_last_of("/\\", start - 1);
        if (slash == std::string::npos) return path;
        start = slash;
    }
    return path.substr(start + 1);
}

std::optional<EvidenceFile> Describe(const std::string& path) {
    if (!platform::FileExists(path)) return std::nullopt;
    EvidenceFile file;
    file.name = LastParts(path, 1);
    const auto input = platform::ReadOnlyFile::Open(path);
    if (!input) return file;
    file.size = input->Size();
    platform::Sha256 hash;
    std::vector<std::uint8_t> buffer(std::size_t {1} << 20);
    std::uint64_t at = 0;
    while (at < file.size) {
        const std::size_t got = input->ReadAt(at, buffer.data(), buffer.size());
        if (got == 0) return file;  // unreadable: no digest rather than a wrong one
        hash.Update(buffer.data(), got);
        at += got;
    }
    file.sha256 = hash.HexDigest();
    return file;
}

}  // namespace

Evidence CollectEvidence(const std::vector<std::string>& databases) {
    Evidence evidence;
    evidence.version = QB_VERSION_TEXT;
    const std::int64_t now = platform::CurrentTimeSeconds();
    evidence.runTime = platform::FormatLocalTime(now, "%Y-%m-%d %H:%M:%S") + " " + dbrecover::UtcOffsetText(now);
    std::vector<std::string> paths;
    for (const std::string& database : databases) {
        if (database.empty()) continue;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            if (auto file = Describe(database + suffix)) {
                evidence.inputs.push_back(std::move(*file));
                paths.push_back(database + suffix);
            }
        }
    }
    // A copy and its backup copy share a name: those named twice take their
    // folder's name before it.
    std::vector<std::string> names;
    for (const EvidenceFile& f : evidence.inputs) names.push_back(f.name);
    for (std::size_t i = 0; i < evidence.inputs.size(); ++i) {
        if (std::count(names.begin(), names.end(), names[i]) > 1) evidence.inputs[i].name = LastParts(paths[i], 2);
    }
    return evidence;
}

std::string EvidenceJson(const Evidence& evidence) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    const auto text = [&](const std::string& s) { writer.String(s.data(), static_cast<rapidjson::SizeType>(s.size())); };
    writer.StartObject();
    writer.Key("version");
    text(evidence.version);
    writer.Key("runTime");
    text(evidence.runTime);
    writer.Key("inputs");
    writer.StartArray();
    for (const EvidenceFile& f : evidence.inputs) {
        writer.StartObject();
        writer.Key("name");
        text(f.name);
        writer.Key("size");
        text(std::to_string(f.size));
        writer.Key("sha256");
        text(f.sha256);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace qb::output
