// Fuzz target: the whole carving engine over the input taken as a disk
// image, in quick mode and with headers searched at every byte, with the
// input repeated so that chunk ends, re-reads and files near the end of the
// disk are reached. Every recorded file must lie on the disk and be listed
// under its group, and no file may reach past the end of the disk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "src/cdr/carving_engine.h"

namespace {

using namespace qb;

struct Check {
    std::uint64_t diskSize = 0;
    std::uint64_t files = 0;
};

int OnEvent(std::uint64_t end, std::uint64_t, cdr::FileItem* item, void* user) {
    auto* check = static_cast<Check*>(user);
    if (end > check->diskSize) std::abort();
    if (item) {
        ++check->files;
        if (item->offset > check->diskSize) std::abort();
        if (item->group == nullptr || item->group->files.empty() || item->group->files.back().get() != item) std::abort();
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 65536) return 0;
    // The input three times over, so that a file may run on into the next
    // chunk (the engine's chunks are 1 MiB here).
    std::string disk;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    while (disk.size() < 1048576 - size / 2) disk.append(input);
    disk.append(input);
    const auto source = std::make_shared<platform::MemorySource>(disk);

    for (const bool quick : {true, false}) {
        cdr::DeviceNode node;
        node.size = disk.size();
        node.scanHandle = source;
        node.copyHandle = source;
        cdr::ScanOptions options;
        options.quick = quick;
        options.chunkMiB = 1;
        std::ostringstream notes;  // extractor diagnostics are not wanted here
        options.notes = &notes;
        Check check;
        check.diskSize = disk.size();
        cdr::ScanPartition(node, &OnEvent, &check, options);
        std::uint64_t listed = 0;
        for (const auto& group : node.children) {
            for (const auto& file : group->files) {
                ++listed;
                if (file->offset > disk.size() || file->size > disk.size() - file->offset) std::abort();
            }
        }
        if (listed != check.files) std::abort();
    }
    return 0;
}
