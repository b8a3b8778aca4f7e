// quillbrook disks: lists the disks and partitions as the device tree shows
// them.
#pragma once

#include <iosfwd>

#include "src/cdr/device_tree.h"

namespace qb::cli {

// One line per disk (name, device path, removable or fixed, size), one
// indented line per partition (name, " [description]", start, size, free
// space of a mounted volume), then a count. Each disk that cannot be read
// is named on err with the reason and the advice to run as root. Returns
// the exit code: 0 when a disk was listed, 1 when there was none (or no
// tree at all).
int PrintDeviceTree(std::ostream& out, std::ostream& err, const cdr::DeviceNode* root);

// Enumerates the disks of this computer and prints them.
int RunDiskListing();

}  // namespace qb::cli
