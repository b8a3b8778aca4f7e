// Builds the device tree: a root named "root", one node per disk with two
// read handles, the disk's partitions under it, and the mounted volumes
// matched to their partitions by (disk, start offset).
#pragma once

#include <memory>
#include <string>

#include "platform/disk_query.h"
#include "src/cdr/device_tree.h"

namespace qb::cdr {

// The tree of the disks present; null when the list of disks cannot be
// obtained. Blocks while the devices are queried.
std::unique_ptr<DeviceNode> EnumerateDevices();
// The same, with the system's locations replaced (see DiskQueryRoots).
std::unique_ptr<DeviceNode> EnumerateDevices(const platform::DiskQueryRoots& roots);

// Adds a disk-image file under root as a disk named after the file's last
// path component, with one raw partition that covers the whole file; both
// nodes carry imageFile 1 and read the file through their handles. Returns
// the disk node, or null (adding nothing) when the file cannot be opened;
// *error then holds the reason.
DeviceNode* AddImageFile(DeviceNode& root, const std::string& path, std::string* error = nullptr);

}  // namespace qb::cdr
