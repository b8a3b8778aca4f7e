// Fuzz target: the whole carving engine over the input taken as a disk
// image, in quick mode or (for inputs of odd length) with headers searched
// at every byte. The input
// is laid down twice and scanned in 4 KiB chunks, so that files run past
// chunk ends, stretch the read window and are decided from bytes taken in
// once; one sector chosen by the input cannot be read. Every recorded file
// must lie on the disk and be listed under its group, the sector must be
// named, and the device must not be read more than once over, but for the
// far reads of media files' headers within their budget.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "src/cdr/carving_engine.h"

namespace {

using namespace qb;

constexpr std::uint64_t kChunk = 4096;

// Fails, as a device does, every request that touches its bad sector.
class Disk final : public platform::ByteSource {
public:
    Disk(std::string bytes, std::uint64_t bad) : bytes_(std::move(bytes)), bad_(bad) {}
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        if (bad_ + 512 > offset && bad_ < offset + n) return 0;
        if (offset >= bytes_.size()) return 0;
        const std::size_t take = std::min<std::size_t>(n, bytes_.size() - static_cast<std::size_t>(offset));
        std::memcpy(dst, bytes_.data() + offset, take);
        read += take;
        return take;
    }
    std::uint64_t Size() const override { return bytes_.size(); }
    mutable std::uint64_t read = 0;

private:
    std::string bytes_;
    std::uint64_t bad_;
};

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
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string image;
    image.append(input);
    image.append(input);
    const std::uint64_t sectors = (image.size() + 511) / 512;
    const std::uint64_t bad = (data[0] % sectors) * 512;

    {
        const bool quick = size % 2 == 0;
        const auto disk = std::make_shared<Disk>(image, bad);
        cdr::DeviceNode node;
        node.size = image.size();
        node.scanHandle = disk;
        node.copyHandle = disk;
        cdr::ScanOptions options;
        options.quick = quick;
        options.chunkBytes = kChunk;
        std::ostringstream notes, messages;  // extractor diagnostics are not wanted here
        options.notes = &notes;
        options.messages = &messages;
        cdr::ScanReport report;
        options.report = &report;
        Check check;
        check.diskSize = image.size();
        cdr::ScanPartition(node, &OnEvent, &check, options);
        std::uint64_t listed = 0;
        for (const auto& group : node.children) {
            for (const auto& file : group->files) {
                ++listed;
                if (file->offset > image.size() || file->size > image.size() - file->offset) std::abort();
            }
        }
        if (listed != check.files || report.filesFound != listed) std::abort();
        if (report.unreadable.size() != 1 || report.unreadable[0].offset != bad) std::abort();
        if (report.bytesRead != disk->read || report.bytesRead > image.size() + cdr::FarReadBudget(image.size()))
            std::abort();
    }
    return 0;
}
