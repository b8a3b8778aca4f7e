// The device tree of the storage module: a root, one node per disk, the
// partitions under each disk, and the type groups a scan hangs under the
// scanned node, each group holding the files found of its type.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"

namespace qb::cdr {

struct DeviceNode;

// A read handle on a disk (or a disk image). The disk node owns it; its
// partitions share it. Reads go through ReadAt and move no shared file
// position, so a scan and a copy can use the same disk at once.
using DiskHandle = std::shared_ptr<const platform::ByteSource>;

// One found file.
struct FileItem {
    DeviceNode* group = nullptr;  // the type-group node; its parent is the scanned node
    std::string name;             // "%llu.%s": offset / block size, suffix at recording
    std::uint64_t size = 0;       // bytes
    std::uint64_t offset = 0;     // absolute byte offset of the first byte on the disk
    std::uint32_t blockSize = 512;
};

// One node of the tree. Children and files are owned here; every pointer to a
// node or file stays valid until the node is cleared or the tree is freed.
struct DeviceNode {
    DeviceNode* parent = nullptr;
    std::vector<std::unique_ptr<DeviceNode>> children;  // display order
    std::vector<std::unique_ptr<FileItem>> files;       // discovery order (type groups)

    std::string name;
    std::string driveText;   // "E:" or a mount point; empty when the volume is not mounted
    std::string devicePath;  // what opens the disk
    std::uint64_t size = 0;  // partition length; for a disk the sum of its partitions
    std::uint64_t freeBytes = 0;
    std::uint64_t sectorSize = 512;
    std::uint64_t startOffset = 0;  // of a partition on its disk; 0 for disks
    std::string description;        // size text, or the file system once a volume is matched
    std::uint32_t removable = 0;
    std::uint32_t imageFile = 0;
    std::uint32_t partitionStyle = 0;  // 0 MBR, 1 GPT, 2 raw
    std::uint32_t index = 0;           // position in the disk's partition table
    DiskHandle scanHandle;             // read by the scan; null when the disk could not be opened
    DiskHandle copyHandle;             // read by copies and previews; null when it could not be opened
};

// Appends a new last child and returns it.
DeviceNode* AppendChild(DeviceNode& parent);
// Frees the node's children and found files; the node itself stays.
void ClearNode(DeviceNode& node);
// Frees a whole tree; handles close when the last node holding them is gone.
void FreeDeviceTree(std::unique_ptr<DeviceNode> root);

}  // namespace qb::cdr
