// Storage queries on Linux.
//
// Disks and partitions come from sysfs, which every user may read:
//   /sys/block/<disk>/dev                "major:minor"
//   /sys/block/<disk>/size               capacity in 512-byte units
//   /sys/block/<disk>/removable          "1" for removable media
//   /sys/block/<disk>/device             link into the device hierarchy; the
//                                        vendor, model (or name) files live
//                                        there, and its ancestors' subsystem
//                                        links name the bus (usb, mmc)
//   /sys/block/<disk>/<part>/partition   the partition's number, from 1
//   /sys/block/<disk>/<part>/start|size  in 512-byte units
// Block devices without a device link are virtual layers (ram, zram,
// device-mapper, md) over disks that are listed on their own.
//
// The partition table type, labels and file system names are read from the
// devices themselves through libblkid, which needs read access (root for
// real disks). Mounted volumes come from the mount table, whose lines are
//   id parent major:minor root mount-point options [optional...] - type source super-options
// with blanks and backslashes in paths written as octal escapes (\040).
#include "platform/disk_query.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "platform/file.h"

namespace qb::platform {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kSysfsSector = 512;
// Upper bound of the ancestors visited when looking for the bus of a device;
// real device paths are a dozen levels deep.
constexpr int kMaxDeviceDepth = 64;

struct Locations {
    std::string sysBlock;
    std::string dev;
    std::string mountInfo;
};

Locations Resolve(const DiskQueryRoots& roots) {
    return {roots.sysBlock.empty() ? "/sys/block" : roots.sysBlock, roots.dev.empty() ? "/dev" : roots.dev,
            roots.mountInfo.empty() ? "/proc/self/mountinfo" : roots.mountInfo};
}

// ---------------------------------------------------------------- sysfs

// The first line of a small attribute file, without surrounding blanks.
std::optional<std::string> ReadAttribute(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char buffer[4096];
    std::size_t total = 0;
    while (total < sizeof buffer) {
        const ssize_t got = ::read(fd, buffer + total, sizeof buffer - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
    }
    ::close(fd);
    std::string text(buffer, total);
    text = text.substr(0, text.find('\n'));
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ReadNumber(const fs::path& path) {
    const auto text = ReadAttribute(path);
    return text ? ParseNumber(*text) : std::nullopt;
}

// 512-byte units to bytes; nothing when the product does not fit.
std::optional<std::uint64_t> SectorsToBytes(std::optional<std::uint64_t> sectors) {
    if (!sectors || *sectors > std::numeric_limits<std::uint64_t>::max() / kSysfsSector) return std::nullopt;
    return *sectors * kSysfsSector;
}

// "major:minor" as one number: major in the high half.
std::optional<std::uint64_t> ParseDevNumber(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto major = ParseNumber(text.substr(0, colon));
    const auto minor = ParseNumber(text.substr(colon + 1));
    if (!major || !minor || *major > 0xFFFFFFFFu || *minor > 0xFFFFFFFFu) return std::nullopt;
    return (*major << 32) | *minor;
}

// Device strings are meant to be ASCII; anything else is shown as '?'.
std::string Printable(std::string text) {
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E) c = '?';
    }
    return text;
}

struct SysPartition {
    std::string name;
    std::uint32_t number = 0;
    std::uint64_t dev = 0;
    std::uint64_t start = 0;   // bytes
    std::uint64_t length = 0;  // bytes
};

struct SysDisk {
    std::string name;
    fs::path dir;
    std::uint64_t dev = 0;
    std::uint64_t capacity = 0;
    bool removable = false;
    std::vector<SysPartition> partitions;  // by number
};

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Whether a block device is a disk of its own, as opposed to a virtual layer
// over other disks, an unbound loop device, an optical or floppy drive, or a
// hardware boot area of an eMMC chip.
bool IsListedDisk(const std::string& name, const fs::path& dir, std::uint64_t capacity) {
    if (StartsWith(name, "loop")) return capacity > 0;  // bound to an image file
    std::error_code ec;
    if (!fs::exists(dir / "device", ec)) return false;
    if (StartsWith(name, "sr") || StartsWith(name, "fd")) return false;
    if (StartsWith(name, "mmcblk") && (name.find("boot") != std::string::npos || name.find("rpmb") != std::string::npos)) {
        return false;
    }
    return true;
}

// True when the device hangs below a USB or MMC/SD bus: card readers, sticks
// and phones, which a user plugs in and out whatever their media flag says.
bool OnRemovableBus(const fs::path& dir) {
    std::error_code ec;
    fs::path at = fs::canonical(dir / "device", ec);
    if (ec) return false;
    for (int depth = 0; depth < kMaxDeviceDepth && !at.empty(); ++depth) {
        const fs::path link = fs::read_symlink(at / "subsystem", ec);
        if (!ec) {
            const std::string bus = link.filename().string();
            if (bus == "usb" || bus == "mmc") return true;
        }
        const fs::path parent = at.parent_path();
        if (parent == at) break;
        at = parent;
    }
    return false;
}

// Vendor and model as the device reports them; the name of an MMC/SD card;
// the kernel's name when the device says nothing.
std::string FriendlyName(const std::string& name, const fs::path& dir) {
    const fs::path device = dir / "device";
    const std::string model = ReadAttribute(device / "model").value_or("");
    if (!model.empty()) {
        // libata fills the vendor field with "ATA"; it names no maker.
        const std::string vendor = ReadAttribute(device / "vendor").value_or("");
        return Printable(vendor.empty() || vendor == "ATA" ? model : vendor + " " + model);
    }
    const std::string cardName = ReadAttribute(device / "name").value_or("");
    if (!cardName.empty()) return Printable(cardName);
    return Printable(name);
}

std::vector<SysPartition> ReadPartitions(const fs::path& dir) {
    std::vector<SysPartition> out;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path sub = it->path();
        const auto number = ReadNumber(sub / "partition");
        if (!number || *number == 0 || *number > 0xFFFFFFFFu) continue;
        const auto start = SectorsToBytes(ReadNumber(sub / "start"));
        const auto length = SectorsToBytes(ReadNumber(sub / "size"));
        if (!start || !length) continue;
        SysPartition part;
        part.name = sub.filename().string();
        part.number = static_cast<std::uint32_t>(*number);
        part.dev = ParseDevNumber(ReadAttribute(sub / "dev").value_or("")).value_or(0);
        part.start = *start;
        part.length = *length;
        out.push_back(std::move(part));
    }
    std::sort(out.begin(), out.end(), [](const SysPartition& a, const SysPartition& b) { return a.number < b.number; });
    return out;
}

// Names in the order people count them: sda, sdb, ..., nvme0n2, nvme0n10.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = a[i] >= '0' && a[i] <= '9', db = b[j] >= '0' && b[j] <= '9';
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && a[ei] == '0') ++ei;
            while (ej < b.size() && b[ej] == '0') ++ej;
            std::size_t ni = ei, nj = ej;
            while (ni < a.size() && a[ni] >= '0' && a[ni] <= '9') ++ni;
            while (nj < b.size() && b[nj] >= '0' && b[nj] <= '9') ++nj;
            if (ni - ei != nj - ej) return ni - ei < nj - ej;
            const int c = a.compare(ei, ni - ei, b, ej, nj - ej);
            if (c != 0) return c < 0;
            i = ni;
            j = nj;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::optional<std::vector<SysDisk>> ReadSysBlock(const std::string& sysBlock) {
    std::error_code ec;
    fs::directory_iterator it(sysBlock, ec);
    if (ec) return std::nullopt;
    std::vector<SysDisk> disks;
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        SysDisk disk;
        disk.name = it->path().filename().string();
        disk.dir = it->path();
        const auto dev = ParseDevNumber(ReadAttribute(disk.dir / "dev").value_or(""));
        if (!dev) continue;
        disk.dev = *dev;
        disk.capacity = SectorsToBytes(ReadNumber(disk.dir / "size")).value_or(0);
        if (!IsListedDisk(disk.name, disk.dir, disk.capacity)) continue;
        disk.removable = ReadNumber(disk.dir / "removable").value_or(0) == 1 || OnRemovableBus(disk.dir);
        disk.partitions = ReadPartitions(disk.dir);
        disks.push_back(std::move(disk));
    }
    std::sort(disks.begin(), disks.end(), [](const SysDisk& a, const SysDisk& b) { return NaturalLess(a.name, b.name); });
    return disks;
}

// The device node of a kernel name; "!" in a sysfs name stands for a folder
// level below /dev (cciss!c0d0 is /dev/cciss/c0d0).
std::string NodePath(const Locations& where, std::string name) {
    std::replace(name.begin(), name.end(), '!', '/');
    return where.dev + "/" + name;
}

// ---------------------------------------------------------------- libblkid

struct ProbeCloser {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using Probe = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeCloser>;

std::string LookupValue(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    std::size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &length) != 0 || !data) return {};
    std::string value(data, length);
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return value;
}

struct TableProbe {
    bool read = false;                   // the disk could be opened and probed
    std::uint32_t style = kPartitionStyleRaw;
    std::set<std::uint32_t> containers;  // numbers of extended-partition entries
    bool fileSystem = false;             // no table, but a file system starts at byte 0
};

TableProbe ProbeTable(const std::string& node) {
    TableProbe result;
    {
        Probe probe(blkid_new_probe_from_filename(node.c_str()));
        if (!probe) return result;
        result.read = true;
        blkid_partlist list = blkid_probe_get_partitions(probe.get());
        if (list) {
            const blkid_parttable table = blkid_partlist_get_table(list);
            const char* type = table ? blkid_parttable_get_type(table) : nullptr;
            const std::string name = type ? type : "";
            if (name == "dos") result.style = kPartitionStyleMbr;
            if (name == "gpt") result.style = kPartitionStyleGpt;
            const int count = blkid_partlist_numof_partitions(list);
            for (int i = 0; i < count; ++i) {
                const blkid_partition part = blkid_partlist_get_partition(list, i);
                if (part && blkid_partition_is_extended(part)) {
                    const int number = blkid_partition_get_partno(part);
                    if (number > 0) result.containers.insert(static_cast<std::uint32_t>(number));
                }
            }
            if (table) return result;
        }
    }
    Probe probe(blkid_new_probe_from_filename(node.c_str()));
    if (!probe) return result;
    blkid_probe_enable_partitions(probe.get(), 0);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_USAGE);
    if (blkid_do_safeprobe(probe.get()) == 0 && LookupValue(probe.get(), "USAGE") == "filesystem") {
        result.fileSystem = true;
    }
    return result;
}

// The name Windows users know for a file system where one exists; blkid's
// own name otherwise (ext4, btrfs, ...).
std::string FileSystemName(const std::string& type, const std::string& version) {
    if (type == "vfat" || type == "msdos") {
        return version == "FAT12" || version == "FAT16" || version == "FAT32" ? version : "FAT";
    }
    if (type == "ntfs" || type == "ntfs3") return "NTFS";
    if (type == "exfat") return "exFAT";
    return type;
}

struct VolumeProbe {
    bool read = false;
    std::string label;
    std::string fileSystem;
};

VolumeProbe ProbeVolume(const std::string& node) {
    VolumeProbe result;
    Probe probe(blkid_new_probe_from_filename(node.c_str()));
    if (!probe) return result;
    blkid_probe_enable_partitions(probe.get(), 0);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    if (blkid_do_safeprobe(probe.get()) != 0) return result;
    const std::string type = LookupValue(probe.get(), "TYPE");
    if (type.empty()) return result;
    result.read = true;
    result.fileSystem = FileSystemName(type, LookupValue(probe.get(), "VERSION"));
    result.label = LookupValue(probe.get(), "LABEL");
    return result;
}

// ---------------------------------------------------------------- mounts

struct Mount {
    std::uint64_t dev = 0;
    std::string root;
    std::string mountPoint;
    std::string type;
};

// Undoes the octal escapes of the mount table (\040 blank, \011 tab, \012
// newline, \134 backslash).
std::string UnescapeOctal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&](std::size_t k) { return text[k] >= '0' && text[k] <= '7'; };
        if (text[i] == '\\' && i + 3 < text.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            const int value = (text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0');
            if (value <= 0xFF) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<Mount> ReadMounts(const std::string& path) {
    std::vector<Mount> mounts;
    const auto text = ReadWholeFile(path);
    if (!text) return mounts;
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;) f.push_back(field);
        const auto dash = std::find(f.begin(), f.end(), "-");
        // Six fixed fields before the separator, the type and the source after it.
        if (dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 3) continue;
        const auto dev = ParseDevNumber(f[2]);
        if (!dev) continue;
        mounts.push_back({*dev, UnescapeOctal(f[3]), UnescapeOctal(f[4]), *(dash + 1)});
    }
    return mounts;
}

// The mount that shows a device best: the first one of its whole file
// system (root "/"), else the first bind mount of a part of it.
std::map<std::uint64_t, Mount> MountsByDevice(const std::vector<Mount>& mounts) {
    std::map<std::uint64_t, Mount> byDevice;
    for (const Mount& m : mounts) {
        auto it = byDevice.find(m.dev);
        if (it == byDevice.end()) {
            byDevice.emplace(m.dev, m);
        } else if (it->second.root != "/" && m.root == "/") {
            it->second = m;
        }
    }
    return byDevice;
}

// Undoes the \xHH escapes udev writes into the names of /dev/disk/by-label.
std::string UnescapeHex(std::string_view text) {
    std::string out;
    const auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            hex(text[i + 2]) >= 0 && hex(text[i + 3]) >= 0) {
            out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
            i += 3;
            continue;
        }
        out += text[i];
    }
    return out;
}

// The label udev recorded for a device node, for when the device itself
// cannot be read.
std::string LabelFromLinks(const Locations& where, const std::string& kernelName) {
    std::string node = kernelName;
    std::replace(node.begin(), node.end(), '!', '/');
    const std::string nodeName = fs::path(node).filename().string();
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(where.dev) / "disk" / "by-label", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == nodeName) return UnescapeHex(it->path().filename().string());
    }
    return {};
}

std::uint64_t FreeBytes(const std::string& mountPoint) {
    struct statvfs st {};
    if (::statvfs(mountPoint.c_str(), &st) != 0) return 0;
    const std::uint64_t blocks = st.f_bavail, unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    if (unit != 0 && blocks > std::numeric_limits<std::uint64_t>::max() / unit) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return blocks * unit;
}

}  // namespace

std::optional<std::vector<DiskInfo>> ListDisks(const DiskQueryRoots& roots) {
    const Locations where = Resolve(roots);
    const auto disks = ReadSysBlock(where.sysBlock);
    if (!disks) return std::nullopt;
    const auto mounted = MountsByDevice(ReadMounts(where.mountInfo));

    std::vector<DiskInfo> out;
    for (const SysDisk& disk : *disks) {
        DiskInfo info;
        info.devicePath = NodePath(where, disk.name);
        info.friendlyName = FriendlyName(disk.name, disk.dir);
        info.deviceNumber = disk.dev;
        info.removable = disk.removable;
        info.capacity = disk.capacity;

        const TableProbe table = ProbeTable(info.devicePath);
        if (!disk.partitions.empty()) {
            // Without read access the table type is unknown; MBR is the
            // common case.
            const std::uint32_t style = table.read ? table.style : kPartitionStyleMbr;
            for (const SysPartition& part : disk.partitions) {
                // An extended partition is only a container of the logical
                // ones; the kernel shows it as a 1 KiB stub.
                if (table.containers.count(part.number)) continue;
                info.partitions.push_back({part.number - 1, part.start, part.length, style});
            }
        } else if (disk.capacity > 0 && (table.fileSystem || mounted.count(disk.dev))) {
            // A file system on the whole disk, as on many cards and sticks
            // formatted without a partition table: one raw partition that
            // covers the disk, so the volume is shown and can be scanned.
            info.partitions.push_back({0, 0, disk.capacity, kPartitionStyleRaw});
        }
        out.push_back(std::move(info));
    }
    return out;
}

std::vector<VolumeInfo> ListVolumes(const DiskQueryRoots& roots) {
    const Locations where = Resolve(roots);
    std::vector<VolumeInfo> out;
    const auto disks = ReadSysBlock(where.sysBlock);
    if (!disks) return out;

    struct Place {
        std::uint64_t disk;
        std::uint64_t start;
        bool removable;
        std::string kernelName;
    };
    std::map<std::uint64_t, Place> places;
    for (const SysDisk& disk : *disks) {
        if (disk.partitions.empty()) places.emplace(disk.dev, Place {disk.dev, 0, disk.removable, disk.name});
        for (const SysPartition& part : disk.partitions) {
            if (part.dev != 0) places.emplace(part.dev, Place {disk.dev, part.start, disk.removable, part.name});
        }
    }

    for (const auto& [dev, mount] : MountsByDevice(ReadMounts(where.mountInfo))) {
        const auto place = places.find(dev);
        if (place == places.end()) continue;
        VolumeInfo volume;
        volume.diskNumber = place->second.disk;
        volume.startOffset = place->second.start;
        volume.driveText = mount.mountPoint;
        const VolumeProbe probe = ProbeVolume(NodePath(where, place->second.kernelName));
        if (probe.read) {
            volume.label = probe.label;
            volume.fileSystem = probe.fileSystem;
        } else {
            volume.label = LabelFromLinks(where, place->second.kernelName);
            volume.fileSystem = FileSystemName(mount.type, "");
        }
        volume.freeBytes = FreeBytes(mount.mountPoint);
        volume.driveType = place->second.removable ? DriveType::Removable : DriveType::Fixed;
        out.push_back(std::move(volume));
    }
    return out;
}

}  // namespace qb::platform
