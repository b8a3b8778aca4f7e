// The storage module's table of operations. The rest of the program reaches
// disks, partitions and carving only through it; it is created once with the
// recovery domain object and freed with it.
#pragma once

#include <memory>
#include <string>

#include "src/cdr/carving_engine.h"
#include "src/cdr/device_tree.h"

namespace qb::cdr {

struct CdrInterface {
    void* slot0 = nullptr;
    int (*InitEngine)() = nullptr;
    void (*ShutdownEngine)() = nullptr;
    void* slot3 = nullptr;
    // The device tree of the machine's disks; null when they cannot be listed.
    std::unique_ptr<DeviceNode> (*EnumerateDevices)() = nullptr;
    // Adds a disk image file under root as a disk with one partition; the new
    // disk node, or null when the file cannot be opened.
    DeviceNode* (*AddImageFile)(DeviceNode& root, const std::string& path) = nullptr;
    void (*FreeDeviceTree)(std::unique_ptr<DeviceNode> root) = nullptr;
    void (*ClearNode)(DeviceNode& node) = nullptr;
    // Runs the carving engine over one disk or partition. Type-group masks
    // are not supported: typeMask must be 0 (every type of the default table).
    int (*ScanPartition)(const CdrInterface& engine, DeviceNode& partition, int typeMask, ScanCallback callback,
                         void* userData) = nullptr;
    CopyOutcome (*ExtractFile)(const CdrInterface& engine, const FileItem& item, const std::string& targetPath,
                               const platform::ByteSource& input, CopyCancelCallback cancelCallback) = nullptr;
    void (*ReleaseEngine)() = nullptr;
};

// The table with every slot the storage module provides.
std::unique_ptr<CdrInterface> CreateCdrInterface();

}  // namespace qb::cdr
