// The main window's mirror of the device tree: one ScanNode per disk and
// partition and, once a scan finds files, one per type group under the
// scanned disk, each group holding its found files as ScanFileEntry rows.
//
// One thread (the disk-list thread, then the scan thread) adds nodes and
// entries while the window's thread and the recover job read them. Nodes and
// entries never move once added (they live in deques owned by their parent)
// and every link a reader follows is published with release order after the
// record it points to is complete, so a reader that walks the links sees
// whole records only, and every pointer it holds stays valid until the tree
// is released. Fields a reader may change (the selected flags) are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

namespace qb::cdr {
struct DeviceNode;
struct FileItem;
}  // namespace qb::cdr

namespace qb::app {

struct ScanNode;

struct ScanFileEntry {
    ScanNode* group = nullptr;
    ScanFileEntry* previous = nullptr;
    std::atomic<ScanFileEntry*> next {nullptr};
    std::string name;
    std::string secondText;
    std::string thirdText;
    std::uint64_t size = 0;
    std::string date;        // "%Y-%m-%d"
    std::string secondDate;  // "%Y-%m-%d"
    const cdr::FileItem* foundFile = nullptr;
    std::uint64_t number = 0;  // position in the group's list, from 1
    std::atomic<std::uint8_t> selected {1};
    // Unique among all entries the process ever makes, so that names built
    // from it (the picture cache) never repeat, even when a later scan's
    // entries reuse a freed entry's memory.
    std::uint64_t serial = 0;
};

struct ScanNode {
    ScanNode* parent = nullptr;
    ScanNode* previous = nullptr;
    std::atomic<ScanNode*> next {nullptr};
    std::atomic<ScanNode*> firstChild {nullptr};
    ScanNode* lastChild = nullptr;  // the writer's own

    std::string name;  // with " [description]" when the source has one
    std::string secondText;
    std::string thirdText;
    std::string created;
    std::string modified;

    std::atomic<ScanFileEntry*> firstEntry {nullptr};
    ScanFileEntry* lastEntry = nullptr;  // the writer's own
    std::atomic<std::uint64_t> fileCount {0};  // the number of the last published entry

    const cdr::DeviceNode* deviceNode = nullptr;
    std::uint64_t size = 0;
    std::uint64_t freeBytes = 0;
    std::map<std::string, ScanNode*> groups;  // the writer's own: group name to group node
    std::atomic<std::uint8_t> selected {1};
    std::uint32_t removable = 0;

    // Storage of the children and entries, touched by the writer only.
    std::deque<ScanNode> childStorage;
    std::deque<ScanFileEntry> entryStorage;
};

// Adds a child as the parent's last child; the caller fills it, then
// publishes it with PublishChild. Writer thread only.
ScanNode& NewChild(ScanNode& parent);
void PublishChild(ScanNode& parent, ScanNode& child);

// Adds an entry to the group: the caller fills it, then publishes it with
// PublishEntry, which numbers it (previous last number + 1) and links it at
// the end. Writer thread only.
ScanFileEntry& NewEntry(ScanNode& group);
void PublishEntry(ScanNode& group, ScanFileEntry& entry);

// Mirroring the storage module's records. today is the "%Y-%m-%d" text
// shown where the source has no date. Writer thread only.
//
// The whole device tree: the root, then depth first every child in order,
// each with its found files.
std::unique_ptr<ScanNode> MirrorDeviceTree(const cdr::DeviceNode& root, const std::string& today);
// A new last child of parent mirroring node, with its found files but not
// its children, filled and not yet published (PublishChild).
ScanNode& MirrorNode(ScanNode& parent, const cdr::DeviceNode& node, const std::string& today);
// A found file as a new, published entry at the group's end, with the
// group's selected flag.
ScanFileEntry& MirrorFoundFile(ScanNode& group, const cdr::FileItem& item, const std::string& today);

}  // namespace qb::app
