// Raw disks on Windows: a physical drive ("\\?\PhysicalDrive1"), a volume
// ("\\.\E:") or a disk-image file, opened for reading and shared with every
// other reader and writer.
//
// Each read names its offset in an OVERLAPPED record on a handle opened for
// synchronous I/O, so no reader depends on a file position another reader
// may have moved; the system serialises reads through the same handle.
// Devices accept only whole sectors at sector offsets, so reads of a device
// are widened to whole sectors (platform/sector_reads.h); image files are
// read as they are.
#include "platform/raw_disk.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/sector_reads.h"
#include "platform/windows_support.h"

namespace qb::platform {
namespace {

using win::ScopedHandle;
using win::SystemErrorText;
using win::Wide;

constexpr std::uint32_t kDefaultSector = 512;

// A path that names a device rather than a file: the device namespace
// ("\\.\" or "\\?\") followed by something other than a drive's folder tree
// ("C:\...") or a network share ("UNC\...").
bool IsDevicePath(const std::string& path) {
    if (path.size() < 5) return false;
    const bool deviceNamespace =
        (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
        (path[2] == '.' || path[2] == '?') && (path[3] == '\\' || path[3] == '/');
    if (!deviceNamespace) return false;
    const std::string_view rest = std::string_view(path).substr(4);
    const bool driveFolder = rest.size() >= 3 && rest[1] == ':' && (rest[2] == '\\' || rest[2] == '/');
    const bool share = rest.size() >= 4 && (rest[0] == 'U' || rest[0] == 'u') && (rest[1] == 'N' || rest[1] == 'n') &&
                       (rest[2] == 'C' || rest[2] == 'c') && (rest[3] == '\\' || rest[3] == '/');
    return !driveFolder && !share;
}

class RawDisk final : public ByteSource {
public:
    RawDisk(HANDLE h, bool device) : handle_(h), device_(device) {
        if (!device_) return;
        DWORD got = 0;
        GET_LENGTH_INFORMATION length {};
        if (::DeviceIoControl(handle_.get(), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &got,
                              nullptr) &&
            got >= sizeof length && length.Length.QuadPart > 0) {
            size_ = static_cast<std::uint64_t>(length.Length.QuadPart);
        }
        DISK_GEOMETRY_EX geometry {};
        if (::DeviceIoControl(handle_.get(), IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                              sizeof geometry, &got, nullptr) &&
            got >= sizeof geometry.Geometry) {
            const DWORD bytes = geometry.Geometry.BytesPerSector;
            // Sector sizes are powers of two from 512 to 64 KiB; anything
            // else is not believed.
            if (bytes >= 512 && bytes <= 65536 && (bytes & (bytes - 1)) == 0) sectorSize_ = bytes;
        }
    }

    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        if (!device_) return win::ReadAtOffset(handle_.get(), offset, dst, n);
        const HANDLE h = handle_.get();
        return ReadThroughSectors(offset, dst, n, sectorSize_, size_,
                                  [h](std::uint64_t at, void* out, std::size_t count) {
                                      return win::ReadAtOffset(h, at, out, count);
                                  });
    }

    std::uint64_t Size() const override {
        if (device_) return size_;
        LARGE_INTEGER size {};
        if (!::GetFileSizeEx(handle_.get(), &size) || size.QuadPart < 0) return 0;
        return static_cast<std::uint64_t>(size.QuadPart);
    }

private:
    ScopedHandle handle_;
    bool device_;
    std::uint64_t size_ = 0;  // of a device, measured when opened; 0 when unknown
    std::uint32_t sectorSize_ = kDefaultSector;
};

}  // namespace

std::shared_ptr<const ByteSource> OpenRawDisk(const std::string& path, std::string* error) {
    const std::wstring wide = Wide(path);
    const bool device = IsDevicePath(path);
    if (!device) {
        // A folder cannot be opened without backup semantics and would be
        // reported as "access denied"; say what it is instead.
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (error) *error = "is a folder";
            return nullptr;
        }
    }
    ScopedHandle handle(::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        if (error) *error = SystemErrorText(::GetLastError());
        return nullptr;
    }
    if (!device && ::GetFileType(handle.get()) != FILE_TYPE_DISK) {
        // A console, a pipe or a printer port: not something to read sectors from.
        if (error) *error = "is neither a disk nor a file";
        return nullptr;
    }
    return std::make_shared<RawDisk>(handle.release(), device);
}

const char* RawDiskUser() { return "administrator"; }

}  // namespace qb::platform
