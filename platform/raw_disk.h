// Read access to a whole disk: a physical drive, a partition or a disk-image
// file, read at any byte offset without a shared file position.
#pragma once

#include <memory>
#include <string>

#include "platform/file.h"

namespace qb::platform {

// Opens the disk (or image file) at path for reading only, sharing it with
// every other reader and writer of the system. Size() is the capacity of a
// device and the length of a file. Reads past the end return fewer bytes.
// Null when it cannot be opened (a missing device, no permission, a folder);
// *error then holds the reason.
std::shared_ptr<const ByteSource> OpenRawDisk(const std::string& path, std::string* error = nullptr);

// Who may open every raw disk of this system: "administrator" on Windows,
// "root" elsewhere.
const char* RawDiskUser();

}  // namespace qb::platform
