// Raw disks on POSIX systems: a block device or an image file opened
// read-only and read with pread, so concurrent readers never disturb each
// other's position. The page cache serves unaligned reads of block devices,
// so offsets need not be multiples of the sector size.
#include "platform/raw_disk.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#endif

namespace qb::platform {
namespace {

class RawDisk final : public ByteSource {
public:
    RawDisk(int fd, bool blockDevice) : fd_(fd), blockDevice_(blockDevice) {}
    ~RawDisk() override { ::close(fd_); }
    RawDisk(const RawDisk&) = delete;
    RawDisk& operator=(const RawDisk&) = delete;

    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        auto* out = static_cast<unsigned char*>(dst);
        std::size_t total = 0;
        while (total < n) {
            const std::uint64_t at = offset + total;
            // off_t is signed: an offset beyond its range is beyond any disk.
            if (at < offset || at > static_cast<std::uint64_t>(INT64_MAX)) break;
            const ssize_t got = ::pread(fd_, out + total, n - total, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            total += static_cast<std::size_t>(got);
        }
        return total;
    }

    std::uint64_t Size() const override {
        if (blockDevice_) {
#ifdef BLKGETSIZE64
            std::uint64_t bytes = 0;
            if (::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
#endif
            const off_t end = ::lseek(fd_, 0, SEEK_END);
            return end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || st.st_size < 0) return 0;
        return static_cast<std::uint64_t>(st.st_size);
    }

private:
    int fd_;
    bool blockDevice_;
};

}  // namespace

std::shared_ptr<const ByteSource> OpenRawDisk(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        if (error) *error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISBLK(st.st_mode) && !S_ISREG(st.st_mode)) {
        if (error) *error = S_ISDIR(st.st_mode) ? "is a folder" : "is neither a disk nor a file";
        ::close(fd);
        return nullptr;
    }
    return std::make_shared<RawDisk>(fd, S_ISBLK(st.st_mode));
}

const char* RawDiskUser() { return "root"; }

}  // namespace qb::platform
