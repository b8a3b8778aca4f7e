#include "app/recover_snapshot.h"

#include "src/cdr/device_tree.h"

namespace qb::app {

output::RecoverCategory RecoverDiskOf(const ScanNode& disk) {
    output::RecoverCategory category;
    category.kind = output::kRecoverDisk;
    category.diskName = disk.name;
    for (const ScanNode* group = disk.firstChild.load(std::memory_order_acquire); group != nullptr;
         group = group->next.load(std::memory_order_acquire)) {
        output::RecoverGroup rows;
        // The folder is named after the type alone, as the engine names it.
        rows.name = group->deviceNode != nullptr ? group->deviceNode->name : group->name;
        for (const ScanFileEntry* entry = group->firstEntry.load(std::memory_order_acquire); entry != nullptr;
             entry = entry->next.load(std::memory_order_acquire)) {
            if (entry->foundFile == nullptr) continue;
            output::RecoverFile file;
            file.item = *entry->foundFile;
            file.item.group = nullptr;
            const cdr::DeviceNode* engineGroup = entry->foundFile->group;
            if (engineGroup != nullptr && engineGroup->parent != nullptr) file.input = engineGroup->parent->copyHandle;
            file.selected = entry->selected.load(std::memory_order_relaxed) != 0;
            rows.files.push_back(std::move(file));
        }
        category.groups.push_back(std::move(rows));
    }
    return category;
}

}  // namespace qb::app
