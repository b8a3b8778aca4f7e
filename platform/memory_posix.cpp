#include "platform/memory.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace qb::platform {

std::uint64_t PeakResidentBytes() {
    // Linux keeps a peak that can be reset ("VmHWM:  1234 kB").
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char text[8192];
        const ssize_t got = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (got > 0) {
            text[got] = '\0';
            if (const char* line = std::strstr(text, "VmHWM:")) return std::strtoull(line + 6, nullptr, 10) * 1024;
        }
    }
    struct rusage usage {};
    if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

void ResetPeakResidentBytes() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t written = ::write(fd, "5", 1);
    ::close(fd);
}

}  // namespace qb::platform
