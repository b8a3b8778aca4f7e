// Raw disk handles over image files (unaligned ranges, the end of the image,
// folders, missing paths, non-ASCII names, two threads on one handle) and
// the whole-sector reads that devices need, against a strict fake device
// that refuses anything but aligned whole sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/raw_disk.h"
#include "platform/sector_reads.h"
#include "tests/support/scratch_folder_test.h"

namespace qb::platform {
namespace {

namespace fs = std::filesystem;

// Bytes that differ at every offset of a sector and from sector to sector.
std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + i / 509 + i / 65536) & 0xFF);
    return s;
}

std::string Read(const ByteSource& source, std::uint64_t offset, std::size_t n) {
    std::string bytes(n, '\x7F');
    bytes.resize(source.ReadAt(offset, bytes.data(), n));
    return bytes;
}

class RawDiskImage : public testsupport::ScratchFolderTest {};

TEST_F(RawDiskImage, ReadsAnyRangeAndStopsAtTheEnd) {
    const std::string bytes = Pattern(3 * 4096 + 100);
    const auto disk = OpenRawDisk(Put("card.img", bytes));
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->Size(), bytes.size());
    for (const std::uint64_t offset : {0u, 1u, 100u, 511u, 512u, 513u, 4095u, 4096u, 9000u}) {
        for (const std::size_t n : {0u, 1u, 24u, 511u, 512u, 513u, 1000u, 4096u, 5000u}) {
            const std::size_t expected = static_cast<std::size_t>(
                std::min<std::uint64_t>(n, offset < bytes.size() ? bytes.size() - offset : 0));
            EXPECT_EQ(Read(*disk, offset, n), bytes.substr(offset, expected)) << offset << "+" << n;
        }
    }
    // Past the end: fewer bytes, then none.
    EXPECT_EQ(Read(*disk, bytes.size() - 10, 512), bytes.substr(bytes.size() - 10));
    EXPECT_EQ(Read(*disk, bytes.size(), 512), "");
    EXPECT_EQ(Read(*disk, bytes.size() + 4096, 512), "");
    EXPECT_EQ(Read(*disk, UINT64_MAX - 3, 8), "") << "an offset no file reaches";
}

TEST_F(RawDiskImage, AnEmptyImageHasNothingToRead) {
    const auto disk = OpenRawDisk(Put("empty.img", ""));
    ASSERT_TRUE(disk);
    EXPECT_EQ(disk->Size(), 0u);
    EXPECT_EQ(Read(*disk, 0, 512), "");
}

TEST_F(RawDiskImage, FoldersAndMissingPathsAreNotOpened) {
    fs::create_directories(root_ / "folder");
    std::string error;
    EXPECT_FALSE(OpenRawDisk(Path("folder"), &error));
    EXPECT_EQ(error, "is a folder");
    error.clear();
    EXPECT_FALSE(OpenRawDisk(Path("missing.img"), &error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(OpenRawDisk(Path("no folder/card.img"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(OpenRawDisk(Path("missing.img"))) << "the reason is optional";
}

TEST_F(RawDiskImage, NonAsciiNamesOpen) {
    const std::string bytes = Pattern(2048);
    fs::create_directories(root_ / fs::u8path("Speicherkarte \xC3\xBC\xC3\x9F"));
    for (const std::string name : {"\xD0\xBA\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0.img",               // Cyrillic
                                   "\xE5\x86\x99\xE7\x9C\x9F \xF0\x9F\x93\xB7.bin",                // CJK, an emoji
                                   "Speicherkarte \xC3\xBC\xC3\x9F/\xC3\xA9t\xC3\xA9 2024.img"}) {  // a folder too
        const std::string path = Put(name, bytes);
        std::string error;
        const auto disk = OpenRawDisk(path, &error);
        ASSERT_TRUE(disk) << name << ": " << error;
        EXPECT_EQ(disk->Size(), bytes.size()) << name;
        EXPECT_EQ(Read(*disk, 700, 900), bytes.substr(700, 900)) << name;
    }
}

TEST_F(RawDiskImage, HandlesOnTheSameImageKeepNoSharedPosition) {
    const std::string bytes = Pattern(1 << 20);
    const std::string path = Put("card.img", bytes);
    const auto scan = OpenRawDisk(path);
    const auto copy = OpenRawDisk(path);
    ASSERT_TRUE(scan && copy);
    // Interleaved reads through two handles, and backwards through one.
    EXPECT_EQ(Read(*scan, 4096, 100), bytes.substr(4096, 100));
    EXPECT_EQ(Read(*copy, 100000, 7), bytes.substr(100000, 7));
    EXPECT_EQ(Read(*scan, 10, 20), bytes.substr(10, 20));
    EXPECT_EQ(Read(*copy, 3, 5000), bytes.substr(3, 5000));

    // Two threads on one handle, each at its own offsets.
    std::atomic<int> mismatches {0};
    const auto reader = [&](std::uint64_t seed) {
        std::mt19937_64 random(seed);
        for (int i = 0; i < 2000; ++i) {
            const std::uint64_t offset = random() % bytes.size();
            const std::size_t n = static_cast<std::size_t>(random() % 3000);
            const std::size_t expected = std::min<std::size_t>(n, bytes.size() - offset);
            if (Read(*copy, offset, n) != bytes.substr(offset, expected)) ++mismatches;
        }
    };
    std::thread first(reader, 1), second(reader, 2);
    first.join();
    second.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST_F(RawDiskImage, TheImageStaysWritableAndGrowthIsSeen) {
    // Opened shared with writers: another program may still write the image,
    // and a read sees what it wrote.
    const std::string path = Put("card.img", Pattern(1024));
    const auto disk = OpenRawDisk(path);
    ASSERT_TRUE(disk);
    {
        std::ofstream more(root_ / "card.img", std::ios::binary | std::ios::app);
        ASSERT_TRUE(more) << "the image is locked against writers";
        more << std::string(512, 'Z');
    }
    EXPECT_EQ(disk->Size(), 1536u);
    EXPECT_EQ(Read(*disk, 1500, 100), std::string(36, 'Z'));
}

#ifdef _WIN32
TEST_F(RawDiskImage, ExtendedLengthPathsNameFilesNotDevices) {
    const std::string bytes = Pattern(1500);
    std::string path = Put("long.img", bytes);
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string error;
    const auto disk = OpenRawDisk("\\\\?\\" + path, &error);
    ASSERT_TRUE(disk) << error;
    EXPECT_EQ(disk->Size(), bytes.size());
    EXPECT_EQ(Read(*disk, 3, 1000), bytes.substr(3, 1000));

    EXPECT_FALSE(OpenRawDisk("NUL", &error)) << "a character device is no disk";
    EXPECT_EQ(error, "is neither a disk nor a file");
}
#endif

// ---------------------------------------------------------------- whole sectors

// A device that, like a physical drive read without the system cache, fails
// any request that is not whole sectors at a sector offset into
// sector-aligned memory, or that runs past its end.
class StrictDevice {
public:
    StrictDevice(std::string bytes, std::uint32_t sector) : bytes_(std::move(bytes)), sector_(sector) {}

    std::size_t Read(std::uint64_t offset, void* dst, std::size_t n) {
        ++requests;
        if (offset % sector_ != 0 || n % sector_ != 0 || reinterpret_cast<std::uintptr_t>(dst) % sector_ != 0 ||
            offset + n > bytes_.size()) {
            ++refused;
            return 0;
        }
        if (offset >= failFrom) return 0;
        const std::size_t n2 = static_cast<std::size_t>(std::min<std::uint64_t>(n, failFrom - offset));
        std::copy_n(bytes_.data() + offset, n2, static_cast<char*>(dst));
        return n2;
    }
    SectorRead Reader() {
        return [this](std::uint64_t offset, void* dst, std::size_t n) { return Read(offset, dst, n); };
    }
    const std::string& bytes() const { return bytes_; }

    int requests = 0;
    int refused = 0;
    std::uint64_t failFrom = UINT64_MAX;  // sectors from here on cannot be read

private:
    std::string bytes_;
    std::uint32_t sector_;
};

// A buffer whose data() lies `skew` bytes past a 4096-byte boundary.
class SkewedBuffer {
public:
    SkewedBuffer(std::size_t n, std::size_t skew) : storage_(n + skew + 4096, '\0') {
        const auto at = reinterpret_cast<std::uintptr_t>(storage_.data());
        data_ = storage_.data() + ((4096 - at % 4096) % 4096) + skew;
    }
    char* data() { return data_; }

private:
    std::vector<char> storage_;
    char* data_;
};

std::string ReadSectors(StrictDevice& device, std::uint64_t offset, std::size_t n, std::uint32_t sector,
                        std::uint64_t deviceSize, std::size_t skew = 0) {
    SkewedBuffer buffer(n, skew);
    const std::size_t got = ReadThroughSectors(offset, buffer.data(), n, sector, deviceSize, device.Reader());
    return std::string(buffer.data(), got);
}

TEST(ReadThroughSectors, AnyRangeIsReadInWholeAlignedSectors) {
    for (const std::uint32_t sector : {512u, 4096u}) {
        StrictDevice device(Pattern(16 * sector), sector);
        const std::uint64_t size = device.bytes().size();
        for (const std::uint64_t offset : {std::uint64_t {0}, std::uint64_t {1}, std::uint64_t {sector - 1},
                                           std::uint64_t {sector}, std::uint64_t {3 * sector + 17}}) {
            for (const std::size_t n : {std::size_t {1}, std::size_t {24}, std::size_t {sector},
                                        std::size_t {sector + 1}, std::size_t {5 * sector - 3}}) {
                for (const std::size_t skew : {0u, 1u, 8u}) {
                    EXPECT_EQ(ReadSectors(device, offset, n, sector, size, skew), device.bytes().substr(offset, n))
                        << sector << ": " << offset << "+" << n << " skew " << skew;
                }
            }
        }
        EXPECT_GT(device.requests, 0);
        EXPECT_EQ(device.refused, 0) << sector;
    }
}

TEST(ReadThroughSectors, LargeRangesIntoUnalignedMemoryGoInPieces) {
    StrictDevice device(Pattern(5 * 1048576), 512);
    const std::uint64_t size = device.bytes().size();
    const std::size_t n = 3 * 1048576 + 1000;
    EXPECT_EQ(ReadSectors(device, 77, n, 512, size, 3), device.bytes().substr(77, n));
    EXPECT_GE(device.requests, 4) << "the scratch buffer is smaller than the range";
    // Aligned memory at an aligned offset is filled directly.
    device.requests = 0;
    EXPECT_EQ(ReadSectors(device, 1024, 2 * 1048576, 512, size), device.bytes().substr(1024, 2 * 1048576));
    EXPECT_EQ(device.requests, 1);
    EXPECT_EQ(device.refused, 0);
}

TEST(ReadThroughSectors, NothingIsAskedForBeyondTheEnd) {
    StrictDevice device(Pattern(8 * 512), 512);
    const std::uint64_t size = device.bytes().size();
    EXPECT_EQ(ReadSectors(device, size - 100, 1000, 512, size), device.bytes().substr(size - 100));
    EXPECT_EQ(ReadSectors(device, size - 512, 4096, 512, size), device.bytes().substr(size - 512));
    EXPECT_EQ(ReadSectors(device, 1000, 1 << 20, 512, size, 5), device.bytes().substr(1000));
    EXPECT_EQ(ReadSectors(device, size, 10, 512, size), "");
    EXPECT_EQ(ReadSectors(device, size + 1, 10, 512, size), "");
    EXPECT_EQ(device.refused, 0);
}

TEST(ReadThroughSectors, AReadErrorKeepsWhatCameBeforeIt) {
    StrictDevice device(Pattern(64 * 512), 512);
    const std::uint64_t size = device.bytes().size();
    device.failFrom = 10 * 512;
    EXPECT_EQ(ReadSectors(device, 1000, 20000, 512, size), device.bytes().substr(1000, 10 * 512 - 1000));
    EXPECT_EQ(ReadSectors(device, 1024, 20000, 512, size), device.bytes().substr(1024, 10 * 512 - 1024));
    EXPECT_EQ(ReadSectors(device, 1024, 20000, 512, size, 1), device.bytes().substr(1024, 10 * 512 - 1024));
    EXPECT_EQ(ReadSectors(device, 10 * 512 + 3, 10, 512, size), "");
    // An unknown size (0) limits nothing.
    device.failFrom = UINT64_MAX;
    EXPECT_EQ(ReadSectors(device, 100, 3000, 512, 0), device.bytes().substr(100, 3000));
    EXPECT_EQ(device.refused, 0);
}

TEST(ReadThroughSectors, AnImplausibleSectorSizeIsTakenAs512) {
    StrictDevice device(Pattern(8 * 512), 512);
    const std::uint64_t size = device.bytes().size();
    for (const std::uint32_t claimed : {0u, 3u, 1000u, 0x80000000u}) {
        EXPECT_EQ(ReadSectors(device, 700, 900, claimed, size), device.bytes().substr(700, 900)) << claimed;
    }
    EXPECT_EQ(device.refused, 0);
    EXPECT_EQ(ReadSectors(device, 0, 0, 512, size), "");
}

}  // namespace
}  // namespace qb::platform
