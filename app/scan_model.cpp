#include "app/scan_model.h"

#include <vector>

#include "src/cdr/device_tree.h"

namespace qb::app {

ScanNode& NewChild(ScanNode& parent) {
    ScanNode& child = parent.childStorage.emplace_back();
    child.parent = &parent;
    return child;
}

void PublishChild(ScanNode& parent, ScanNode& child) {
    child.previous = parent.lastChild;
    if (parent.lastChild != nullptr) {
        parent.lastChild->next.store(&child, std::memory_order_release);
    } else {
        parent.firstChild.store(&child, std::memory_order_release);
    }
    parent.lastChild = &child;
}

ScanFileEntry& NewEntry(ScanNode& group) {
    static std::atomic<std::uint64_t> lastSerial {0};
    ScanFileEntry& entry = group.entryStorage.emplace_back();
    entry.group = &group;
    entry.serial = lastSerial.fetch_add(1, std::memory_order_relaxed) + 1;
    return entry;
}

void PublishEntry(ScanNode& group, ScanFileEntry& entry) {
    entry.previous = group.lastEntry;
    entry.number = group.lastEntry != nullptr ? group.lastEntry->number + 1 : 1;
    if (group.lastEntry != nullptr) {
        group.lastEntry->next.store(&entry, std::memory_order_release);
    } else {
        group.firstEntry.store(&entry, std::memory_order_release);
    }
    group.lastEntry = &entry;
    group.fileCount.store(entry.number, std::memory_order_release);
}

namespace {

// The node's own fields; links and entries are the caller's.
void CopyNodeFields(ScanNode& mirror, const cdr::DeviceNode& node, const std::string& today) {
    mirror.name = node.description.empty() ? node.name : node.name + " [" + node.description + "]";
    mirror.secondText = node.driveText;
    mirror.thirdText = node.devicePath;
    // The storage module keeps no dates for disks, partitions or groups.
    mirror.created = today;
    mirror.modified = today;
    mirror.deviceNode = &node;
    mirror.size = node.size;
    mirror.freeBytes = node.freeBytes;
    mirror.removable = node.removable;
}

void MirrorFoundFiles(ScanNode& mirror, const cdr::DeviceNode& node, const std::string& today) {
    for (const auto& item : node.files) MirrorFoundFile(mirror, *item, today);
}

}  // namespace

ScanFileEntry& MirrorFoundFile(ScanNode& group, const cdr::FileItem& item, const std::string& today) {
    ScanFileEntry& entry = NewEntry(group);
    entry.name = item.name;
    entry.size = item.size;
    // Carved files carry no dates of their own.
    entry.date = today;
    entry.secondDate = today;
    entry.foundFile = &item;
    entry.selected.store(group.selected.load(std::memory_order_relaxed), std::memory_order_relaxed);
    PublishEntry(group, entry);
    return entry;
}

ScanNode& MirrorNode(ScanNode& parent, const cdr::DeviceNode& node, const std::string& today) {
    ScanNode& mirror = NewChild(parent);
    CopyNodeFields(mirror, node, today);
    mirror.selected.store(parent.selected.load(std::memory_order_relaxed), std::memory_order_relaxed);
    MirrorFoundFiles(mirror, node, today);
    return mirror;
}

std::unique_ptr<ScanNode> MirrorDeviceTree(const cdr::DeviceNode& root, const std::string& today) {
    auto mirror = std::make_unique<ScanNode>();
    CopyNodeFields(*mirror, root, today);
    MirrorFoundFiles(*mirror, root, today);
    // Depth first with an explicit stack: each child is published once it
    // and its whole subtree are complete.
    struct Pending {
        ScanNode* mirror;
        const cdr::DeviceNode* node;
        std::size_t nextChild;
    };
    std::vector<Pending> stack {{mirror.get(), &root, 0}};
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.nextChild == top.node->children.size()) {
            ScanNode* done = top.mirror;
            stack.pop_back();
            if (!stack.empty()) PublishChild(*stack.back().mirror, *done);
            continue;
        }
        const cdr::DeviceNode& child = *top.node->children[top.nextChild++];
        ScanNode& childMirror = MirrorNode(*top.mirror, child, today);
        stack.push_back({&childMirror, &child, 0});
    }
    return mirror;
}

}  // namespace qb::app
