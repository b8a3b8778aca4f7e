// The number of kernel handles this process holds, for tests that check a
// service leaves none behind (Windows only).
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <cstdint>

namespace qb::testsupport {

// Where the system does not count them (Wine says 0), the low handle values
// are probed one by one: a handle left open takes the lowest free value.
inline DWORD OpenHandles() {
    DWORD n = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &n) && n > 0) return n;
    for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++n;
    }
    return n;
}

}  // namespace qb::testsupport

#endif  // _WIN32
