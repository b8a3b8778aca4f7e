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

#ifndef _WIN32
#include <sys/wait.h>
#endif

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
    EXPECT_NE(err.str().find(Path("sda") + ": No such file or directory"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("run as root"), std::string::npos) << err.str();
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
    const std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    const std::string command =
        std::string("\"") + QB_QUILLBROOK_PATH + "\" disks >\"" + out + "\" 2>\"" + err + "\"";
    const int status = std::system(command.c_str());
#ifdef _WIN32
    const int exitCode = status;
#else
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const std::string printed = platform::ReadWholeFile(out).value_or("");
    const std::string problems = platform::ReadWholeFile(err).value_or("");
    std::smatch count;
    ASSERT_TRUE(std::regex_search(printed, count, std::regex("(\\d+) disks?, (\\d+) partitions?\n$")))
        << printed << problems;
    // Whatever this computer has: exit 0 exactly when a disk was listed.
    EXPECT_EQ(exitCode, count[1] == "0" ? 1 : 0) << printed << problems;
}

}  // namespace
}  // namespace qb
