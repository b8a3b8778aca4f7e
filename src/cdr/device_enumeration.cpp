#include "src/cdr/device_enumeration.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "platform/raw_disk.h"
#include "src/cdr/size_text.h"

namespace qb::cdr {
namespace {

constexpr std::uint64_t kSectorSize = 512;

std::string PartitionName(std::uint32_t index) {
    char text[32];
    std::snprintf(text, sizeof text, "PARTITION-%u", index);
    return text;
}

// A partition node with the disk's path and handles, named by its index and
// described by its size until a volume is matched to it.
DeviceNode* AddPartition(DeviceNode& disk, const platform::PartitionInfo& entry) {
    DeviceNode* part = AppendChild(disk);
    part->name = PartitionName(entry.index);
    part->devicePath = disk.devicePath;
    part->size = entry.length;
    part->sectorSize = kSectorSize;
    part->startOffset = entry.startOffset;
    part->description = FormatSizeLong(entry.length);
    part->partitionStyle = entry.style;
    part->index = entry.index;
    part->scanHandle = disk.scanHandle;
    part->copyHandle = disk.copyHandle;
    disk.size += entry.length;
    return part;
}

void ApplyVolume(DeviceNode& part, const platform::VolumeInfo& volume) {
    part.name = volume.label + " (" + volume.driveText + ")";
    part.driveText = volume.driveText;
    part.description = volume.fileSystem;
    part.freeBytes = volume.freeBytes;
    if (volume.driveType == platform::DriveType::Removable) part.removable = 1;
    if (volume.driveType == platform::DriveType::Fixed) part.removable = 0;
}

// Volumes first, by the bytes of their drive text; the others keep their
// table order behind them.
bool ComesBefore(const std::unique_ptr<DeviceNode>& a, const std::unique_ptr<DeviceNode>& b) {
    if (a->driveText.empty() || b->driveText.empty()) return !a->driveText.empty() && b->driveText.empty();
    return a->driveText < b->driveText;
}

// The last element of a path, whichever separator wrote it.
std::string LastComponent(const std::string& path) {
    const std::string separators = {'/', platform::PathSeparator()};
    const std::size_t last = path.find_last_of(separators);
    return last == std::string::npos ? path : path.substr(last + 1);
}

}  // namespace

std::unique_ptr<DeviceNode> EnumerateDevices() { return EnumerateDevices(platform::DiskQueryRoots {}); }

std::unique_ptr<DeviceNode> EnumerateDevices(const platform::DiskQueryRoots& roots) {
    const auto disks = platform::ListDisks(roots);
    if (!disks) return nullptr;

    auto root = std::make_unique<DeviceNode>();
    root->name = "root";
    // (disk number, start offset) -> partition, for matching the volumes.
    std::map<std::pair<std::uint64_t, std::uint64_t>, DeviceNode*> partitions;

    for (const platform::DiskInfo& info : *disks) {
        DeviceNode* disk = AppendChild(*root);
        disk->name = info.friendlyName;
        disk->devicePath = info.devicePath;
        disk->removable = info.removable ? 1 : 0;
        disk->sectorSize = kSectorSize;
        disk->scanHandle = platform::OpenRawDisk(info.devicePath);
        disk->copyHandle = platform::OpenRawDisk(info.devicePath);
        for (const platform::PartitionInfo& entry : info.partitions) {
            if (entry.length == 0) continue;
            DeviceNode* part = AddPartition(*disk, entry);
            partitions.emplace(std::make_pair(info.deviceNumber, entry.startOffset), part);
        }
    }

    for (const platform::VolumeInfo& volume : platform::ListVolumes(roots)) {
        const auto it = partitions.find({volume.diskNumber, volume.startOffset});
        if (it != partitions.end()) ApplyVolume(*it->second, volume);
    }

    for (auto& disk : root->children) std::stable_sort(disk->children.begin(), disk->children.end(), ComesBefore);
    return root;
}

DeviceNode* AddImageFile(DeviceNode& root, const std::string& path, std::string* error) {
    auto scan = platform::OpenRawDisk(path, error);
    if (!scan) return nullptr;
    auto copy = platform::OpenRawDisk(path, error);

    DeviceNode* disk = AppendChild(root);
    disk->name = LastComponent(path);
    disk->devicePath = path;
    disk->sectorSize = kSectorSize;
    disk->imageFile = 1;
    disk->scanHandle = std::move(scan);
    disk->copyHandle = std::move(copy);
    DeviceNode* part = AddPartition(*disk, {0, 0, disk->scanHandle->Size(), platform::kPartitionStyleRaw});
    part->imageFile = 1;
    return disk;
}

}  // namespace qb::cdr
