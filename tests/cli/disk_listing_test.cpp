// quillbrook disks: the printed tree of a known device tree, and the real
// program on this computer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "cli/disk_listing.h"
#include "platform/file.h"
#include "platform/raw_disk.h"
#include "tests/cli/run_quillbrook.h"


namespace qb {
namespace {

class DiskListing : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = platform::MakeUniqueTempFolder("qb-disks-cli-");
        ASSERT_FALSE(folder_.empty());
    }
    void TearDown() override { platform::RemoveFolderTree(folder_); }
    std::string Path(const std::string& name) const { return platform::JoinPath(folder_, name); }

    std::string folder_;
};

cdr::DeviceNode* AddPartition(cdr::DeviceNode& disk, const std::string& name, const std::string& description,
                              std::uint64_t start, std::uint64_t size) {
    cdr::DeviceNode* part = cdr::AppendChild(disk);
    part->name = name;
    part->description = description;
    part->startOffset = start;
    part->size = size;
    disk.size += size;
    return part;
}

TEST_F(DiskListing, PrintsEachDiskWithItsPartitionsAndNamesTheUnreadableOnes) {
    ASSERT_TRUE(platform::WriteWholeFile(Path("sdb"), std::string(4096, '\0')));
    cdr::DeviceNode root;
    root.name = "root";
    cdr::DeviceNode* reader = cdr::AppendChild(root);
    reader->name = "Generic STORAGE DEVICE";
    reader->devicePath = Path("sdb");
    reader->removable = 1;
    reader->scanHandle = platform::OpenRawDisk(reader->devicePath);
    reader->copyHandle = platform::OpenRawDisk(reader->devicePath);
    cdr::DeviceNode* card = AddPartition(*reader, "CARD (/media/card)", "FAT32", 1048576, 15931539456);
    card->driveText = "/media/card";
    card->freeBytes = 1536;
    AddPartition(*reader, "PARTITION-1", "512.0 MB", 15932588032, 536870912);

    cdr::DeviceNode* fixed = cdr::AppendChild(root);
    fixed->name = "WDC WD10EZEX";
    fixed->devicePath = Path("sda");  // no such device: it cannot be opened
    AddPartition(*fixed, "PARTITION-0", "1023.0 Byte", 0, 1023);

    std::ostringstream out, err;
    EXPECT_EQ(cli::PrintDeviceTree(out, err, &root), 0);
    EXPECT_EQ(out.str(),
              "Generic STORAGE DEVICE  " + Path("sdb") + "  removable  15.3 GB\n"
              "  CARD (/media/card) [FAT32]  start 1048576  size 14.8 GB  free 1.5 KB\n"
              "  PARTITION-1 [512.0 MB]  start 15932588032  size 512.0 MB\n"
              "WDC WD10EZEX  " + Path("sda") + "  fixed  1023.0 Byte\n"
              "  PARTITION-0 [1023.0 Byte]  start 0  size 1023.0 Byte\n"
              "2 disks, 3 partitions\n");
    // The unreadable disk is named with the system's reason.
    const std::string named = Path("sda") + ": ";
    const std::size_t at = err.str().find(named);
    ASSERT_NE(at, std::string::npos) << err.str();
#ifdef _WIN32
    EXPECT_NE(err.str().substr(at + named.size(), 1), "\n") << err.str();
#else
    EXPECT_EQ(err.str().substr(at + named.size(), 25), "No such file or directory") << err.str();
#endif
#ifdef _WIN32
    EXPECT_NE(err.str().find("run as administrator"), std::string::npos) << err.str();
#else
    EXPECT_NE(err.str().find("run as root"), std::string::npos) << err.str();
#endif
    EXPECT_EQ(err.str().find(Path("sdb")), std::string::npos) << "a readable disk is not named";
}

TEST_F(DiskListing, NoDisksOrNoListExitWithOne) {
    cdr::DeviceNode root;
    std::ostringstream out, err;
    EXPECT_EQ(cli::PrintDeviceTree(out, err, &root), 1);
    EXPECT_EQ(out.str(), "0 disks, 0 partitions\n");
    EXPECT_TRUE(err.str().empty());

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::PrintDeviceTree(out2, err2, nullptr), 1);
    EXPECT_TRUE(out2.str().empty());
    EXPECT_NE(err2.str().find("cannot be obtained"), std::string::npos);
}

TEST_F(DiskListing, TheProgramListsThisComputersDisks) {
    const testsupport::ShellRun run = testsupport::RunQuillbrookInShell("disks", folder_);
    std::smatch count;
    ASSERT_TRUE(std::regex_search(run.out, count, std::regex("(\\d+) disks?, (\\d+) partitions?\n$")))
        << run.out << run.err;
    // Whatever this computer has: exit 0 exactly when a disk was listed.
    EXPECT_EQ(run.exitCode, count[1] == "0" ? 1 : 0) << run.out << run.err;
}

}  // namespace
}  // namespace qb
