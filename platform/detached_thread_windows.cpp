#include <process.h>
#include <windows.h>

#include <cstdint>

#include "platform/detached_thread.h"

namespace qb::platform {
namespace {

struct Start {
    ThreadEntry entry;
    void* context;
};

unsigned __stdcall RunStart(void* raw) {
    const Start start = *static_cast<Start*>(raw);
    delete static_cast<Start*>(raw);
    start.entry(start.context);
    return 0;
}

}  // namespace

bool StartDetachedEntry(ThreadEntry entry, void* context) {
    // _beginthreadex rather than CreateThread, so that the C runtime sets up
    // and frees the thread's own data.
    Start* start = new Start {entry, context};
    const std::uintptr_t handle = _beginthreadex(nullptr, 0, RunStart, start, 0, nullptr);
    if (handle == 0) {
        delete start;
        return false;
    }
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
    return true;
}

}  // namespace qb::platform
