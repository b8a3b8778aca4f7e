#include "cli/disk_listing.h"

#include <iostream>
#include <string>

#include "platform/raw_disk.h"
#include "src/cdr/device_enumeration.h"
#include "src/cdr/size_text.h"

namespace qb::cli {
namespace {

// The way the tree shows a node: its name, then the description in
// brackets when there is one.
std::string Shown(const cdr::DeviceNode& node) {
    return node.description.empty() ? node.name : node.name + " [" + node.description + "]";
}

}  // namespace

int PrintDeviceTree(std::ostream& out, std::ostream& err, const cdr::DeviceNode* root) {
    if (!root) {
        err << "quillbrook: the list of disks cannot be obtained\n";
        return 1;
    }
    std::size_t partitions = 0;
    bool unreadable = false;
    for (const auto& disk : root->children) {
        out << Shown(*disk) << "  " << disk->devicePath << "  " << (disk->removable ? "removable" : "fixed") << "  "
            << cdr::FormatSizeLong(disk->size) << "\n";
        for (const auto& part : disk->children) {
            out << "  " << Shown(*part) << "  start " << part->startOffset << "  size "
                << cdr::FormatSizeLong(part->size);
            if (!part->driveText.empty()) out << "  free " << cdr::FormatSizeLong(part->freeBytes);
            out << "\n";
            ++partitions;
        }
        if (!disk->scanHandle) {
            // Ask once more, for the reason the enumeration does not keep.
            std::string reason = "cannot be opened";
            if (!platform::OpenRawDisk(disk->devicePath, &reason)) {
                err << "quillbrook: " << disk->devicePath << ": " << reason << "\n";
            }
            unreadable = true;
        }
    }
    const std::size_t disks = root->children.size();
    out << disks << (disks == 1 ? " disk, " : " disks, ") << partitions
        << (partitions == 1 ? " partition\n" : " partitions\n");
    if (unreadable) err << "quillbrook: some disks cannot be read; run as " << platform::RawDiskUser()
                          << " to scan them\n";
    return disks > 0 ? 0 : 1;
}

int RunDiskListing() { return PrintDeviceTree(std::cout, std::cerr, cdr::EnumerateDevices().get()); }

}  // namespace qb::cli
