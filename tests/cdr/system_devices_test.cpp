// The device tree of the computer that runs the tests. What it holds differs
// from machine to machine (a build machine or Wine may list no disk at all),
// so these tests check the rules that hold whatever is found: the enumeration
// ends, the root is named "root", partitions share their disk's path and
// handles, a disk's size is the sum of its partitions, volumes come first by
// drive text, and freeing the tree closes the handles.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/disk_query.h"
#include "src/cdr/device_enumeration.h"
#include "src/cdr/size_text.h"

namespace qb::cdr {
namespace {

void ExpectPartitionRules(const DeviceNode& disk) {
    std::uint64_t total = 0;
    std::set<std::uint32_t> indexes;
    const DeviceNode* previous = nullptr;
    for (const auto& child : disk.children) {
        const DeviceNode& part = *child;
        SCOPED_TRACE(disk.name + " / " + part.name);
        EXPECT_EQ(part.parent, &disk);
        EXPECT_TRUE(part.children.empty());
        EXPECT_TRUE(part.files.empty());
        EXPECT_EQ(part.devicePath, disk.devicePath);
        EXPECT_EQ(part.scanHandle, disk.scanHandle);
        EXPECT_EQ(part.copyHandle, disk.copyHandle);
        EXPECT_EQ(part.sectorSize, 512u);
        EXPECT_GT(part.size, 0u) << "empty table entries are left out";
        EXPECT_LE(part.removable, 1u);
        EXPECT_TRUE(indexes.insert(part.index).second) << "index " << part.index << " twice";
        total += part.size;

        if (part.driveText.empty()) {
            EXPECT_EQ(part.name, "PARTITION-" + std::to_string(part.index));
            EXPECT_EQ(part.description, FormatSizeLong(part.size));
            EXPECT_EQ(part.freeBytes, 0u);
        } else {
            const std::string suffix = " (" + part.driveText + ")";
            ASSERT_GE(part.name.size(), suffix.size());
            EXPECT_EQ(part.name.substr(part.name.size() - suffix.size()), suffix);
#ifdef _WIN32
            EXPECT_TRUE(std::regex_match(part.driveText, std::regex("[A-Z]:"))) << part.driveText;
#endif
        }

        // Volumes first, by the bytes of their drive text; then the others
        // in table order.
        if (previous) {
            if (part.driveText.empty()) {
                if (previous->driveText.empty()) {
                    EXPECT_LT(previous->index, part.index);
                }
            } else {
                EXPECT_FALSE(previous->driveText.empty()) << "a volume after a partition without one";
                EXPECT_LT(previous->driveText, part.driveText);
            }
        }
        previous = &part;
    }
    EXPECT_EQ(disk.size, total) << disk.name;
}

TEST(SystemDevices, TheTreeFollowsTheRulesWhateverItFinds) {
    std::unique_ptr<DeviceNode> root = EnumerateDevices();
    if (!root) GTEST_SKIP() << "this computer gives no list of disks";
    EXPECT_EQ(root->name, "root");
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->size, 0u);
    EXPECT_FALSE(root->scanHandle);

    std::set<std::string> paths;
    std::vector<std::weak_ptr<const platform::ByteSource>> handles;
    for (const auto& child : root->children) {
        const DeviceNode& disk = *child;
        SCOPED_TRACE(disk.name + " " + disk.devicePath);
        EXPECT_EQ(disk.parent, root.get());
        EXPECT_EQ(disk.startOffset, 0u);
        EXPECT_EQ(disk.sectorSize, 512u);
        EXPECT_EQ(disk.imageFile, 0u);
        EXPECT_LE(disk.removable, 1u);
        EXPECT_TRUE(disk.driveText.empty());
        EXPECT_TRUE(paths.insert(disk.devicePath).second) << "two disks with one path";
#ifdef _WIN32
        EXPECT_TRUE(std::regex_match(disk.devicePath, std::regex(R"(\\\\\?\\PhysicalDrive[0-9]+)")));
#else
        EXPECT_FALSE(disk.devicePath.empty());
#endif
        if (disk.scanHandle && disk.copyHandle) {
            EXPECT_NE(disk.scanHandle, disk.copyHandle) << "two opens";
        }
        // The partitions lie on the disk: together no longer than it.
        if (disk.scanHandle && disk.scanHandle->Size() > 0) {
            EXPECT_LE(disk.size, disk.scanHandle->Size());
        }
        ExpectPartitionRules(disk);
        handles.emplace_back(disk.scanHandle);
        handles.emplace_back(disk.copyHandle);
    }

    FreeDeviceTree(std::move(root));
    for (const auto& handle : handles) EXPECT_TRUE(handle.expired()) << "a handle outlived its tree";
}

TEST(SystemDevices, TheQueriesAnswerInTableAndLetterOrder) {
    const auto disks = platform::ListDisks();
    if (disks) {
        std::set<std::uint64_t> numbers;
        for (const platform::DiskInfo& disk : *disks) {
            SCOPED_TRACE(disk.friendlyName + " " + disk.devicePath);
            EXPECT_TRUE(numbers.insert(disk.deviceNumber).second) << "device number " << disk.deviceNumber << " twice";
            for (std::size_t i = 1; i < disk.partitions.size(); ++i) {
                EXPECT_LT(disk.partitions[i - 1].index, disk.partitions[i].index);
            }
            for (const platform::PartitionInfo& part : disk.partitions) {
                EXPECT_LE(part.style, platform::kPartitionStyleRaw);
                if (disk.capacity > 0 && part.length > 0) {
                    EXPECT_LE(part.startOffset + part.length, disk.capacity);
                }
            }
#ifdef _WIN32
            EXPECT_EQ(disk.devicePath, "\\\\?\\PhysicalDrive" + std::to_string(disk.deviceNumber));
#endif
        }
    }
    const std::vector<platform::VolumeInfo> volumes = platform::ListVolumes();
#ifdef _WIN32
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        EXPECT_TRUE(std::regex_match(volumes[i].driveText, std::regex("[A-Z]:"))) << volumes[i].driveText;
        if (i > 0) {
            EXPECT_LT(volumes[i - 1].driveText, volumes[i].driveText) << "letters from A: upward";
        }
    }
#else
    for (const platform::VolumeInfo& volume : volumes) EXPECT_FALSE(volume.driveText.empty());
#endif
}

}  // namespace
}  // namespace qb::cdr
