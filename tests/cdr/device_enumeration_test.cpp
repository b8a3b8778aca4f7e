// The device tree built from a fake system: a sysfs block tree, device nodes
// (disk images laid out byte by byte: MBR, GPT, FAT32) and a mount table, all
// in a temporary folder. Checks names, descriptions, numbering, ordering,
// the removable flag, handles, and image files added by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/disk_query.h"
#include "platform/file.h"
#include "platform/raw_disk.h"
#include "src/cdr/device_enumeration.h"
#include "src/cdr/size_text.h"
#include "tests/support/temp_folder.h"

namespace qb::cdr {
namespace {

namespace fs = std::filesystem;

// The fake system stands in for sysfs, device nodes and the mount table, which
// only Linux has; Windows answers the same queries through its own calls.
#ifndef _WIN32
constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kMiB = 1024 * 1024;

// ---------------------------------------------------------------- bytes

void Put(std::string& bytes, std::size_t at, std::string_view data) {
    if (bytes.size() < at + data.size()) bytes.resize(at + data.size(), '\0');
    bytes.replace(at, data.size(), data);
}

void PutLe(std::string& bytes, std::size_t at, std::uint64_t value, int width) {
    std::string le(static_cast<std::size_t>(width), '\0');
    for (int i = 0; i < width; ++i) le[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    Put(bytes, at, le);
}

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A small FAT32 volume: boot sector, FSInfo, backup boot sector, two FATs of
// one sector and a root directory in cluster 2 that holds the volume label
// entry ("NO NAME" and no entry when label is empty).
//
// Boot sector fields used here:
//   OFFSET SIZE DESCRIPTION
//   0      3    jump
//   3      8    OEM name
//   11     2    bytes per sector
//   13     1    sectors per cluster
//   14     2    reserved sectors (boot area before the first FAT)
//   16     1    number of FATs
//   17     2    root entries (0 on FAT32)
//   19     2    total sectors, 16-bit (0 on FAT32)
//   21     1    media descriptor
//   22     2    FAT size, 16-bit (0 on FAT32)
//   28     4    hidden sectors (the partition's start)
//   32     4    total sectors
//   36     4    FAT size in sectors
//   44     4    root directory cluster
//   48     2    FSInfo sector
//   50     2    backup boot sector
//   66     1    extended boot signature 0x29
//   67     4    volume serial number
//   71     11   volume label
//   82     8    "FAT32   "
//   510    2    0x55 0xAA
std::string Fat32Volume(const std::string& label, std::uint32_t hidden = 0) {
    constexpr std::uint32_t kReserved = 32, kFatSectors = 1, kClusters = 64;
    constexpr std::uint32_t kTotal = kReserved + 2 * kFatSectors + kClusters;
    std::string boot(kSector, '\0');
    Put(boot, 0, "\xEB\x58\x90MSWIN4.1");
    PutLe(boot, 11, kSector, 2);
    boot[13] = 1;
    PutLe(boot, 14, kReserved, 2);
    boot[16] = 2;
    boot[21] = static_cast<char>(0xF8);
    PutLe(boot, 24, 63, 2);
    PutLe(boot, 26, 255, 2);
    PutLe(boot, 28, hidden, 4);
    PutLe(boot, 32, kTotal, 4);
    PutLe(boot, 36, kFatSectors, 4);
    PutLe(boot, 44, 2, 4);
    PutLe(boot, 48, 1, 2);
    PutLe(boot, 50, 6, 2);
    boot[64] = static_cast<char>(0x80);
    boot[66] = 0x29;
    PutLe(boot, 67, 0x1234ABCD, 4);
    std::string padded = label.empty() ? "NO NAME" : label;
    padded.resize(11, ' ');
    Put(boot, 71, padded);
    Put(boot, 82, "FAT32   ");
    Put(boot, 510, "\x55\xAA");

    std::string info(kSector, '\0');
    Put(info, 0, "RRaA");
    Put(info, 484, "rrAa");
    PutLe(info, 488, kClusters - 1, 4);
    PutLe(info, 492, 3, 4);
    Put(info, 510, "\x55\xAA");

    std::string volume(std::size_t {kTotal} * kSector, '\0');
    Put(volume, 0, boot);
    Put(volume, kSector, info);
    Put(volume, 6 * kSector, boot);
    Put(volume, 7 * kSector, info);
    for (std::uint32_t fat = 0; fat < 2; ++fat) {
        const std::size_t at = (kReserved + fat * kFatSectors) * kSector;
        PutLe(volume, at, 0x0FFFFFF8, 4);
        PutLe(volume, at + 4, 0x0FFFFFFF, 4);
        PutLe(volume, at + 8, 0x0FFFFFFF, 4);  // the root directory: one cluster
    }
    if (!label.empty()) {
        const std::size_t root = (kReserved + 2 * kFatSectors) * kSector;
        Put(volume, root, padded);
        volume[root + 11] = 0x08;  // volume label attribute
    }
    return volume;
}

struct MbrEntry {
    std::uint8_t type = 0x0C;
    std::uint64_t startSector = 0;
    std::uint64_t sectors = 0;
};

// A sector with a partition table of up to four entries at offset 446
// (16 bytes each: status, CHS start, type, CHS end, LBA start, sector count).
std::string TableSector(const std::vector<MbrEntry>& entries) {
    std::string sector(kSector, '\0');
    for (std::size_t i = 0; i < entries.size() && i < 4; ++i) {
        const std::size_t at = 446 + 16 * i;
        sector[at + 4] = static_cast<char>(entries[i].type);
        PutLe(sector, at + 8, entries[i].startSector, 4);
        PutLe(sector, at + 12, entries[i].sectors, 4);
    }
    Put(sector, 510, "\x55\xAA");
    return sector;
}

struct GptEntry {
    std::uint64_t firstSector = 0;  // 0: an empty slot
    std::uint64_t lastSector = 0;
};

// A GPT disk of diskSectors: protective MBR, header at LBA 1 with 128 entries
// of 128 bytes from LBA 2, and the backup entries and header at the end.
//
// Header fields used here:
//   OFFSET SIZE DESCRIPTION
//   0      8    "EFI PART"
//   8      4    revision 0x00010000
//   12     4    header size (92)
//   16     4    CRC32 of the header with this field 0
//   24     8    this header's LBA
//   32     8    the other header's LBA
//   40     8    first usable LBA
//   48     8    last usable LBA
//   56     16   disk GUID
//   72     8    LBA of the entries
//   80     4    number of entries
//   84     4    entry size
//   88     4    CRC32 of the entries
// Entry: type GUID (16), unique GUID (16), first LBA (8), last LBA (8),
// attributes (8), name (72, UTF-16LE).
std::string GptDisk(const std::vector<GptEntry>& slots, std::uint64_t diskSectors) {
    constexpr std::uint32_t kEntries = 128, kEntrySize = 128;
    constexpr std::uint64_t kEntrySectors = kEntries * kEntrySize / kSector;
    std::string entries(std::size_t {kEntries} * kEntrySize, '\0');
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].firstSector == 0) continue;
        const std::size_t at = i * kEntrySize;
        // Microsoft basic data type GUID, and a unique GUID per slot.
        Put(entries, at, std::string("\xA2\xA0\xD0\xEB\xE5\xB9\x33\x44\x87\xC0\x68\xB6\xB7\x26\x99\xC7", 16));
        for (int k = 0; k < 16; ++k) entries[at + 16 + static_cast<std::size_t>(k)] = static_cast<char>(0x40 + i + k);
        PutLe(entries, at + 32, slots[i].firstSector, 8);
        PutLe(entries, at + 40, slots[i].lastSector, 8);
        Put(entries, at + 56, std::string("d\0a\0t\0a\0", 8));
    }
    const auto header = [&](std::uint64_t self, std::uint64_t other, std::uint64_t entriesAt) {
        std::string h(92, '\0');
        Put(h, 0, "EFI PART");
        PutLe(h, 8, 0x00010000, 4);
        PutLe(h, 12, 92, 4);
        PutLe(h, 24, self, 8);
        PutLe(h, 32, other, 8);
        PutLe(h, 40, 2 + kEntrySectors, 8);
        PutLe(h, 48, diskSectors - 2 - kEntrySectors, 8);
        for (int k = 0; k < 16; ++k) h[56 + static_cast<std::size_t>(k)] = static_cast<char>(0x10 + k);
        PutLe(h, 72, entriesAt, 8);
        PutLe(h, 80, kEntries, 4);
        PutLe(h, 84, kEntrySize, 4);
        PutLe(h, 88, Crc32(entries), 4);
        PutLe(h, 16, Crc32(h), 4);
        return h;
    };
    const std::uint64_t last = diskSectors - 1;
    std::string disk = TableSector({{0xEE, 1, std::min<std::uint64_t>(last, 0xFFFFFFFFu)}});
    Put(disk, kSector, header(1, last, 2));
    Put(disk, 2 * kSector, entries);
    Put(disk, (last - kEntrySectors) * kSector, entries);
    Put(disk, last * kSector, header(last, 1, last - kEntrySectors));
    return disk;
}

// ---------------------------------------------------------------- the fake system

// Where a disk hangs in the device hierarchy; the subsystem links of its
// ancestors name the buses.
enum class Bus { Usb, Mmc, Sata, None };

struct FakeDisk {
    std::string name;    // kernel name, e.g. sdb
    std::string dev;     // "major:minor"
    std::uint64_t sectors = 0;
    bool removableMedia = false;
    Bus bus = Bus::Sata;
    std::string vendor;
    std::string model;
    std::string cardName;  // MMC/SD cards name themselves instead
};

class FakeSystem {
public:
    FakeSystem() {
        fs::create_directories(Sys("block"));
        fs::create_directories(Dev());
        platform::WriteWholeFile(MountInfo(), "");
    }

    platform::DiskQueryRoots Roots() const { return {Sys("block"), Dev(), MountInfo()}; }
    std::string Dev() const { return folder_.File("dev"); }
    std::string Node(const std::string& name) const { return Dev() + "/" + name; }
    std::string MountInfo() const { return folder_.File("mountinfo"); }
    std::string Folder(const std::string& name) const {
        const std::string path = folder_.File(name);
        fs::create_directories(path);
        return path;
    }

    void AddDisk(const FakeDisk& disk) {
        const fs::path dir = Sys("block/" + disk.name);
        fs::create_directories(dir);
        Attribute(dir / "dev", disk.dev);
        Attribute(dir / "size", std::to_string(disk.sectors));
        Attribute(dir / "removable", disk.removableMedia ? "1" : "0");
        if (disk.bus == Bus::None) return;  // a virtual device has no device link

        fs::path device;
        switch (disk.bus) {
            case Bus::Usb:
                device = Hierarchy({{"pci0000:00", "pci"}, {"0000:00:14.0", "pci"}, {"usb2", "usb"}, {"2-1", "usb"},
                                    {"2-1:1.0", "usb"}, {"host6", "scsi"}, {"target6:0:0", "scsi"},
                                    {"6:0:0:" + disk.name, "scsi"}});
                break;
            case Bus::Mmc:
                device = Hierarchy({{"platform", ""}, {"sdhci." + disk.name, "platform"}, {"mmc_host", ""},
                                    {"mmc0", "mmc_host"}, {"mmc0:aaaa:" + disk.name, "mmc"}});
                break;
            default:
                device = Hierarchy({{"pci0000:00", "pci"}, {"0000:00:1f.2", "pci"}, {"ata1", ""}, {"host0", "scsi"},
                                    {"target0:0:0", "scsi"}, {"0:0:0:" + disk.name, "scsi"}});
                break;
        }
        if (!disk.vendor.empty()) Attribute(device / "vendor", disk.vendor + "   ");
        if (!disk.model.empty()) Attribute(device / "model", disk.model + "      ");
        if (!disk.cardName.empty()) Attribute(device / "name", disk.cardName);
        fs::create_directory_symlink(fs::relative(device, dir), dir / "device");
    }

    void AddPartition(const std::string& disk, const std::string& name, unsigned number, std::uint64_t startSector,
                      std::uint64_t sectors, const std::string& dev) {
        const fs::path dir = Sys("block/" + disk + "/" + name);
        fs::create_directories(dir);
        Attribute(dir / "partition", std::to_string(number));
        Attribute(dir / "start", std::to_string(startSector));
        Attribute(dir / "size", std::to_string(sectors));
        Attribute(dir / "dev", dev);
    }

    // A device node holding bytes, extended with zeros (sparsely) to size.
    std::string WriteNode(const std::string& name, const std::string& bytes, std::uint64_t size = 0) const {
        const std::string path = Node(name);
        EXPECT_TRUE(platform::WriteWholeFile(path, bytes));
        if (size > bytes.size()) fs::resize_file(path, size);
        return path;
    }

    // A mount of dev at a new folder; blanks in the path are written the way
    // the kernel escapes them.
    std::string Mount(const std::string& dev, const std::string& folder, const std::string& type,
                      const std::string& root = "/") {
        const std::string point = Folder(folder);
        std::string escaped;
        for (const char c : point) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
        mountLines_ += std::to_string(++mountId_) + " 1 " + dev + " " + root + " " + escaped +
                       " rw,relatime shared:1 - " + type + " /dev/whatever rw\n";
        platform::WriteWholeFile(MountInfo(), mountLines_);
        return point;
    }
    void AppendMountLine(const std::string& line) {
        mountLines_ += line + "\n";
        platform::WriteWholeFile(MountInfo(), mountLines_);
    }

    // The link udev keeps for a labelled volume: /dev/disk/by-label/<label>.
    void LabelLink(const std::string& escapedLabel, const std::string& node) {
        fs::create_directories(Dev() + "/disk/by-label");
        fs::create_symlink("../../" + node, Dev() + "/disk/by-label/" + escapedLabel);
    }

private:
    std::string Sys(const std::string& rest) const { return folder_.File("sys/" + rest); }

    static void Attribute(const fs::path& path, const std::string& value) {
        EXPECT_TRUE(platform::WriteWholeFile(path.string(), value + "\n"));
    }

    // Makes the chain of device folders under sys/devices, each with a
    // subsystem link to its bus (none when the bus is empty), and returns
    // the last one.
    fs::path Hierarchy(const std::vector<std::pair<std::string, std::string>>& levels) const {
        fs::path at = Sys("devices");
        for (const auto& [name, bus] : levels) {
            at /= name;
            fs::create_directories(at);
            if (!bus.empty() && !fs::exists(fs::symlink_status(at / "subsystem"))) {
                fs::create_directory_symlink(fs::relative(fs::path(Sys("bus")) / bus, at), at / "subsystem");
            }
        }
        return at;
    }

    testsupport::ScopedTempFolder folder_ {"qb-disks-"};
    std::string mountLines_;
    int mountId_ = 20;
};

std::vector<std::string> Names(const DeviceNode& node) {
    std::vector<std::string> names;
    for (const auto& child : node.children) names.push_back(child->name);
    return names;
}
#endif  // _WIN32

std::string ReadBytes(const platform::ByteSource& source, std::uint64_t offset, std::size_t n) {
    std::string bytes(n, '\0');
    bytes.resize(source.ReadAt(offset, bytes.data(), n));
    return bytes;
}

#ifndef _WIN32
// ---------------------------------------------------------------- tests

TEST(DeviceEnumeration, CardReaderWithALabelledFat32Volume) {
    FakeSystem sys;
    sys.AddDisk({"sdb", "8:16", 131072, false, Bus::Usb, "Generic", "STORAGE DEVICE"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 129024, "8:17");
    const std::string disk = TableSector({{0x0C, 2048, 129024}});
    sys.WriteNode("sdb", disk, 131072 * kSector);
    sys.WriteNode("sdb1", Fat32Volume("CARD", 2048));
    const std::string mountPoint = sys.Mount("8:17", "media/CARD", "vfat");

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "root");
    EXPECT_EQ(root->parent, nullptr);
    ASSERT_EQ(root->children.size(), 1u);
    const DeviceNode& reader = *root->children[0];
    EXPECT_EQ(reader.parent, root.get());
    EXPECT_EQ(reader.name, "Generic STORAGE DEVICE");
    EXPECT_EQ(reader.devicePath, sys.Node("sdb"));
    EXPECT_EQ(reader.removable, 1u) << "a disk on a USB bus is removable whatever its media flag says";
    EXPECT_EQ(reader.sectorSize, 512u);
    EXPECT_EQ(reader.startOffset, 0u);
    EXPECT_EQ(reader.size, 129024 * kSector);
    EXPECT_TRUE(reader.description.empty());
    ASSERT_TRUE(reader.scanHandle);
    ASSERT_TRUE(reader.copyHandle);
    EXPECT_NE(reader.scanHandle, reader.copyHandle) << "a scan and a copy each need their own handle";
    EXPECT_EQ(reader.scanHandle->Size(), 131072 * kSector);
    EXPECT_EQ(ReadBytes(*reader.copyHandle, 0, 512), disk);

    ASSERT_EQ(reader.children.size(), 1u);
    const DeviceNode& card = *reader.children[0];
    EXPECT_EQ(card.parent, &reader);
    EXPECT_EQ(card.name, "CARD (" + mountPoint + ")");
    EXPECT_EQ(card.driveText, mountPoint);
    EXPECT_EQ(card.description, "FAT32");
    EXPECT_GT(card.freeBytes, 0u);
    EXPECT_EQ(card.removable, 1u);
    EXPECT_EQ(card.partitionStyle, 0u);
    EXPECT_EQ(card.index, 0u);
    EXPECT_EQ(card.startOffset, 2048 * kSector);
    EXPECT_EQ(card.size, 129024 * kSector);
    EXPECT_EQ(card.sectorSize, 512u);
    EXPECT_EQ(card.devicePath, reader.devicePath);
    EXPECT_EQ(card.scanHandle, reader.scanHandle);
    EXPECT_EQ(card.copyHandle, reader.copyHandle);
    EXPECT_TRUE(card.children.empty());
}

TEST(DeviceEnumeration, UnlabelledAndUnmountedVolumes) {
    FakeSystem sys;
    sys.AddDisk({"sdb", "8:16", 8192, true, Bus::Sata, "Generic", "Card Reader"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 2048, "8:17");
    sys.AddPartition("sdb", "sdb2", 2, 4096, 4096, "8:18");
    sys.WriteNode("sdb", TableSector({{0x0C, 2048, 2048}, {0x0C, 4096, 4096}}), 8192 * kSector);
    sys.WriteNode("sdb1", Fat32Volume(""));
    sys.WriteNode("sdb2", Fat32Volume("SPARE"));
    const std::string mountPoint = sys.Mount("8:17", "mnt/card", "vfat");

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1u);
    const DeviceNode& disk = *root->children[0];
    EXPECT_EQ(disk.removable, 1u) << "the removable-media flag";
    ASSERT_EQ(disk.children.size(), 2u);
    // No label: a blank before the parenthesis.
    EXPECT_EQ(disk.children[0]->name, " (" + mountPoint + ")");
    EXPECT_EQ(disk.children[0]->description, "FAT32");
    // Not mounted: named by its table position and described by its size,
    // 2048 sectors being exactly one mebibyte ... and 4096 two.
    EXPECT_EQ(disk.children[1]->name, "PARTITION-1");
    EXPECT_EQ(disk.children[1]->description, "2.0 MB");
    EXPECT_TRUE(disk.children[1]->driveText.empty());
    EXPECT_EQ(disk.children[1]->freeBytes, 0u);
    EXPECT_EQ(disk.children[1]->removable, 0u) << "only a matched volume takes the drive type";
    EXPECT_EQ(disk.size, 6144 * kSector);
}

TEST(DeviceEnumeration, GptPartitionsAreNumberedByTheirTablePosition) {
    FakeSystem sys;
    constexpr std::uint64_t kDiskSectors = 16384;
    sys.AddDisk({"nvme0n1", "259:0", kDiskSectors, false, Bus::Sata, "", "Samsung SSD 970"});
    sys.AddPartition("nvme0n1", "nvme0n1p1", 1, 2048, 2048, "259:1");
    sys.AddPartition("nvme0n1", "nvme0n1p2", 2, 0, 0, "259:2");  // an empty entry
    sys.AddPartition("nvme0n1", "nvme0n1p3", 3, 8192, 4096, "259:3");
    sys.WriteNode("nvme0n1", GptDisk({{2048, 4095}, {}, {8192, 12287}}, kDiskSectors), kDiskSectors * kSector);

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1u);
    const DeviceNode& disk = *root->children[0];
    EXPECT_EQ(disk.name, "Samsung SSD 970") << "a model without a vendor";
    EXPECT_EQ(disk.removable, 0u);
    EXPECT_EQ(Names(disk), (std::vector<std::string> {"PARTITION-0", "PARTITION-2"}));
    EXPECT_EQ(disk.children[0]->description, "1.0 MB");
    EXPECT_EQ(disk.children[0]->size, kMiB);
    EXPECT_EQ(disk.children[1]->index, 2u);
    EXPECT_EQ(disk.children[1]->startOffset, 8192 * kSector);
    for (const auto& part : disk.children) EXPECT_EQ(part->partitionStyle, 1u) << part->name;
    // The sum of the partitions, not the capacity of the disk.
    EXPECT_EQ(disk.size, 3 * kMiB);
}

TEST(DeviceEnumeration, VolumesComeFirstByDriveTextThenTheRestInTableOrder) {
    FakeSystem sys;
    sys.AddDisk({"sda", "8:0", 65536, false, Bus::Sata, "ATA", "WDC WD10EZEX"});
    sys.AddPartition("sda", "sda1", 1, 2048, 2048, "8:1");
    sys.AddPartition("sda", "sda2", 2, 4096, 8192, "8:2");
    sys.AddPartition("sda", "sda3", 3, 12288, 16384, "8:3");
    sys.AddPartition("sda", "sda4", 4, 28672, 2048, "8:4");
    // The disk and its partitions cannot be read here: the names come from
    // udev's label links and the file systems from the mount table.
    const std::string d = sys.Mount("8:2", "vol/d", "ext4");
    const std::string c = sys.Mount("8:3", "vol/c drive", "ntfs3");
    sys.LabelLink("System\\x20Disk", "sda3");

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 1u);
    const DeviceNode& disk = *root->children[0];
    EXPECT_EQ(disk.name, "WDC WD10EZEX") << "libata's vendor field names no maker";
    EXPECT_EQ(Names(disk), (std::vector<std::string> {"System Disk (" + c + ")", " (" + d + ")", "PARTITION-0",
                                                       "PARTITION-3"}));
    EXPECT_EQ(disk.children[0]->driveText, c) << "the blank of the mount point is unescaped";
    EXPECT_EQ(disk.children[0]->description, "NTFS");
    EXPECT_EQ(disk.children[1]->description, "ext4");
    EXPECT_EQ(disk.children[0]->removable, 0u);
    EXPECT_EQ(disk.children[2]->index, 0u);
    EXPECT_EQ(disk.children[3]->index, 3u);
    EXPECT_EQ(disk.size, (2048 + 8192 + 16384 + 2048) * kSector);
}

TEST(DeviceEnumeration, TheWholeFileSystemMountWinsOverABindMount) {
    FakeSystem sys;
    sys.AddDisk({"sdb", "8:16", 8192, true, Bus::Sata, "Generic", "Reader"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 4096, "8:17");
    sys.AppendMountLine("garbage without fields");
    sys.AppendMountLine("7 1 8:17 / /nowhere rw - vfat");  // no source after the type: malformed
    const std::string bind = sys.Mount("8:17", "bind", "vfat", "/DCIM");
    const std::string whole = sys.Mount("8:17", "card", "vfat");

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    const DeviceNode& part = *root->children.at(0)->children.at(0);
    EXPECT_EQ(part.driveText, whole) << bind;
    EXPECT_EQ(part.description, "FAT") << "the mount table does not say which FAT";
}

TEST(DeviceEnumeration, RemovableByBusOrMediaFlagAndVirtualDevicesLeftOut) {
    FakeSystem sys;
    sys.AddDisk({"sdb", "8:16", 4096, false, Bus::Usb, "SanDisk", "Ultra"});
    sys.AddDisk({"mmcblk0", "179:0", 4096, false, Bus::Mmc, "", "", "SD32G"});
    sys.AddDisk({"sda", "8:0", 4096, false, Bus::Sata, "ATA", "Fixed Disk"});
    sys.AddDisk({"sdc", "8:32", 4096, true, Bus::Sata, "Generic", "Floppy Like"});
    sys.AddDisk({"sdd", "8:48", 0, true, Bus::Usb, "Generic", "Empty Slot"});
    sys.AddDisk({"loop0", "7:0", 0, false, Bus::None});
    sys.AddDisk({"loop1", "7:1", 2048, false, Bus::None});
    sys.AddDisk({"zram0", "253:0", 8192, false, Bus::None});
    sys.AddDisk({"dm-0", "254:0", 8192, false, Bus::None});
    sys.AddDisk({"sr0", "11:0", 4096, true, Bus::Sata, "HL-DT-ST", "DVD-RAM"});
    sys.AddDisk({"mmcblk0boot0", "179:8", 8192, false, Bus::Mmc});

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    EXPECT_EQ(Names(*root), (std::vector<std::string> {"loop1", "SD32G", "Fixed Disk", "SanDisk Ultra",
                                                        "Generic Floppy Like", "Generic Empty Slot"}));
    std::vector<std::uint32_t> removable;
    for (const auto& disk : root->children) removable.push_back(disk->removable);
    EXPECT_EQ(removable, (std::vector<std::uint32_t> {0, 1, 0, 1, 1, 1}));
    for (const auto& disk : root->children) {
        // No partition table and no file system: nothing to show under it.
        EXPECT_EQ(disk->size, 0u) << disk->name;
        EXPECT_TRUE(disk->children.empty()) << disk->name;
    }
}

TEST(DeviceEnumeration, DisksThatCannotBeOpenedAreListedWithoutHandles) {
    FakeSystem sys;
    sys.AddDisk({"sda", "8:0", 65536, false, Bus::Sata, "ATA", "Missing Node"});
    sys.AddPartition("sda", "sda1", 1, 2048, 4096, "8:1");
    sys.AddDisk({"sdb", "8:16", 65536, true, Bus::Usb, "Locked", "Reader"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 4096, "8:17");
    const std::string locked = sys.WriteNode("sdb", TableSector({{0x0C, 2048, 4096}}), 65536 * kSector);
    fs::permissions(locked, fs::perms::none);
    sys.AddDisk({"sdc", "8:32", 65536, true, Bus::Usb, "Folder", "Node"});
    fs::create_directories(sys.Node("sdc"));

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 3u);
    const DeviceNode& missing = *root->children[0];
    EXPECT_FALSE(missing.scanHandle);
    EXPECT_FALSE(missing.copyHandle);
    ASSERT_EQ(missing.children.size(), 1u) << "the layout is known without opening the disk";
    EXPECT_FALSE(missing.children[0]->scanHandle);
    EXPECT_EQ(missing.children[0]->partitionStyle, 0u);
    EXPECT_EQ(missing.size, 4096 * kSector);

    // A node without read permission opens only for the superuser.
    const bool readable = platform::ReadOnlyFile::Open(locked).has_value();
    EXPECT_EQ(static_cast<bool>(root->children[1]->scanHandle), readable);
    EXPECT_EQ(static_cast<bool>(root->children[1]->copyHandle), readable);
    fs::permissions(locked, fs::perms::owner_all);

    EXPECT_FALSE(root->children[2]->scanHandle) << "a folder is not a disk";
    std::string error;
    EXPECT_FALSE(platform::OpenRawDisk(sys.Node("sdc"), &error));
    EXPECT_EQ(error, "is a folder");
    EXPECT_FALSE(platform::OpenRawDisk(sys.Node("nothing"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(DeviceEnumeration, AFileSystemOnTheWholeDiskBecomesOneRawPartition) {
    FakeSystem sys;
    constexpr std::uint64_t kSectors = 8192;
    // A stick formatted without a partition table, mounted.
    sys.AddDisk({"sdb", "8:16", kSectors, true, Bus::Usb, "Kingston", "DataTraveler"});
    sys.WriteNode("sdb", Fat32Volume("STICK"), kSectors * kSector);
    const std::string stick = sys.Mount("8:16", "media/STICK", "vfat");
    // The same, not mounted: the file system is found on the disk itself.
    sys.AddDisk({"sdc", "8:32", kSectors, true, Bus::Usb, "Kingston", "Second"});
    sys.WriteNode("sdc", Fat32Volume("OTHER"), kSectors * kSector);
    // Mounted, but the disk cannot be read: the mount table alone tells.
    sys.AddDisk({"sdd", "8:48", kSectors, false, Bus::Sata, "ATA", "Whole Disk ext4"});
    const std::string rootFs = sys.Mount("8:48", "rootfs", "ext4");
    // Neither a table nor a file system: nothing to show.
    sys.AddDisk({"sde", "8:64", kSectors, true, Bus::Usb, "Blank", "Card"});
    sys.WriteNode("sde", std::string(kSector, '\0'), kSectors * kSector);

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    ASSERT_EQ(root->children.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        const DeviceNode& disk = *root->children[static_cast<std::size_t>(i)];
        ASSERT_EQ(disk.children.size(), 1u) << disk.name;
        const DeviceNode& part = *disk.children[0];
        EXPECT_EQ(part.partitionStyle, 2u) << disk.name;
        EXPECT_EQ(part.index, 0u);
        EXPECT_EQ(part.startOffset, 0u);
        EXPECT_EQ(part.size, kSectors * kSector);
        EXPECT_EQ(disk.size, kSectors * kSector);
    }
    EXPECT_EQ(root->children[0]->children[0]->name, "STICK (" + stick + ")");
    EXPECT_EQ(root->children[0]->children[0]->description, "FAT32");
    EXPECT_EQ(root->children[0]->children[0]->removable, 1u);
    EXPECT_EQ(root->children[1]->children[0]->name, "PARTITION-0");
    EXPECT_EQ(root->children[1]->children[0]->description, "4.0 MB");
    EXPECT_EQ(root->children[2]->children[0]->name, " (" + rootFs + ")");
    EXPECT_EQ(root->children[2]->children[0]->removable, 0u);
    EXPECT_EQ(root->children[3]->size, 0u);
    EXPECT_TRUE(root->children[3]->children.empty());
}

TEST(DeviceEnumeration, TheExtendedPartitionContainerIsNotAPartition) {
    FakeSystem sys;
    constexpr std::uint64_t kSectors = 32768;
    sys.AddDisk({"sdb", "8:16", kSectors, true, Bus::Usb, "Old", "Card"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 4096, "8:17");
    sys.AddPartition("sdb", "sdb2", 2, 8192, 2, "8:18");  // the kernel's stub of the container
    sys.AddPartition("sdb", "sdb5", 5, 10240, 4096, "8:21");
    std::string disk = TableSector({{0x0C, 2048, 4096}, {0x0F, 8192, 16384}});
    // The first extended boot record: the logical partition, relative to it.
    Put(disk, 8192 * kSector, TableSector({{0x0C, 2048, 4096}}));
    sys.WriteNode("sdb", disk, kSectors * kSector);

    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    const DeviceNode& node = *root->children.at(0);
    EXPECT_EQ(Names(node), (std::vector<std::string> {"PARTITION-0", "PARTITION-4"}));
    EXPECT_EQ(node.children.at(1)->startOffset, 10240 * kSector);
    EXPECT_EQ(node.size, 8192 * kSector);
}

TEST(DeviceEnumeration, NoListOfDisksGivesNoTree) {
    FakeSystem sys;
    platform::DiskQueryRoots roots = sys.Roots();
    roots.sysBlock += "/missing";
    EXPECT_FALSE(EnumerateDevices(roots));
    EXPECT_FALSE(platform::ListDisks(roots));
    EXPECT_TRUE(platform::ListVolumes(roots).empty());

    // An empty list is a tree with nothing under the root.
    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, "root");
    EXPECT_TRUE(root->children.empty());
}

TEST(DeviceEnumeration, FreeingTheTreeClosesTheHandlesWhenNothingElseHoldsThem) {
    FakeSystem sys;
    sys.AddDisk({"sdb", "8:16", 4096, true, Bus::Usb, "A", "B"});
    sys.AddPartition("sdb", "sdb1", 1, 2048, 2048, "8:17");
    sys.WriteNode("sdb", TableSector({{0x0C, 2048, 2048}}), 4096 * kSector);
    auto root = EnumerateDevices(sys.Roots());
    ASSERT_TRUE(root);
    std::weak_ptr<const platform::ByteSource> scan = root->children.at(0)->scanHandle;
    std::weak_ptr<const platform::ByteSource> copy = root->children.at(0)->children.at(0)->copyHandle;
    ClearNode(*root->children.at(0));
    EXPECT_FALSE(scan.expired()) << "the disk node still holds its handles";
    FreeDeviceTree(std::move(root));
    EXPECT_TRUE(scan.expired());
    EXPECT_TRUE(copy.expired());
}
#endif  // _WIN32

// ---------------------------------------------------------------- image files

TEST(AddImageFile, AddsADiskWithOnePartitionOverTheWholeFile) {
    testsupport::ScopedTempFolder folder("qb-image-");
    const std::string bytes(1023, '\x5A');
    fs::create_directories(folder.File("cards"));
    const std::string path = folder.Write("cards/phone.img", bytes);

    DeviceNode root;
    root.name = "root";
    AppendChild(root)->name = "an existing disk";
    DeviceNode* disk = AddImageFile(root, path);
    ASSERT_NE(disk, nullptr);
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[1].get(), disk) << "appended as the last disk";
    EXPECT_EQ(disk->parent, &root);
    EXPECT_EQ(disk->name, "phone.img");
    EXPECT_EQ(disk->devicePath, path);
    EXPECT_EQ(disk->imageFile, 1u);
    EXPECT_EQ(disk->size, 1023u);
    ASSERT_TRUE(disk->scanHandle);
    ASSERT_TRUE(disk->copyHandle);
    EXPECT_NE(disk->scanHandle, disk->copyHandle);
    EXPECT_EQ(ReadBytes(*disk->scanHandle, 1000, 100), std::string(23, '\x5A')) << "a read stops at the end";

    ASSERT_EQ(disk->children.size(), 1u);
    const DeviceNode& part = *disk->children[0];
    EXPECT_EQ(part.name, "PARTITION-0");
    EXPECT_EQ(part.description, "1023.0 Byte");
    EXPECT_EQ(part.size, 1023u);
    EXPECT_EQ(part.startOffset, 0u);
    EXPECT_EQ(part.partitionStyle, 2u);
    EXPECT_EQ(part.imageFile, 1u);
    EXPECT_EQ(part.scanHandle, disk->scanHandle);
    EXPECT_EQ(part.copyHandle, disk->copyHandle);
}

TEST(AddImageFile, AFileThatCannotBeOpenedAddsNothing) {
    testsupport::ScopedTempFolder folder("qb-image-");
    DeviceNode root;
    std::string error;
    EXPECT_EQ(AddImageFile(root, folder.File("missing.img"), &error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(AddImageFile(root, folder.path(), &error), nullptr);
    EXPECT_EQ(error, "is a folder");
    EXPECT_TRUE(root.children.empty());
}

TEST(AddImageFile, NamesTheDiskAfterTheLastPathComponent) {
    testsupport::ScopedTempFolder folder("qb-image-");
    const std::string path = folder.Write("card one.bin", std::string(1048576, '\0'));
    DeviceNode root;
    DeviceNode* disk = AddImageFile(root, path);
    ASSERT_NE(disk, nullptr);
    EXPECT_EQ(disk->name, "card one.bin");
    EXPECT_EQ(disk->children.at(0)->description, "1.0 MB");
}

}  // namespace
}  // namespace qb::cdr
