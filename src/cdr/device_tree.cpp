#include "src/cdr/device_tree.h"

namespace qb::cdr {

DeviceNode* AppendChild(DeviceNode& parent) {
    auto node = std::make_unique<DeviceNode>();
    node->parent = &parent;
    parent.children.push_back(std::move(node));
    return parent.children.back().get();
}

void ClearNode(DeviceNode& node) {
    node.children.clear();
    node.files.clear();
}

void FreeDeviceTree(std::unique_ptr<DeviceNode> root) {
    // Deep trees are not possible (root, disks, partitions, groups), so the
    // recursive destruction of the owning vectors is bounded.
    root.reset();
}

}  // namespace qb::cdr
