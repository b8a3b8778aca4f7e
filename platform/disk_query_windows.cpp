// Storage queries on Windows.
//
// Disks are the present devices of the disk interface class, in SetupAPI's
// order. Each is opened through its interface path for its device number
// (the N of \\?\PhysicalDriveN) and its storage descriptor (removable
// media); the friendly name is a registry property of the device. The
// partition layout comes from the disk itself, opened for queries only.
// Volumes are the drive letters, each mapped to (disk number, start offset)
// through the first of its disk extents.
//
// The answers arrive in fixed-size buffers that the system fills:
//   STORAGE_DEVICE_DESCRIPTOR (512 bytes asked for)
//     OFFSET SIZE DESCRIPTION
//     0      4    version
//     4      4    size of the whole descriptor
//     8      1    device type
//     9      1    device type modifier
//     10     1    removable media (BOOLEAN)
//     ...         bus type, offsets of vendor, product and serial texts
//   DRIVE_LAYOUT_INFORMATION_EX (18 624 bytes: the header and 129 entries)
//     0      4    partition style (0 MBR, 1 GPT, 2 raw)
//     4      4    entry count
//     8      40   MBR signature or GPT disk identity
//     48     144  entries: style, start, length, number, ..., MBR type or GPT type
//   VOLUME_DISK_EXTENTS (512 bytes asked for)
//     0      4    extent count
//     8      24   extents: disk number (4, padded to 8), start (8), length (8)
#include "platform/disk_query.h"

#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_support.h"

namespace qb::platform {
namespace {

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}: the disk device interface class.
const GUID kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

constexpr DWORD kMaxDisks = 1024;  // far beyond any machine; bounds the member loop
constexpr DWORD kDescriptorBytes = 512;
constexpr DWORD kFriendlyNameBytes = 2048;
constexpr DWORD kLayoutBytes = 18624;
constexpr DWORD kExtentsBytes = 512;
constexpr DWORD kVolumeTextChars = 256;  // 255 characters and the terminator
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

// MBR entries that only hold further entries (the extended partition and the
// links between its logical partitions) rather than a file system of their
// own; their lengths overlap the logical partitions'.
bool IsContainer(const PARTITION_INFORMATION_EX& entry) {
    if (entry.PartitionStyle != PARTITION_STYLE_MBR) return false;
    const BYTE type = entry.Mbr.PartitionType;
    return type == PARTITION_EXTENDED || type == PARTITION_XINT13_EXTENDED || type == 0x85;
}

using Handle = win::ScopedHandle;

class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    ~DeviceInfoSet() {
        if (valid()) ::SetupDiDestroyDeviceInfoList(set_);
    }
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    bool valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

// Turns off the system's "insert a disk" dialogs on this thread while alive.
class CriticalErrorsQuiet {
public:
    CriticalErrorsQuiet() { changed_ = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_) != FALSE; }
    ~CriticalErrorsQuiet() {
        if (changed_) ::SetThreadErrorMode(previous_, nullptr);
    }
    CriticalErrorsQuiet(const CriticalErrorsQuiet&) = delete;
    CriticalErrorsQuiet& operator=(const CriticalErrorsQuiet&) = delete;

private:
    DWORD previous_ = 0;
    bool changed_ = false;
};

Handle Open(const std::wstring& path, DWORD access) {
    return Handle(::CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::string Utf8(const wchar_t* text, std::size_t maxChars) {
    std::size_t length = 0;
    while (length < maxChars && text[length] != 0) ++length;
    return win::Narrow(std::wstring(text, length));
}

// The device path of an interface, and in *owner the device that exposes
// it; empty when the path cannot be read.
std::wstring InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData, SP_DEVINFO_DATA* owner) {
    DWORD required = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, nullptr, 0, &required, nullptr);
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || required > 65536) return {};
    // DWORD-aligned storage for the variable-length record.
    std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD) + 1);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!::SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, required, nullptr, owner)) return {};
    const std::size_t maxChars = (required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < maxChars && detail->DevicePath[length] != 0) ++length;
    return std::wstring(detail->DevicePath, length);
}

bool RemovableMedia(HANDLE disk) {
    STORAGE_PROPERTY_QUERY query {};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    alignas(8) unsigned char answer[kDescriptorBytes] = {};
    DWORD got = 0;
    if (!::DeviceIoControl(disk, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer, sizeof answer, &got,
                           nullptr)) {
        return false;
    }
    if (got < offsetof(STORAGE_DEVICE_DESCRIPTOR, RemovableMedia) + 1) return false;
    return reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(answer)->RemovableMedia != 0;
}

std::uint64_t Capacity(HANDLE disk) {
    GET_LENGTH_INFORMATION length {};
    DWORD got = 0;
    if (!::DeviceIoControl(disk, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &got, nullptr) ||
        got < sizeof length || length.Length.QuadPart < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(length.Length.QuadPart);
}

std::string FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    alignas(wchar_t) BYTE name[kFriendlyNameBytes] = {};
    DWORD got = 0;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr, name, sizeof name, &got)) {
        return {};
    }
    return Utf8(reinterpret_cast<const wchar_t*>(name), std::min<DWORD>(got, sizeof name) / sizeof(wchar_t));
}

// The entries of the disk's partition table, in table order. Empty when the
// layout cannot be read.
std::vector<PartitionInfo> Partitions(const std::wstring& diskPath) {
    std::vector<PartitionInfo> partitions;
    const Handle disk = Open(diskPath, 0);
    if (!disk.valid()) return partitions;
    std::vector<ULONGLONG> storage(kLayoutBytes / sizeof(ULONGLONG));
    DWORD got = 0;
    if (!::DeviceIoControl(disk.get(), IOCTL_DISK_GET_DRIVE_LAYOUT_EX, nullptr, 0, storage.data(), kLayoutBytes, &got,
                           nullptr)) {
        return partitions;
    }
    const auto* layout = reinterpret_cast<const DRIVE_LAYOUT_INFORMATION_EX*>(storage.data());
    const std::size_t header = offsetof(DRIVE_LAYOUT_INFORMATION_EX, PartitionEntry);
    if (got < header) return partitions;
    // Never trust the count beyond what was written into the buffer.
    const std::size_t fits = (std::min<std::size_t>(got, kLayoutBytes) - header) / sizeof(PARTITION_INFORMATION_EX);
    const std::size_t count = std::min<std::size_t>(layout->PartitionCount, fits);
    for (std::size_t i = 0; i < count; ++i) {
        const PARTITION_INFORMATION_EX& entry = layout->PartitionEntry[i];
        if (IsContainer(entry)) continue;
        PartitionInfo info;
        info.index = static_cast<std::uint32_t>(i);
        info.startOffset = static_cast<std::uint64_t>(entry.StartingOffset.QuadPart);
        info.length = entry.PartitionLength.QuadPart > 0 ? static_cast<std::uint64_t>(entry.PartitionLength.QuadPart)
                                                         : 0;
        info.style = entry.PartitionStyle == PARTITION_STYLE_GPT   ? kPartitionStyleGpt
                     : entry.PartitionStyle == PARTITION_STYLE_RAW ? kPartitionStyleRaw
                                                                   : kPartitionStyleMbr;
        partitions.push_back(info);
    }
    return partitions;
}

}  // namespace

std::optional<std::vector<DiskInfo>> ListDisks(const DiskQueryRoots&) {
    const DeviceInfoSet set(
        ::SetupDiGetClassDevsW(&kDiskInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.valid()) return std::nullopt;

    std::vector<DiskInfo> disks;
    for (DWORD member = 0; member < kMaxDisks; ++member) {
        SP_DEVINFO_DATA device {};
        device.cbSize = sizeof device;
        SP_DEVICE_INTERFACE_DATA interfaceData {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!::SetupDiEnumDeviceInfo(set.get(), member, &device)) break;
        if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kDiskInterfaceClass, member, &interfaceData)) break;

        // A disk that cannot be opened or numbered ends the list. The name
        // is read from the device that owns the interface opened here.
        const std::wstring interfacePath = InterfacePath(set.get(), interfaceData, &device);
        if (interfacePath.empty()) break;
        DiskInfo disk;
        {
            const Handle handle = Open(interfacePath, GENERIC_READ);
            if (!handle.valid()) break;
            STORAGE_DEVICE_NUMBER number {};
            DWORD got = 0;
            if (!::DeviceIoControl(handle.get(), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number,
                                   &got, nullptr) ||
                got < sizeof number) {
                break;
            }
            disk.deviceNumber = number.DeviceNumber;
            disk.removable = RemovableMedia(handle.get());
            disk.capacity = Capacity(handle.get());
        }
        disk.friendlyName = FriendlyName(set.get(), device);
        disk.devicePath = "\\\\?\\PhysicalDrive" + std::to_string(disk.deviceNumber);
        disk.partitions = Partitions(win::Wide(disk.devicePath));
        disks.push_back(std::move(disk));
    }
    return disks;
}

std::vector<VolumeInfo> ListVolumes(const DiskQueryRoots&) {
    std::vector<VolumeInfo> volumes;
    const DWORD mask = ::GetLogicalDrives();
    if (mask == 0) {
        std::printf("\nGetLogicalDrives() failed with failure code: %d\n", static_cast<int>(::GetLastError()));
        return volumes;
    }
    // A drive without its medium answers with an error, not a dialog.
    const CriticalErrorsQuiet quiet;
    for (int letter = 0; letter < 26; ++letter) {
        if (!(mask & (DWORD {1} << letter))) continue;
        const wchar_t drive = static_cast<wchar_t>(L'A' + letter);
        const std::wstring devicePath = {L'\\', L'\\', L'.', L'\\', drive, L':'};
        const std::wstring rootPath = {drive, L':', L'\\'};

        VolumeInfo volume;
        {
            // A volume that cannot be opened ends the pass.
            const Handle handle = Open(devicePath, 0);
            if (!handle.valid()) break;
            std::vector<ULONGLONG> storage(kExtentsBytes / sizeof(ULONGLONG));
            DWORD got = 0;
            if (!::DeviceIoControl(handle.get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, storage.data(),
                                   kExtentsBytes, &got, nullptr)) {
                continue;
            }
            const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(storage.data());
            if (got < offsetof(VOLUME_DISK_EXTENTS, Extents) + sizeof(DISK_EXTENT) ||
                extents->NumberOfDiskExtents == 0) {
                continue;
            }
            volume.diskNumber = extents->Extents[0].DiskNumber;
            volume.startOffset = static_cast<std::uint64_t>(extents->Extents[0].StartingOffset.QuadPart);
        }

        wchar_t label[kVolumeTextChars] = {};
        wchar_t fileSystem[kVolumeTextChars] = {};
        if (!::GetVolumeInformationW(rootPath.c_str(), label, kVolumeTextChars, nullptr, nullptr, nullptr, fileSystem,
                                     kVolumeTextChars)) {
            continue;
        }
        volume.label = Utf8(label, kVolumeTextChars);
        volume.fileSystem = Utf8(fileSystem, kVolumeTextChars);
        volume.driveText = std::string {static_cast<char>('A' + letter), ':'};
        ULARGE_INTEGER available {};
        if (::GetDiskFreeSpaceExW(rootPath.c_str(), &available, nullptr, nullptr)) {
            volume.freeBytes = available.QuadPart;
        }
        switch (::GetDriveTypeW(rootPath.c_str())) {
            case DRIVE_REMOVABLE:
                volume.driveType = DriveType::Removable;
                break;
            case DRIVE_FIXED:
                volume.driveType = DriveType::Fixed;
                break;
            default:
                volume.driveType = DriveType::Other;
                break;
        }
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

}  // namespace qb::platform
