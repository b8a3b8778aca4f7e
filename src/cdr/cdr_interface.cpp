#include "src/cdr/cdr_interface.h"

#include "src/cdr/device_enumeration.h"

namespace qb::cdr {
namespace {

int InitEngineOp() { return 1; }
void NothingOp() {}

std::unique_ptr<DeviceNode> EnumerateDevicesOp() { return EnumerateDevices(); }

DeviceNode* AddImageFileOp(DeviceNode& root, const std::string& path) { return AddImageFile(root, path); }

int ScanPartitionOp(const CdrInterface&, DeviceNode& partition, int typeMask, ScanCallback callback,
                    void* userData) {
    if (typeMask != 0) return 0;  // groups of types are not offered
    return ScanPartition(partition, callback, userData);
}

CopyOutcome ExtractFileOp(const CdrInterface&, const FileItem& item, const std::string& targetPath,
                          const platform::ByteSource& input, CopyCancelCallback cancelCallback) {
    return ExtractFile(item, targetPath, input, cancelCallback);
}

}  // namespace

std::unique_ptr<CdrInterface> CreateCdrInterface() {
    auto table = std::make_unique<CdrInterface>();
    table->InitEngine = &InitEngineOp;
    table->ShutdownEngine = &NothingOp;
    table->EnumerateDevices = &EnumerateDevicesOp;
    table->AddImageFile = &AddImageFileOp;
    table->FreeDeviceTree = &FreeDeviceTree;
    table->ClearNode = &ClearNode;
    table->ScanPartition = &ScanPartitionOp;
    table->ExtractFile = &ExtractFileOp;
    table->ReleaseEngine = &NothingOp;
    return table;
}

}  // namespace qb::cdr
