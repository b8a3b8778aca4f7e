#include "cli/file_carving.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "platform/console.h"
#include "platform/file.h"
#include "platform/raw_disk.h"
#include "platform/text.h"
#include "src/cdr/carving_engine.h"
#include "src/cdr/size_text.h"

namespace qb::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Progress of the scan on stderr: percent, throughput and files found,
// rewritten in place at most a few times a second.
struct ScanProgress {
    bool active = platform::StderrIsTerminal();
    Clock::time_point started = Clock::now();
    Clock::time_point lastShown {};
    std::uint64_t start = 0;
    std::uint64_t files = 0;
    bool shown = false;

    static int Callback(std::uint64_t end, std::uint64_t current, cdr::FileItem* item, void* user) {
        auto* self = static_cast<ScanProgress*>(user);
        if (item) ++self->files;
        if (self->active && end > self->start) self->Show(end, current, item != nullptr);
        return 0;
    }

    void Show(std::uint64_t end, std::uint64_t current, bool force) {
        const Clock::time_point now = Clock::now();
        if (!force && now - lastShown < std::chrono::milliseconds(200)) return;
        lastShown = now;
        const double seconds = std::chrono::duration<double>(now - started).count();
        const std::uint64_t done = current > start ? current - start : 0;
        const std::uint64_t total = end - start;
        const unsigned percent = static_cast<unsigned>(std::min<std::uint64_t>(done, total) * 100 / total);
        const double rate = seconds > 0 ? static_cast<double>(done) / 1048576.0 / seconds : 0.0;
        char line[128];
        std::snprintf(line, sizeof line, "\rScanning: %3u%%  %7.1f MB/s  %llu file%s found", percent, rate,
                      static_cast<unsigned long long>(files), files == 1 ? "" : "s");
        std::cerr << line << std::flush;
        shown = true;
    }

    void Finish() {
        if (shown) std::cerr << "\n";
        shown = false;
    }
};

const char* CopyProblem(cdr::CopyOutcome outcome) {
    switch (outcome) {
    case cdr::CopyOutcome::ReadFailed: return "the disk gave fewer bytes than the file holds";
    case cdr::CopyOutcome::TargetFailed: return "the copy could not be written";
    case cdr::CopyOutcome::Cancelled: return "the copy was stopped";
    case cdr::CopyOutcome::Complete: break;
    }
    return "";
}

}  // namespace

CarveResult CarveSource(const std::string& source, const std::string& out, const std::string& typeList) {
    CarveResult result;
    cdr::ScanOptions options;
    if (!typeList.empty()) {
        std::string unknown;
        auto types = cdr::TypeTableFromList(typeList, &unknown);
        if (!types) {
            result.problem = unknown.empty() ? "no file type named" : "unknown file type \"" + unknown + "\"";
            return result;
        }
        options.types = std::move(*types);
    }

    std::string error;
    std::shared_ptr<const platform::ByteSource> disk = platform::OpenRawDisk(source, &error);
    if (!disk) {
        result.problem = source + ": " + error;
        return result;
    }
    const std::uint64_t size = disk->Size();
    if (size == 0) {
        result.problem = source + ": nothing to read";
        return result;
    }

    cdr::DeviceNode node;
    node.name = source;
    node.devicePath = source;
    node.size = size;
    node.scanHandle = disk;
    node.copyHandle = disk;

    ScanProgress progress;
    cdr::ScanReport report;
    options.report = &report;
    const Clock::time_point started = Clock::now();
    cdr::ScanPartition(node, &ScanProgress::Callback, &progress, options);
    progress.Finish();
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    result.bytesScanned = report.length;
    result.bytesRead = report.bytesRead;
    result.unreadable = report.unreadable;
    result.scanned = true;

    result.diskFolder =
        platform::JoinPath(out, "disk" + platform::FormatLocalTime(platform::CurrentTimeSeconds(), "%Y%m%d%H%M%S"));
    for (const auto& group : node.children) {
        if (group->files.empty()) continue;
        const std::string folder = platform::JoinPath(result.diskFolder, group->name);
        if (!platform::CreateFolders(folder)) {
            for (const auto& file : group->files)
                result.failedCopies.push_back(group->name + "/" + file->name + ": the folder could not be created");
            continue;
        }
        result.groupOrder.push_back(group->name);
        GroupTally& tally = result.groups[group->name];
        for (const auto& file : group->files) {
            const cdr::CopyOutcome outcome =
                cdr::ExtractFile(*file, platform::JoinPath(folder, file->name), *disk, nullptr);
            if (outcome != cdr::CopyOutcome::Complete) {
                result.failedCopies.push_back(group->name + "/" + file->name + ": " + CopyProblem(outcome));
                continue;
            }
            ++tally.files;
            tally.bytes += file->size;
        }
    }
    return result;
}

int PrintCarveSummary(std::ostream& out, const CarveResult& result) {
    if (!result.scanned) {
        std::cerr << "quillbrook: " << result.problem << "\n";
        return 1;
    }
    const double rate = result.seconds > 0 ? static_cast<double>(result.bytesScanned) / 1048576.0 / result.seconds : 0;
    char line[200];
    std::snprintf(line, sizeof line, "Scanned %s in %.1f s (%.0f MB/s), %s read from the disk\n",
                  cdr::FormatSizeLong(result.bytesScanned).c_str(), result.seconds, rate,
                  cdr::FormatSizeLong(result.bytesRead).c_str());
    out << line;
    if (!result.unreadable.empty()) {
        std::uint64_t sectors = 0;
        for (const cdr::ByteRange& r : result.unreadable) sectors += (r.length + 511) / 512;
        out << "Skipped " << sectors << " unreadable sector" << (sectors == 1 ? "" : "s") << ", at byte";
        constexpr std::size_t kShown = 10;
        for (std::size_t i = 0; i < result.unreadable.size() && i < kShown; ++i) {
            const cdr::ByteRange& r = result.unreadable[i];
            out << (i == 0 ? " " : ", ") << r.offset;
            if (r.length > 512) out << " (" << (r.length + 511) / 512 << " sectors)";
        }
        if (result.unreadable.size() > kShown) out << ", and " << result.unreadable.size() - kShown << " more places";
        out << "\n";
    }
    std::size_t width = 4;
    for (const std::string& name : result.groupOrder) width = std::max(width, name.size());
    std::uint64_t files = 0;
    for (const std::string& name : result.groupOrder) {
        const GroupTally& t = result.groups.at(name);
        std::snprintf(line, sizeof line, "  %-*s %6llu file%s  %s\n", static_cast<int>(width), name.c_str(),
                      static_cast<unsigned long long>(t.files), t.files == 1 ? " " : "s", cdr::FormatSize(t.bytes).c_str());
        out << line;
        files += t.files;
    }
    if (files == 0) {
        out << "No files found.\n";
    } else {
        out << files << " file" << (files == 1 ? "" : "s") << " written to " << result.diskFolder << "\n";
    }
    for (const std::string& failed : result.failedCopies) std::cerr << "quillbrook: not copied whole: " << failed << "\n";
    return 0;
}

}  // namespace qb::cli
