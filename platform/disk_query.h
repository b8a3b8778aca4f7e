// The storage queries behind the device tree: which disks are present, how
// each one is partitioned, and which volumes are mounted where. The answers
// are plain values; the tree itself is built above this layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qb::platform {

// Where the queries look. Empty fields take the system's own locations;
// tests point them at a fake tree in a temporary folder. Only the POSIX
// implementation reads them.
struct DiskQueryRoots {
    std::string sysBlock;   // the kernel's list of block devices, /sys/block
    std::string dev;        // device nodes, /dev
    std::string mountInfo;  // the mount table, /proc/self/mountinfo
};

// Partition styles as the layout reports them.
inline constexpr std::uint32_t kPartitionStyleMbr = 0;
inline constexpr std::uint32_t kPartitionStyleGpt = 1;
inline constexpr std::uint32_t kPartitionStyleRaw = 2;

struct PartitionInfo {
    std::uint32_t index = 0;        // position in the partition table, from 0
    std::uint64_t startOffset = 0;  // bytes from the start of the disk
    std::uint64_t length = 0;       // bytes
    std::uint32_t style = kPartitionStyleMbr;
};

struct DiskInfo {
    std::string devicePath;          // what opens the whole disk
    std::string friendlyName;        // vendor and model, as the system names the device
    std::uint64_t deviceNumber = 0;  // identifies the disk among VolumeInfo::diskNumber
    bool removable = false;
    std::uint64_t capacity = 0;      // bytes
    std::vector<PartitionInfo> partitions;  // table order
};

enum class DriveType { Removable, Fixed, Other };

// A mounted volume and the partition it lives on.
struct VolumeInfo {
    std::uint64_t diskNumber = 0;   // DiskInfo::deviceNumber of its disk
    std::uint64_t startOffset = 0;  // of its partition on that disk
    std::string driveText;          // where it is reached: "E:", or a mount point
    std::string label;              // may be empty
    std::string fileSystem;         // "FAT32", "NTFS", "ext4", ...
    std::uint64_t freeBytes = 0;    // available to the caller
    DriveType driveType = DriveType::Other;
};

// The disks present, in the system's order, with their partitions. Nothing
// when the list of disks itself cannot be obtained.
std::optional<std::vector<DiskInfo>> ListDisks(const DiskQueryRoots& roots = {});

// The mounted volumes that live on a disk partition (or on a whole disk).
std::vector<VolumeInfo> ListVolumes(const DiskQueryRoots& roots = {});

}  // namespace qb::platform
